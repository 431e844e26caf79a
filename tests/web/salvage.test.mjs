// A damaged file in the page: refused as qefdump refuses it, then opened as what survives of it,
// its damaged region marked in the dump and the record list; Go to, Find, the inspector and
// Statistics over it; Save repaired file against the file without the damaged record and against
// `qefdump --repair`; Compare on its intact records.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import {
    makeSample, qefdump, recordsOf, sharedPage, openFile, expectScreen, shownRows, goTo, counting, download, lastEnd, find, number,
    hex, refusal,
} from './harness.mjs';

const browser = sharedPage();

// A sample whose record `broken` declares 2,147,483,647 data bytes, as a debugger that died while
// writing it leaves it; the records before and after it are untouched.
const original = makeSample(browser.folder, 'mixed', 37, 30000);
const records = recordsOf(original);
const broken = records.find((r) => r.record > 10 && r.size >= 40);
const bytes = readFileSync(original);
const end = broken.offset + 8 + broken.size;
const whole = Buffer.concat([bytes.subarray(0, broken.offset), bytes.subarray(end)]);
bytes.writeUInt32LE(0x7fffffff, broken.offset + 4);
const file = { path: join(browser.folder, 'damaged.qef'), original, records, length: end - broken.offset, whole };
writeFileSync(file.path, bytes);

browser.test('a damaged file is refused with where it breaks, then shown as what survives, its damage marked', async ({ page, folder }) => {
    await openFile(page, file.path);
    assert.equal(await page.textContent('#message'), refusal(file.path));
    assert.equal(await page.isHidden('#salvage-bar'), false, 'what survives is offered');
    assert.equal(await page.textContent('#salvage-name'), 'damaged.qef');

    await counting(page, 'opened', () => page.click('#salvage')); // what survives of it
    const intact = file.records.length - 1;
    const summary = refusal('--salvage', file.path);
    assert.equal(summary, `1 damaged region, ${number(file.length)} bytes; ${number(intact)} records intact`);
    assert.equal(await page.textContent('#status-file'), `damaged.qef · ${number(readFileSync(file.path).length)} bytes · ${summary}`);
    assert.ok(await page.isHidden('#salvage-bar'));
    assert.equal(await page.textContent('#message'), '');

    // The record list: the records before it, the region in its place, the records after it
    // numbered on in the order found.
    await page.focus('#records');
    const rows = await shownRows(page, '#records');
    const offset8 = broken.offset.toString(16).toUpperCase().padStart(8, '0');
    assert.equal(rows[broken.record - 1], `   damaged  ${offset8}  damaged: ${number(file.length)} bytes at ${hex(broken.offset)}`);
    const after = file.records[broken.record]; // the first record after the damage
    assert.match(rows[broken.record], new RegExp(`^ +${broken.record} +${after.offset.toString(16).toUpperCase().padStart(8, '0')} `));
    assert.deepEqual(await page.$$eval('#records .row', (list) => list.flatMap((row, k) => (row.classList.contains('kind-damaged') ? [k] : []))),
        [broken.record - 1], 'one row marked damaged');

    // Go to the damaged offset: qefdump --salvage's lines from the region's first on, the region's marked.
    await goTo(page, 'offset', hex(broken.offset));
    const lines = qefdump('--salvage', file.path).stdout.toString('latin1').split('\r\n');
    assert.equal(await expectScreen(page, lines, 'from the region on'), lines.findIndex((line) => line.startsWith(`!DAMAGED! 0x${offset8} `)));
    const damagedLines = Math.ceil(file.length / 16);
    const marked = await page.$$eval('#dump .row', (list) => list.map((row) => row.classList.contains('kind-damaged')));
    assert.deepEqual(marked.slice(0, damagedLines + 1), [...Array(damagedLines).fill(true), false]);
    assert.match(await page.textContent('#inspector-offset'), new RegExp(`^Offset ${hex(broken.offset)} .*, a damaged region$`));

    // Go to a record counts the intact records.
    await goTo(page, 'record', broken.record);
    assert.match((await shownRows(page))[0], new RegExp(`^${String(broken.record).padStart(8, '0')}: ${after.name}`));

    // Find the bytes of the damaged header's size field.
    await find(page, 'hex', 'FF FF FF 7F');
    assert.match(await page.textContent('#status-note'), new RegExp(`found at offset ${hex(broken.offset + 4)}\\b`));

    await page.click('#toggle-stats');
    assert.match(await page.textContent('#stats-total'), new RegExp(`tags, ${number(intact)} records, `));
});

browser.test('Save as text and Save repaired file write what qefdump --salvage and --repair write, without a signature only one chosen; Compare sees the intact records', async ({ page, folder }) => {
    assert.ok((await download(page, 'text=Save as text')).bytes.equals(qefdump('--salvage', file.path).stdout), 'the dump shown');
    const { bytes: saved, name } = await download(page, '#save-repaired');
    assert.equal(name, 'damaged.repaired.qef');
    assert.ok(saved.equals(file.whole), 'the file without its damaged record');
    const repaired = join(folder, 'repaired.qef');
    assert.equal(qefdump('--repair', '-o', repaired, file.path).status, 1, 'damage found and salvaged');
    assert.ok(saved.equals(readFileSync(repaired)), 'as qefdump --repair writes it');
    assert.match(await lastEnd(page), /^Saved damaged\.repaired\.qef: [\d,]+ intact records\.$/);

    // Compared with the file it came from, the damaged record is all that differs.
    await openFile(page, file.original, '#compare');
    assert.equal(await page.textContent('#compare-summary'),
        'damaged.qef / mixed-37-30000.qef: 1 change: 0 records removed, 1 added. Compared: the intact records of damaged.qef.');

    // Without its signature record the intact records are no module-info file: nothing is saved.
    const unsigned = readFileSync(file.original);
    unsigned.writeUInt32LE(0x7fffffff, 4);
    const unsignedPath = join(folder, 'unsigned.qef');
    writeFileSync(unsignedPath, unsigned);
    await openFile(page, unsignedPath);
    await counting(page, 'opened', () => page.click('#salvage')); // what survives of it
    let downloads = 0;
    page.on('download', () => downloads++);
    await page.click('#save-repaired');
    await page.waitForFunction(() => /^unsigned\.repaired\.qef was not/.test(document.querySelector('#jobs .job-end:last-child')?.textContent));
    assert.equal(await lastEnd(page), 'unsigned.repaired.qef was not saved: the signature record did not survive; choose one to write.');
    assert.equal(downloads, 0);
    // With one chosen, it goes in front, as qefdump --repair --signature writes it.
    await page.selectOption('#repair-signature', '2');
    const signed = await download(page, '#save-repaired');
    assert.equal(qefdump('--repair', '--signature', 'v1.1', '-o', repaired, unsignedPath).status, 1);
    assert.ok(signed.bytes.equals(readFileSync(repaired)));
});
