// The paths between a user's actions: a file read, unreadable or refused while another is shown
// leaves that one where it was; memory that runs out is a message, and the page goes on.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { makeSample, qefdump, sharedPage, startPage, openFile, shownRows, goTo, pick } from './harness.mjs';

const browser = sharedPage();

async function saved(page) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
    return readFileSync(await download.path());
}

// The first row on screen and the status line (a message above the rows leaves fewer rows).
const view = async (page) => [(await shownRows(page))[0], await page.textContent('#status-file'),
    (await page.textContent('#status-position')).replace(/-[\d,]+ of/, ' of')];
const lastEnd = (page) => page.$$eval('#jobs .job-end', (ends) => ends.at(-1)?.textContent);
const opened = (page, count) => page.waitForFunction((count) => Number(document.body.dataset.opened) === count, count);

test('a file read, unreadable or refused leaves the shown one where it was, for Go to, Find and Save as text', async () => {
    const { page, folder } = browser;
    const a = makeSample(folder, 'mixed', 31, 300000);
    await openFile(page, a);
    await goTo(page, 'line', 50);
    const shown = await view(page);
    const opens = await page.evaluate(() => Number(document.body.dataset.opened));

    // While another file is read, Save as text acts on the one shown (as Go to and Find do: see
    // sequences.test.mjs); Compare waits, and says so.
    await pick(page, makeSample(folder, 'mixed', 32, 200000), 'held');
    assert.ok((await saved(page)).equals(qefdump(a).stdout), 'the saved dump is the shown file\'s');
    assert.equal(await lastEnd(page), 'Saved the dump of mixed-31-300000.qef.');
    // The held read goes on, and shows once it has run longer than a moment.
    await page.waitForSelector('#jobs .job >> text=Reading mixed-32-200000.qef...', { state: 'visible' });
    assert.ok(await page.isDisabled('#compare'));
    assert.match(await page.getAttribute('#compare', 'title'), /waits until the file being read is shown/);
    await page.evaluate(() => window.release('network error'));
    await opened(page, opens + 1);
    assert.equal(await page.textContent('#message'), 'mixed-32-200000.qef: The file could not be read.');

    await pick(page, makeSample(folder, 'mixed', 33, 20000), 'removed');
    await opened(page, opens + 2);
    assert.equal(await page.textContent('#message'), 'mixed-33-20000.qef: The file could not be read.');
    writeFileSync(`${folder}/refused.qef`, readFileSync(a).subarray(0, 299990));
    await openFile(page, `${folder}/refused.qef`);
    assert.match(await page.textContent('#message'), /^refused\.qef: QEF format error\. Record \d+ at offset/);
    assert.deepEqual(await view(page), shown, 'the shown file, where it was');
    assert.ok((await saved(page)).equals(qefdump(a).stdout), 'the dump saved after them');
});

test('Cancel while the core compares ends its worker; a new one opens the shown file again, where it was', async () => {
    const { page, folder } = browser;
    await openFile(page, makeSample(folder, 'empty-records', 43, 32000000));
    await goTo(page, 'record', 7);
    const shown = await view(page);
    const opens = await page.evaluate(() => Number(document.body.dataset.opened));
    // The read's bar counts (often before its line shows, 300 ms on); the comparison's only says
    // that work goes on.
    const comparing = page.evaluate(() => new Promise((resolve) => {
        let counted = false;
        new MutationObserver(() => {
            const bar = document.querySelector('#jobs .job progress');
            if (bar?.hasAttribute('value')) counted = true;
            else if (bar && counted) resolve();
        }).observe(document.getElementById('jobs'), { subtree: true, childList: true, attributes: true });
    }));
    const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#compare')]);
    await chooser.setFiles(makeSample(folder, 'empty-records', 44, 32000000));
    await comparing;
    await page.click('#jobs .job button');
    assert.equal(await lastEnd(page), 'Comparing with empty-records-44-32000000.qef: cancelled.');
    await page.waitForFunction(() => !document.querySelector('#jobs .job'));
    assert.deepEqual([await view(page), await page.evaluate(() => Number(document.body.dataset.opened))], [shown, opens]);
    assert.ok(await page.isHidden('#compare-bar'));
    await goTo(page, 'record', 9);
    assert.match(await page.textContent('#status-position'), /· record 9 of 3,999,997 /);
});

test('a Compare picked while the one before is being compared gets its own file', async () => {
    const { page, folder } = browser;
    await openFile(page, makeSample(folder, 'mixed', 40, 300000));
    await page.evaluate(() => document.body.append(...['x', 'y'].map((id) => Object.assign(document.createElement('input'), { type: 'file', id }))));
    for (const [id, seed] of [['x', 41], ['y', 42]]) await page.setInputFiles(`#${id}`, makeSample(folder, 'mixed', seed, 3000000));
    const verdict = await page.evaluate(async () => {
        const core = await import('./core.js'); // the page's own module, and worker
        const [x, y] = ['x', 'y'].map((id) => document.getElementById(id).files[0]);
        let id = 0;
        await core.openFile(core.COMPARED, x, { onStart: (started) => (id = started) });
        const made = core.compare(1, id);
        const newer = core.openFile(core.COMPARED, y); // as compare.js does for a Compare that overtakes
        if (await made) core.settleCompare(false);
        return (await newer).verdict;
    });
    assert.equal(verdict, 'accepted');
});

test('a fault is an internal error with its detail, the page as it was; a worker that fails is replaced and the file opened again, once', async () => {
    const { page, folder } = browser;
    const path = makeSample(folder, 'mixed', 45, 100000);
    await openFile(page, path);
    const before = await view(page);
    const opens = await page.evaluate(() => Number(document.body.dataset.opened));
    // The worker's next message asks for a call it has not got, as a bug would; or is one it
    // cannot read, outside any call.
    const next = (message) => page.evaluate((message) => {
        const post = Worker.prototype.postMessage;
        Worker.prototype.postMessage = function (asked) {
            Worker.prototype.postMessage = post;
            return post.call(this, message && { ...asked, ...message });
        };
    }, message);
    const said = async (text) => {
        await page.waitForFunction((text) => document.getElementById('message').textContent.startsWith(text), text);
        return page.$eval('#message', (m) => m.firstChild.textContent);
    };
    await next({ call: 'unknown' });
    await goTo(page, 'line', 1);
    assert.equal(await said('Internal error.'), 'Internal error.');
    assert.match(await page.textContent('#message pre'), /TypeError/);
    assert.deepEqual([await view(page), await page.evaluate(() => Number(document.body.dataset.opened))], [before, opens], 'nothing opened again');

    await next(null);
    await goTo(page, 'line', 5);
    assert.equal(await said('Internal error. The'), 'Internal error. The viewer started again and opens mixed-45-100000.qef again.');
    await page.waitForFunction(() => !document.querySelector('#jobs .job'));
    await goTo(page, 'line', 5);
    assert.equal((await shownRows(page))[0], qefdump(path).stdout.toString('latin1').split('\r\n')[4]);
    await next(null);
    await goTo(page, 'line', 6);
    assert.equal(await said('Internal error. The viewer stopped'), 'Internal error. The viewer stopped again and closed mixed-45-100000.qef.');
    assert.equal(await page.textContent('#status-file'), 'No file');
});

test('out of memory in a small WebAssembly memory is a message, and the page goes on', async () => {
    // About 162 MiB, as a phone's browser may give: two unlike files of 4,000,000 records do not fit.
    const small = await startPage(undefined, { flags: ['--js-flags=--wasm-max-mem-pages=2600'] });
    try {
        const { page, errors, folder } = small;
        await openFile(page, makeSample(folder, 'empty-records', 35, 32000000));
        const shown = await view(page);
        await openFile(page, makeSample(folder, 'empty-records', 36, 32000000), '#compare');
        assert.equal(await page.textContent('#message'), 'empty-records-36-32000000.qef was not compared: Memory allocation error.');
        assert.deepEqual(await view(page), shown, 'the file shown stays');
        await goTo(page, 'record', 7);
        assert.match(await page.textContent('#status-position'), /· record 7 of /);
        assert.deepEqual(errors, [], 'console and page errors');
    } finally {
        await small.close();
    }
});
