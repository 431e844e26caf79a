// Files the viewer refuses, with its own message and where they break as qefdump says it; hostile
// bytes and names that must stay text; the page's policy.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync, truncateSync } from 'node:fs';
import { join, basename } from 'node:path';
import { makeSample, dumpLines, recordsOf, sharedPage, openFile, shownRows, expectScreen, goTo, refusal } from './harness.mjs';

const browser = sharedPage();

function file(name, bytes, length = bytes.length) {
    const path = join(browser.folder, name);
    writeFileSync(path, bytes);
    truncateSync(path, length);
    return path;
}

browser.test('refused files show the viewer\'s message and where they break, as qefdump tells it', async ({ page }) => {
    const sample = makeSample(browser.folder, 'mixed', 11, 20000);
    const bytes = readFileSync(sample);
    // The file and its size as the status line tells it; the message is the core's, whose texts
    // qefdump's tests hold, and a signature that is not one is the hostile bytes' below.
    const cases = [
        [file('too-large.qef', '', 32000001), '32,000,001 bytes'],
        [file('short.qef', bytes.subarray(0, 1)), '1 byte'],
        [file('empty.qef', ''), '0 bytes'],
    ];
    for (const [path, size] of cases) {
        await openFile(page, path);
        assert.equal(await page.textContent('#message'), refusal(path), basename(path));
        assert.equal(await page.textContent('#status-file'), `${basename(path)} · ${size}`);
        assert.deepEqual(await shownRows(page), [], `${basename(path)}: no dump`);
        assert.ok(await page.isDisabled('text=Save as text'), `${basename(path)}: nothing to save`);
    }
});

browser.test('hostile bytes and file names show as text and run nothing', async ({ page }) => {
    // An accepted file whose record's data spells markup, under a name that does too.
    const payload = '<script>a()</script><img src=x onerror=a>';
    const sample = makeSample(browser.folder, 'mixed', 12, 20000);
    const record = recordsOf(sample).find((r) => r.size >= payload.length);
    const accepted = readFileSync(sample);
    accepted.write(payload, record.offset + 8, 'latin1');
    const path = file(`<b onclick=a>record ${record.record}.qef`, accepted);
    await openFile(page, path);
    await goTo(page, 'record', record.record);
    const lines = dumpLines(path);
    const top = await expectScreen(page, lines, 'the record\'s lines are qefdump\'s');
    assert.ok(lines[top].startsWith(`${String(record.record).padStart(8, '0')}:`), 'from the record\'s first');
    assert.ok(lines.slice(top, top + 3).map((row) => row.slice(84, 100)).join('').startsWith(payload), 'the markup shows as characters');
    assert.match(await page.textContent('#status-file'), /^<b onclick=a>/);

    // A refused one while that one is shown: its name and bytes in the message.
    const markup = '<img src=x onerror=a>'; // exactly the signature's 21 bytes
    const refused = readFileSync(sample);
    refused.write(markup, 8, 'latin1');
    await openFile(page, file(`${markup}.qef`, refused));
    assert.equal(await page.textContent('#message'), `${markup}.qef: No QEF format. The 21 bytes at offset 8 are "${markup}", not a signature.`);
    assert.equal(await page.$$eval('img, script:not([src]), b', (found) => found.length), 0, 'no element came from a file');
    assert.deepEqual(browser.errors, [], 'no handler ran, none was even refused');

    // The page's policy: a script written into the page, as markup from a file would be, is refused.
    await page.evaluate(() => document.body.append(Object.assign(document.createElement('script'), { textContent: 'window.injected = 1' })));
    assert.equal(await page.evaluate(() => window.injected), undefined, 'an inline script does not run');
    assert.match(browser.errors.splice(0).join('\n'), /Content Security Policy/);
});
