// Files the viewer refuses, with its own message and where they break as qefdump says it; a
// file dropped on the page; hostile bytes and names that must stay text; the page's policy.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync, truncateSync } from 'node:fs';
import { join, basename } from 'node:path';
import { makeSample, dumpLines, recordsOf, sharedPage, openFile, shownRows, goTo, drop, refusal } from './harness.mjs';

const browser = sharedPage();

function file(name, bytes, length = bytes.length) {
    const path = join(browser.folder, name);
    writeFileSync(path, bytes);
    truncateSync(path, length);
    return path;
}

const message = (page) => page.$eval('#message', (element) => (element.hidden ? '' : element.textContent));

browser.test('refused files show the viewer\'s message and where they break, as qefdump tells it; a dropped file opens', async ({ page }) => {
    const sample = makeSample(browser.folder, 'mixed', 11, 20000);
    const bytes = readFileSync(sample);
    // The file, its message, its size as the status line tells it; the message is the core's, whose
    // cases qefdump's tests hold, and a signature that is not one is the hostile bytes' below.
    const cases = [
        [file('too-large.qef', '', 32000001), /^Don't parse file greather than 32 MB\. /, '32,000,001 bytes'],
        [file('short.qef', bytes.subarray(0, 1)), /^No QEF format\. Only 1 byte,/, '1 byte'],
        [file('empty.qef', ''), /^No QEF format\. Only 0 bytes/, '0 bytes'],
        [file('data-cut.qef', bytes, 19998), /^QEF format error\. Record \d+ at offset 0x[0-9A-F]+ declares/, '19,998 bytes'],
    ];
    for (const [path, expected, size] of cases) {
        await openFile(page, path);
        assert.match(await message(page), expected);
        assert.equal(await message(page), refusal(path), basename(path));
        assert.equal(await page.textContent('#status-file'), `${basename(path)} · ${size}`);
        assert.deepEqual(await shownRows(page), [], `${basename(path)}: no dump`);
        assert.ok(await page.isDisabled('text=Save as text'), `${basename(path)}: nothing to save`);
    }
    // An accepted file dropped on the page opens as one chosen with Open, and clears the message.
    await drop(page, '#dump', [sample], 'dragenter');
    assert.ok(await page.$eval('body', (body) => body.classList.contains('dragging')), 'the page shows where to drop');
    await drop(page, '#dump', [sample]);
    await page.waitForFunction((name) => document.getElementById('status-file').textContent.startsWith(name), basename(sample));
    const rows = await shownRows(page);
    assert.deepEqual(rows, dumpLines(sample).slice(0, rows.length));
    assert.equal(await message(page), '');
});

browser.test('hostile bytes and file names show as text and run nothing', async ({ page }) => {
    const markup = '<img src=x onerror=a>'; // exactly the signature's 21 bytes
    const sample = makeSample(browser.folder, 'mixed', 12, 20000);
    const refused = readFileSync(sample);
    refused.write(markup, 8, 'latin1');
    await openFile(page, file(`${markup}.qef`, refused)); // while the dropped file is shown
    assert.equal(await message(page), `${markup}.qef: No QEF format. The 21 bytes at offset 8 are "${markup}", not a signature.`);

    // An accepted file whose record's data spells markup, under a name that does too.
    const payload = '<script>a()</script><img src=x onerror=a>';
    const record = recordsOf(sample).find((r) => r.size >= payload.length);
    const accepted = readFileSync(sample);
    accepted.write(payload, record.offset + 8, 'latin1');
    const path = file(`<b onclick=a>record ${record.record}.qef`, accepted);
    await openFile(page, path);
    await goTo(page, 'record', record.record);
    const rows = (await shownRows(page)).slice(0, 3);
    const lines = dumpLines(path);
    const first = lines.findIndex((line) => line.startsWith(`${String(record.record).padStart(8, '0')}:`));
    assert.deepEqual(rows, lines.slice(first, first + 3), 'the record\'s lines are qefdump\'s');
    assert.ok(rows.map((row) => row.slice(84, 100)).join('').startsWith(payload), 'the markup shows as characters');
    assert.match(await page.textContent('#status-file'), /^<b onclick=a>/);
    assert.equal(await page.$$eval('img, script:not([src]), b', (found) => found.length), 0, 'no element came from a file');
    assert.deepEqual(browser.errors, [], 'no handler ran, none was even refused');

    // The page's policy: a script written into the page, as markup from a file would be, is refused.
    await page.evaluate(() => document.body.append(Object.assign(document.createElement('script'), { textContent: 'window.injected = 1' })));
    assert.equal(await page.evaluate(() => window.injected), undefined, 'an inline script does not run');
    assert.match(browser.errors.splice(0).join('\n'), /Content Security Policy/);
});
