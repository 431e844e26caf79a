// The paths between a user's actions (a file unreadable, refused or slow while another is shown:
// the generated sequences', sequences.test.mjs): a Cancel while the core compares; a Compare
// overtakes one being compared; memory that runs out is a message, and the page goes on.
import assert from 'node:assert/strict';
import { copyFileSync } from 'node:fs';
import { makeSample, recordsOf, sharedPage, startPage, openFile, shownRows, goTo, pick, counting, counted, lastEnd } from './harness.mjs';

const browser = sharedPage();

// The first row on screen and the status line (a message above the rows leaves fewer rows).
const view = async (page) => [(await shownRows(page))[0], await page.textContent('#status-file'),
    (await page.textContent('#status-position')).replace(/-[\d,]+ of/, ' of')];

browser.test('Cancel while the core compares ends its worker; a new one opens the shown file again, where it was', async ({ page, folder }) => {
    await openFile(page, makeSample(folder, 'empty-records', 43, 32000000));
    await goTo(page, 'record', 7);
    const shown = await view(page);
    const opens = await counted(page, 'opened');
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
    assert.deepEqual([await view(page), await counted(page, 'opened')], [shown, opens]);
    assert.ok(await page.isHidden('#compare-bar'));
    await goTo(page, 'record', 9);
    assert.match(await page.textContent('#status-position'), /· record 9 of 3,999,997 /);
});

browser.test('a Compare picked while the one before is being compared shows its own comparison, and the one before says why not', async ({ page, folder }) => {
    const a = makeSample(folder, 'mixed', 40, 300000);
    await openFile(page, a);
    // The newer file is A under another name: of the two, only its comparison has no change.
    const newer = `${folder}/same-as-a.qef`;
    copyFileSync(a, newer);
    await page.evaluate(() => document.body.append(Object.assign(document.createElement('input'), { type: 'file', id: 'newer' })));
    await page.setInputFiles('#newer', newer);
    // It is picked as soon as the page has asked for the first comparison: its read reaches the
    // core's worker after that comparison is made, before the page has kept or undone it.
    await page.evaluate(() => {
        const post = Worker.prototype.postMessage;
        Worker.prototype.postMessage = function (message, transfer) {
            post.call(this, message, transfer);
            if (message.call !== 'compare') return;
            Worker.prototype.postMessage = post;
            queueMicrotask(() => Object.assign(document.getElementById('compare-file'), { files: document.getElementById('newer').files })
                .dispatchEvent(new Event('change')));
        };
    });
    await counting(page, 'compared', () => pick(page, makeSample(folder, 'mixed', 41, 300000), 'plain', 'compare-file'));
    await page.waitForFunction(() => !document.querySelector('#jobs .job'));
    assert.equal(await lastEnd(page), 'mixed-41-300000.qef was not compared: another file was opened or compared.');
    assert.equal(await page.textContent('#compare-summary'), 'mixed-40-300000.qef / same-as-a.qef: The records are equal.');
    const count = recordsOf(a).length;
    assert.deepEqual(await shownRows(page), [`= ${count} equal records folded: 1-${count} / 1-${count}`]);
});

browser.test('out of memory in a small WebAssembly memory is a message, and the page goes on', async () => {
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
