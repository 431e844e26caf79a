// Files the viewer refuses, with its own message and where they break as qefdump says it;
// hostile bytes and names that must stay text; a file dropped on the page; the page's policy.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync, truncateSync, copyFileSync } from 'node:fs';
import { join } from 'node:path';
import { tempFolder, makeSample, qefdump, startPage, openFile, shownRows, basename } from './harness.mjs';

let temp;
let browser;
before(async () => {
    temp = tempFolder();
    browser = await startPage();
});
after(async () => {
    await browser.close();
    temp.remove();
});

function file(name, bytes) {
    const path = join(temp.folder, name);
    writeFileSync(path, bytes);
    return path;
}

// qefdump's message for a refused file, without its "qefdump: NAME: " in front.
function refusal(path) {
    const { status, stderr } = qefdump(path);
    assert.equal(status, 1, `qefdump refuses ${basename(path)}`);
    return stderr.slice(`qefdump: ${path}: `.length).trimEnd();
}

const message = (page) => page.$eval('#message', (element) => (element.hidden ? '' : element.textContent));

test('refused files show the viewer\'s message and where they break, as qefdump tells it', async () => {
    const { page } = browser;
    const sample = makeSample(temp.folder, 'mixed', 11, 20000);
    const records = qefdump('--records', '--json', sample).stdout.toString().trim().split('\n').map((l) => JSON.parse(l));
    const last = records[records.length - 1];
    const cut = (name, length) => {
        const path = join(temp.folder, name);
        copyFileSync(sample, path);
        truncateSync(path, length);
        return path;
    };
    const tooLarge = file('too-large.qef', '');
    truncateSync(tooLarge, 32000001);
    const cases = [
        [tooLarge, /^Don't parse file greather than 32 MB\. /],
        [file('random.qef', Buffer.from(Array.from({ length: 100 }, (_, k) => (k * 37 + 11) & 255))), /^No QEF format\. /],
        [file('short.qef', readFileSync(sample).subarray(0, 10)), /^No QEF format\. Only 10 bytes/],
        [file('empty.qef', ''), /^No QEF format\. Only 0 bytes/],
        [cut('data-cut.qef', 19998), /^QEF format error\. Record \d+ at offset 0x[0-9A-F]+ declares/],
        [cut('header-cut.qef', last.offset + 5), /^QEF format error\. Record \d+ at offset 0x[0-9A-F]+: only 5 bytes/],
    ];
    for (const [path, expected] of cases) {
        await openFile(page, path);
        const shown = await message(page);
        assert.match(shown, expected);
        assert.equal(shown, refusal(path), `${basename(path)}: the message is qefdump's`);
        assert.match(await page.textContent('#status-file'), new RegExp(`^${basename(path)} · `));
        assert.deepEqual(await shownRows(page), [], `${basename(path)}: no dump`);
        assert.ok(await page.isDisabled('text=Save as text'), `${basename(path)}: nothing to save`);
    }
    await openFile(page, sample);
    assert.equal(await message(page), '', 'an accepted file clears the message');
    assert.deepEqual(browser.errors, []);
});

test('hostile bytes and file names show as text and run nothing', async () => {
    const { page } = browser;
    const markup = '<img src=x onerror=a>'; // exactly the signature's 21 bytes
    const sample = readFileSync(makeSample(temp.folder, 'mixed', 12, 20000));
    const refused = Buffer.from(sample);
    refused.write(markup, 8, 'latin1');
    await openFile(page, file(`${markup}.qef`, refused));
    assert.equal(await message(page), `No QEF format. The 21 bytes at offset 8 are "${markup}", not a signature.`);
    assert.equal(await page.textContent('#status-file'), `${markup}.qef · 20,000 bytes`);

    // An accepted file whose first record's data spells markup, under a name that does too.
    const accepted = Buffer.from(sample);
    const payload = '<script>a()</script><img src=x onerror=a>';
    const record = qefdump('--records', '--json', file('plain.qef', sample)).stdout.toString()
        .trim().split('\n').map((l) => JSON.parse(l)).find((r) => r.size >= payload.length);
    accepted.write(payload, record.offset + 8, 'latin1');
    const name = `<b onclick=a>record ${record.record}.qef`;
    const path = file(name, accepted);
    await openFile(page, path);
    await page.fill('#goto-value', String(record.record));
    await page.selectOption('#goto-kind', 'record');
    await page.click('#goto button');
    const rows = (await shownRows(page)).slice(0, 3);
    const lines = qefdump(path).stdout.toString('latin1').split('\r\n');
    const first = lines.findIndex((line) => line.startsWith(`${String(record.record).padStart(8, '0')}:`));
    assert.deepEqual(rows, lines.slice(first, first + 3), 'the record\'s lines are qefdump\'s');
    assert.ok(rows.map((row) => row.slice(84, 100)).join('').startsWith(payload), 'the markup shows as characters');
    assert.match(await page.textContent('#status-file'), /^<b onclick=a>/);
    assert.equal(await page.$$eval('img, script:not([src]), b', (found) => found.length), 0, 'no element came from a file');
    assert.deepEqual(browser.errors, [], 'no handler ran, none was even refused');
    // The page's policy: a script written into the page, as markup from a file would be, is refused.
    await page.evaluate(() => {
        const script = document.createElement('script');
        script.textContent = 'window.injected = true';
        document.body.append(script);
    });
    assert.equal(await page.evaluate(() => window.injected), undefined, 'an inline script does not run');
    assert.match(browser.errors.join('\n'), /Content Security Policy/);
    browser.errors.length = 0;
});

test('a file dropped on the page opens as one chosen with Open', async () => {
    const { page } = browser;
    const path = makeSample(temp.folder, 'mixed', 13, 3000);
    const dataTransfer = await page.evaluateHandle(([bytes, name]) => {
        const transfer = new DataTransfer();
        transfer.items.add(new File([new Uint8Array(bytes)], name));
        return transfer;
    }, [[...readFileSync(path)], 'dropped.qef']);
    await page.dispatchEvent('#dump', 'dragenter', { dataTransfer });
    assert.ok(await page.$eval('body', (body) => body.classList.contains('dragging')), 'the page shows where to drop');
    await page.dispatchEvent('#dump', 'drop', { dataTransfer });
    await page.waitForFunction(() => document.getElementById('status-file').textContent.startsWith('dropped.qef'));
    const lines = qefdump(path).stdout.toString('latin1').split('\r\n').slice(0, -1);
    assert.deepEqual(await shownRows(page), lines.slice(0, (await shownRows(page)).length));
    assert.ok(!(await page.$eval('body', (body) => body.classList.contains('dragging'))));
});
