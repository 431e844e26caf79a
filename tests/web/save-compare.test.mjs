// Save as text byte for byte against qefdump, and Compare against `qefdump --diff`: the same
// hunks and changed lines, folds that open to the rest of A's dump, a step from change to
// change that tells what changed in each record.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { tempFolder, makeSample, qefdump, startPage, openFile, shownRows, topLine, setMode } from './harness.mjs';

let temp;
let browser;
before(async () => {
    temp = tempFolder();
    browser = await startPage({ width: 1400, height: 2400 }); // a long comparison reads in fewer screens
});
after(async () => {
    await browser.close();
    temp.remove();
});

const recordsOf = (path) => qefdump('--records', '--json', path).stdout.toString().trim().split('\n').map((l) => JSON.parse(l));

test('Save as text writes what qefdump writes, byte for byte, in every numeration', async () => {
    const { page } = browser;
    // More lines than one piece of the saved text holds.
    for (const path of [makeSample(temp.folder, 'mixed', 21, 1500000), makeSample(temp.folder, 'empty-records', 2, 3000)]) {
        await openFile(page, path);
        for (const mode of ['offset', 'multi', 'single']) {
            await setMode(page, mode);
            const [download] = await Promise.all([page.waitForEvent('download'), page.click('text=Save as text')]);
            assert.match(download.suggestedFilename(), /\.qef\.txt$/);
            assert.ok(readFileSync(await download.path()).equals(qefdump('-n', mode, path).stdout), `${path} in ${mode}`);
        }
    }
    assert.deepEqual(browser.errors, []);
});

// B from A: a data byte changed in one record, another's tag replaced by a third's, a fourth
// removed, and a copy of record 3 put after a fifth; far enough apart to make four hunks.
function changed(a) {
    const records = recordsOf(a);
    const bytes = readFileSync(a);
    const end = (r) => r.offset + 8 + r.size;
    const after = (r, ok = () => true) => records.find((s) => s.record >= r.record + 5 && ok(s));
    const data = after(records[0], (r) => r.size >= 3);
    const retagged = after(data);
    const removed = after(retagged);
    const before = after(removed);
    const other = records.find((r) => r.name !== retagged.name && !r.name.startsWith('??'));
    const copy = records[2];
    const edited = Buffer.from(bytes.subarray(data.offset, end(data)));
    edited[8 + 2] ^= 0xff;
    const tagged = Buffer.from(bytes.subarray(retagged.offset, end(retagged)));
    tagged.write(other.tag, 0, 'hex');
    const path = join(temp.folder, 'changed.qef');
    writeFileSync(path, Buffer.concat([
        bytes.subarray(0, data.offset), edited,
        bytes.subarray(end(data), retagged.offset), tagged,
        bytes.subarray(end(retagged), removed.offset),
        bytes.subarray(end(removed), end(before)), bytes.subarray(copy.offset, end(copy)),
        bytes.subarray(end(before)),
    ]));
    return { path, data, retagged, removed, before, other };
}

// Every row of the comparison, a screen at a time.
async function allRows(page) {
    await page.focus('#dump');
    await page.keyboard.press('Control+Home');
    const rows = [];
    for (;;) {
        const top = await topLine(page);
        rows.splice(top, Infinity, ...(await shownRows(page)));
        const [, count] = /of ([\d,]+)/.exec(await page.textContent('#status-position'));
        if (rows.length >= Number(count.replace(/,/g, ''))) return rows;
        await page.keyboard.press('PageDown');
    }
}

// Clicks every fold open, a screen at a time.
async function openFolds(page) {
    await page.focus('#dump');
    await page.keyboard.press('Control+Home');
    for (let top = -1; top !== (await topLine(page));) {
        const visible = (await shownRows(page)).length;
        const fold = await page.$$eval('#dump .row', (rows, n) => rows.slice(0, n).findIndex((row) =>
            row.classList.contains('kind-fold')), visible);
        if (fold >= 0) {
            await page.click(`#dump .row >> nth=${fold}`);
            continue;
        }
        top = await topLine(page);
        await page.keyboard.press('PageDown');
    }
}

function hunksOf(rows) {
    const hunks = [];
    for (const row of rows) {
        if (row.startsWith('@@')) hunks.push({ header: row, body: [] });
        else if (hunks.length && !row.startsWith('=')) hunks.at(-1).body.push(row);
    }
    return hunks;
}

test('Compare shows qefdump --diff\'s hunks, folds the rest of A, and steps from change to change', async () => {
    const { page } = browser;
    const a = makeSample(temp.folder, 'mixed', 22, 100000);
    const b = changed(a);
    await setMode(page, 'multi');
    await openFile(page, a);
    await openFile(page, b.path, '#compare');
    assert.match(await page.textContent('#compare-summary'), /4 changes: 3 records removed, 3 added\./);
    const folded = await allRows(page);
    const mine = hunksOf(folded);
    for (const fold of folded.filter((row) => row[0] === '=')) {
        const [, count, a1, a2, b1, b2] = /^= (\d+) equal records folded: (\d+)-(\d+) \/ (\d+)-(\d+)$/.exec(fold).map(Number);
        assert.ok(count === a2 - a1 + 1 && count === b2 - b1 + 1, fold);
    }
    const theirs = hunksOf(qefdump('--diff', a, b.path).stdout.toString('latin1').split('\n').slice(2, -1));
    assert.equal(mine.length, 4);
    assert.equal(theirs.length, 4);
    const changes = (body) => body.filter((line) => line[0] !== ' ');
    mine.forEach((hunk, k) => {
        const records = /^@@ \S+ \S+ @@ records (.*?)(, tags .*)?$/.exec(theirs[k].header)[1];
        assert.equal(hunk.header, `@@ records ${records}`);
        assert.deepEqual(changes(hunk.body), changes(theirs[k].body), `hunk ${k + 1}: the changed lines`);
        const at = hunk.body.indexOf(theirs[k].body[0]);
        assert.deepEqual(hunk.body.slice(at, at + theirs[k].body.length), theirs[k].body, `hunk ${k + 1}`);
    });

    // The first change is shown at once; then the steps, and no step past the last.
    const details = [await page.textContent('#change-detail')];
    for (let k = 1; k < 4; k++) {
        await page.click('#next-change');
        details.push(await page.textContent('#change-detail'));
    }
    const { data, retagged, removed, before, other } = b;
    assert.match(details[0], new RegExp(`^Change 1 of 4: records ${data.record} of A, ${data.record} of B\\.\\n` +
        `Record ${data.record} -> ${data.record}: tag ${data.tag} \\S+, 1 of ${data.size} data bytes? differ, the first at data byte 2\\.\\n$`));
    assert.match(details[1], new RegExp(`\\nRecord ${retagged.record} -> ${retagged.record}: tag ${retagged.tag} \\S+ -> ${other.tag} ${other.name}[,.]`));
    assert.match(details[2], new RegExp(`^Change 3 of 4: records ${removed.record} of A, none of B\\.\\nRecord ${removed.record} removed: `));
    assert.match(details[3], new RegExp(`^Change 4 of 4: records none of A, ${before.record} of B\\.\\nRecord ${before.record} added: `));
    await page.click('#next-change');
    assert.match(await page.textContent('#status-note'), /No change after this one/);
    await page.click('#previous-change');
    assert.equal(await page.textContent('#change-detail'), details[2]);

    // Offset numeration renumbers the comparison.
    await setMode(page, 'offset');
    const marked = (lines) => lines.filter((line) => /^[-+][0-9]/.test(line));
    assert.deepEqual(marked(await allRows(page)),
        marked(qefdump('--diff', '-n', 'offset', a, b.path).stdout.toString('latin1').split('\n')));
    await setMode(page, 'multi');

    // Every fold opened gives A's dump back, from its ' ' and '-' lines, and no new change.
    await openFolds(page);
    const aLines = qefdump(a).stdout.toString('latin1').split('\r\n').slice(0, -1);
    const rows = await allRows(page);
    assert.deepEqual(rows.filter((row) => row[0] === ' ' || row[0] === '-').map((row) => row.slice(1)), aLines);
    assert.deepEqual(rows.filter((row) => row[0] === '-' || row[0] === '+'), mine.flatMap((hunk) => changes(hunk.body)));

    // Close compare gives the dump back.
    await page.click('#close-compare');
    const shown = await shownRows(page);
    assert.deepEqual(shown, aLines.slice(0, shown.length));
    assert.deepEqual(browser.errors, []);
});

test('Compare tells equal records, and a refused second file, apart', async () => {
    const { page } = browser;
    const a = makeSample(temp.folder, 'mixed', 23, 20000);
    const copy = join(temp.folder, 'copy.qef');
    writeFileSync(copy, readFileSync(a));
    await openFile(page, a);
    await openFile(page, copy, '#compare');
    assert.match(await page.textContent('#compare-summary'), /The records are equal\./);
    assert.deepEqual(await shownRows(page), [`= ${recordsOf(a).length} equal records folded: 1-${recordsOf(a).length} / 1-${recordsOf(a).length}`]);
    await page.click('#close-compare');
    const broken = join(temp.folder, 'broken.qef');
    writeFileSync(broken, readFileSync(a).subarray(0, 19990));
    await openFile(page, broken, '#compare');
    assert.match(await page.textContent('#message'), /^broken\.qef: QEF format error\. Record \d+ at offset/);
    assert.ok(await page.isHidden('#compare-bar'), 'the dump stays');
    assert.deepEqual(browser.errors, []);
});
