// Compare against `qefdump --diff`: the same hunks and changed lines, folds that open to the rest
// of A's dump, a step from change to change that tells what changed in each record.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import {
    makeSample, qefdump, dumpLines, recordsOf, sharedPage, openFile, shownRows, expectScreen, topLine, rowCount, setMode,
} from './harness.mjs';

const browser = sharedPage({ width: 1400, height: 2400 }); // a long comparison reads in fewer screens

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
    const edited = Buffer.from(bytes.subarray(data.offset, end(data)));
    edited[8 + 2] ^= 0xff;
    const tagged = Buffer.from(bytes.subarray(retagged.offset, end(retagged)));
    tagged.write(other.tag, 0, 'hex');
    const path = join(browser.folder, 'changed.qef');
    writeFileSync(path, Buffer.concat([bytes.subarray(0, data.offset), edited, bytes.subarray(end(data), retagged.offset),
        tagged, bytes.subarray(end(retagged), removed.offset), bytes.subarray(end(removed), end(before)),
        bytes.subarray(records[2].offset, end(records[2])), bytes.subarray(end(before))]));
    return { path, data, retagged, removed, before, other };
}

// Every row of the comparison, a screen at a time; with `open`, each fold is clicked open first.
async function allRows(page, open = false) {
    await page.focus('#dump');
    await page.keyboard.press('Control+Home');
    const rows = [];
    for (;;) {
        const shown = await shownRows(page);
        const fold = shown.findIndex((row) => row[0] === '=');
        if (open && fold >= 0) {
            await page.click(`#dump .row >> nth=${fold}`);
            continue;
        }
        rows.splice(await topLine(page), Infinity, ...shown);
        if (rows.length >= (await rowCount(page))) return rows;
        await page.keyboard.press('PageDown');
    }
}

function hunksOf(rows) {
    const hunks = [];
    for (const row of rows) {
        if (row.startsWith('@@')) hunks.push({ header: row, body: [] });
        else if (hunks.length && row[0] !== '=') hunks.at(-1).body.push(row);
    }
    return hunks;
}

const changes = (lines) => lines.filter((line) => /^[-+][0-9]/.test(line));
const diffLines = (...args) => qefdump('--diff', ...args).stdout.toString('latin1').split('\n').slice(2, -1);

browser.test('Compare shows qefdump --diff\'s hunks, folds the rest of A, steps from change to change, keeps them past a refused file, counts one change in the singular', async ({ page }) => {
    const a = makeSample(browser.folder, 'mixed', 22, 100000);
    const b = changed(a);
    await openFile(page, a);
    await openFile(page, b.path, '#compare');
    assert.match(await page.textContent('#compare-summary'), /4 changes: 3 records removed, 3 added\./);
    const folded = await allRows(page);
    for (const fold of folded.filter((row) => row[0] === '=')) {
        const [, count, a1, a2, b1, b2] = /^= (\d+) equal records? folded: (\d+)-(\d+) \/ (\d+)-(\d+)$/.exec(fold).map(Number);
        assert.ok(count === a2 - a1 + 1 && count === b2 - b1 + 1, fold);
    }
    const [mine, theirs] = [hunksOf(folded), hunksOf(diffLines(a, b.path))];
    assert.deepEqual([mine.length, theirs.length], [4, 4]);
    mine.forEach((hunk, k) => {
        assert.equal(hunk.header, `@@ records ${/ @@ records (.*?)(, tags .*)?$/.exec(theirs[k].header)[1]}`);
        assert.deepEqual(changes(hunk.body), changes(theirs[k].body), `hunk ${k + 1}: the changed lines`);
        const at = hunk.body.indexOf(theirs[k].body[0]);
        assert.deepEqual(hunk.body.slice(at, at + theirs[k].body.length), theirs[k].body, `hunk ${k + 1}`);
    });

    // The first change is shown at once; then the steps, and no step past the last.
    const details = [];
    for (let k = 0; k < 4; k++, await page.click('#next-change')) details.push(await page.textContent('#change-detail'));
    const { data, retagged, removed, before, other } = b;
    const expected = [
        `^Change 1 of 4: records ${data.record} of A, ${data.record} of B\\.\\nRecord ${data.record} -> ${data.record}: ` +
            `tag ${data.tag} \\S+, 1 of ${data.size} data bytes? differ, the first at data byte 2\\.\\n$`,
        `\\nRecord ${retagged.record} -> ${retagged.record}: tag ${retagged.tag} \\S+ -> ${other.tag} ${other.name}[,.]`,
        `^Change 3 of 4: records ${removed.record} of A, none of B\\.\\nRecord ${removed.record} removed: `,
        `^Change 4 of 4: records none of A, ${before.record} of B\\.\\nRecord ${before.record} added: `,
    ];
    expected.forEach((pattern, k) => assert.match(details[k], new RegExp(pattern)));
    assert.match(await page.textContent('#status-note'), /No change after this one/);
    await page.click('#previous-change');
    assert.equal(await page.textContent('#change-detail'), details[2]);

    // A refused file leaves the comparison, and its steps.
    const cut = join(browser.folder, 'cut.qef');
    writeFileSync(cut, readFileSync(a).subarray(0, 99990));
    const [first] = await shownRows(page);
    await openFile(page, cut, '#compare');
    assert.equal((await shownRows(page))[0], first);
    await page.click('#next-change');
    assert.equal(await page.textContent('#change-detail'), details[3]);

    await setMode(page, 'offset');
    assert.deepEqual(changes(await allRows(page)), changes(diffLines('-n', 'offset', a, b.path)));
    await setMode(page, 'multi');

    // Every fold opened gives A's dump back from the ' ' and '-' lines, and no new change.
    const rows = await allRows(page, true);
    assert.deepEqual(rows.filter((row) => row[0] === ' ' || row[0] === '-').map((row) => row.slice(1)), dumpLines(a));
    assert.deepEqual(changes(rows), changes(folded));
    await page.click('#close-compare');
    assert.equal(await expectScreen(page, dumpLines(a), 'Close compare gives the dump back'), 0);

    // Each count singular at one: A without its third record (a file of equal records is
    // between-actions.test.mjs's).
    const [, , third] = recordsOf(a);
    const bytes = readFileSync(a);
    const shorter = join(browser.folder, 'shorter.qef');
    writeFileSync(shorter, Buffer.concat([bytes.subarray(0, third.offset), bytes.subarray(third.offset + 8 + third.size)]));
    await openFile(page, shorter, '#compare');
    assert.match(await page.textContent('#compare-summary'), /: 1 change: 1 record removed, 0 added\.$/);
    assert.equal((await shownRows(page))[0], '= 1 equal record folded: 1 / 1');
});
