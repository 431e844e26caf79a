// The dump as the page shows it, held against qefdump's lines: at the top, in the middle, at the
// end and saved as text in every numeration, in a file of 4,000,000 empty records, through the
// record list, Go to, Find, the keys, the wheel, the scroll bar and a copy.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import {
    makeSample, qefdump, qefdumpPath, dumpLines, recordsOf, sharedPage, openFile, shownRows, expectScreen, topLine, setMode, goTo,
    find, copied, download, hex,
} from './harness.mjs';

const browser = sharedPage();
const mixed = makeSample(browser.folder, 'mixed', 3, 300000);

browser.test('4,000,000 empty records: Ctrl+End, the scroll bar and Go to land on qefdump\'s lines', async ({ page }) => {
    const file = makeSample(browser.folder, 'empty-records', 1, 32000000);
    await openFile(page, file);
    assert.match(await page.textContent('#status'), /32,000,000 bytes · 3,999,997 records/);
    // Lines [first, first + count) of a dump too long to hold, cut from qefdump's stream.
    const lines = (first, count) => execFileSync('sh', ['-c', `"$0" "$1" | tail -c +${first * 103 + 1} | head -c ${count * 103}`, qefdumpPath, file])
        .toString('latin1').split('\r\n').slice(0, -1);
    await page.keyboard.press('Control+End');
    const last = await expectScreen(page, lines, 'Ctrl+End') + (await shownRows(page)).length;
    assert.match(await page.textContent('#status-position'), new RegExp(`of ${last.toLocaleString('en-US')} ·`));
    await page.$eval('#dump .scroller', (scroller) => (scroller.scrollTop = (scroller.scrollHeight - scroller.clientHeight) / 2));
    await page.waitForFunction(() => !document.getElementById('status-position').textContent.startsWith('Lines 3,'));
    const middle = await expectScreen(page, lines, 'the scroll bar\'s middle');
    assert.ok(Math.abs(middle - last / 2) < last / 1000, `the scroll bar's middle is line ${middle + 1}`);
    await goTo(page, 'line', 2345678);
    assert.equal(await expectScreen(page, lines, 'Go to'), 2345677);
});

browser.test('keys, the wheel, and a copy of the selection give the dump\'s own text', async ({ page }) => {
    await openFile(page, mixed);
    const text = qefdump(mixed).stdout.toString('latin1');
    const lines = text.split('\r\n').slice(0, -1);
    const visible = (await shownRows(page)).length;
    // [key, times, first line shown, row cursor]: the view follows the cursor, a page moves both, and
    // the cursor past the last row shown scrolls it by one.
    const steps = [['ArrowDown', 1, 0, 1], ['ArrowDown', 1, 0, 2], ['PageDown', 1, visible, 2 + visible], ['ArrowUp', 1, visible, 1 + visible],
        ['PageUp', 1, 0, 1], ['Control+End', 1, lines.length - visible, lines.length - 1], ['Control+Home', 1, 0, 0], ['ArrowUp', 1, 0, 0],
        ['ArrowDown', visible, 1, visible], ['Control+Home', 1, 0, 0]];
    for (const [key, times, top, cursor] of steps) {
        for (let k = 0; k < times; k++) await page.keyboard.press(key);
        assert.equal(await topLine(page), top, `after ${key} ${times} times`);
        assert.equal(await page.textContent('#dump-cursor'), lines[cursor], `the cursor after ${key} ${times} times`);
    }
    const at = await page.$eval('#dump .row', (line) => {
        const box = line.getBoundingClientRect();
        const left = box.left + parseFloat(getComputedStyle(line).paddingLeft);
        const text = document.createRange(); // the row's spans, however the marks cut it
        text.selectNodeContents(line);
        return { left, top: box.top, height: box.height, width: text.getBoundingClientRect().width / line.textContent.length };
    });
    await page.mouse.move(900, 400);
    await page.mouse.wheel(0, at.height * 7);
    await page.waitForFunction(() => document.getElementById('status-position').textContent.startsWith('Lines 8-'));

    // Home and End move along lines wider than the view.
    const across = async (key) => (await page.keyboard.press(key), page.$eval('#dump .scroller', (s) => s.scrollLeft));
    await page.setViewportSize({ width: 800, height: 700 });
    assert.deepEqual([(await across('End')) > 0, await across('Home')], [true, 0]);
    await page.setViewportSize({ width: 1400, height: 900 });

    const point = (row, column) => [at.left + column * at.width + 0.2, at.top + (row + 0.5) * at.height];
    await page.mouse.move(...point(2, 10));
    await page.mouse.down();
    await page.mouse.move(...point(5, 20), { steps: 4 });
    await page.mouse.up();
    const start = (7 + 2) * 103 + 10;
    assert.equal(await copied(page), text.slice(start, (7 + 5) * 103 + 20), 'a drag over four lines');
    await page.keyboard.down('Shift');
    await page.mouse.click(...point(2, 40));
    await page.keyboard.up('Shift');
    assert.equal(await copied(page), text.slice(start, start + 30), 'Shift+click within one line');
    await page.keyboard.press('Control+A');
    assert.equal(await copied(page), text.slice(0, -2), 'Ctrl+A copies the whole dump');
});

browser.test('the record list, Go to a record or an offset, and Find a tag name or hex bytes', async ({ page }) => {
    await openFile(page, mixed);
    const records = recordsOf(mixed);
    const list = qefdump('--records', mixed).stdout.toString().split('\n');
    const listed = await shownRows(page, '#records');
    assert.deepEqual(listed, list.slice(0, listed.length));

    await setMode(page, 'offset');
    const lines = dumpLines(mixed, 'offset');
    const firstLineOf = (record) => lines.findIndex((line) => line.startsWith(`${String(record.offset + 8).padStart(8, '0')}:`));
    const big = records.find((record) => record.size > 100 && record.record > 20);
    const data = big.offset + 8;
    // A piece of a tag name in any case, then the next record of that name; bytes across a line's end.
    const [named, bytes] = [records.filter((record) => record.name === 'NM_PLUGCMD'), readFileSync(mixed)];
    for (const [what, act, line] of [
        ['a click on the sixth record', () => page.click('#records .row >> nth=5'), firstLineOf(records[5])],
        ['Go to a byte of its header', () => goTo(page, 'offset', big.offset + 5), firstLineOf(big)],
        ['Go to a byte on its fourth line, in hexadecimal', () => goTo(page, 'offset', `0x${(data + 16 * 3 + 5).toString(16)}`), firstLineOf(big) + 3],
        ['Go to line 1', () => goTo(page, 'line', 1), 0],
        ['Find a name', () => find(page, 'tag', 'plugcmd'), firstLineOf(named[0])],
        ['Find it again', () => find(page, 'tag', 'plugcmd'), firstLineOf(named[1])],
        ['Find bytes 30 to 34 of a record\'s data', () => find(page, 'hex', bytes.subarray(data + 30, data + 35).toString('hex')), firstLineOf(big) + 1],
        [`Go to record ${big.record}`, () => goTo(page, 'record', big.record), firstLineOf(big)],
    ]) {
        await act();
        assert.equal((await shownRows(page))[0], lines[line], what);
    }
    assert.match(await page.textContent('#status-position'), new RegExp(`· record ${big.record} of [\\d,]+ · offset ${hex(data)}$`));
    await goTo(page, 'record', records.length - 2);
    assert.equal(await page.textContent('#records .row.marked'), list[records.length - 3], 'the list follows the dump');
    await goTo(page, 'record', records.length + 1);
    assert.match(await page.textContent('#status-note'), /No record/);
    await find(page, 'tag', 'NO_SUCH_NAME');
    assert.match(await page.textContent('#status-note'), /is not in this file/);
});

browser.test('every numeration shows and saves qefdump\'s lines, at the top, the middle and the end, and renumbers at once', async ({ page }) => {
    // The first has more lines than one piece of the saved text.
    const samples = [['one-record', 100000], ['empty-records', 3000]].map(([shape, size]) => makeSample(browser.folder, shape, 5, size));
    for (const file of [mixed, ...samples]) {
        await openFile(page, file);
        for (const mode of ['multi', 'single', 'offset']) {
            await setMode(page, mode);
            const [saved, dump] = [await download(page, 'text=Save as text'), qefdump('-n', mode, file).stdout];
            assert.ok(saved.bytes.equals(dump) && saved.name.endsWith('.qef.txt'), `${file} saved in ${mode}`);
            const lines = dump.toString('latin1').split('\r\n').slice(0, -1);
            assert.equal(await expectScreen(page, lines, `${mode}, top`), 0);
            await goTo(page, 'line', lines.length >> 1);
            assert.equal(await expectScreen(page, lines, `${mode}, middle`), (lines.length >> 1) - 1);
            await page.keyboard.press('Control+End');
            const top = await expectScreen(page, lines, `${mode}, end`);
            assert.equal(top + (await shownRows(page)).length, lines.length, `${mode}: Ctrl+End shows the last line`);
            await page.keyboard.press('Control+Home');
        }
    }
});
