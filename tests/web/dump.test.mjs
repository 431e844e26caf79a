// The dump as the page shows it, held against qefdump's lines: at the top, in the middle and
// at the end in every numeration, in a file of 4,000,000 empty records, through the record
// list, Go to, Find, the keys, the wheel, the scroll bar and a copy.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import {
    MODES, tempFolder, makeSample, qefdump, dumpLines, startPage, openFile, shownRows, topLine, setMode,
} from './harness.mjs';

let temp;
let browser;
let mixed;
before(async () => {
    temp = tempFolder();
    mixed = makeSample(temp.folder, 'mixed', 3, 300000);
    browser = await startPage();
});
after(async () => {
    await browser.close();
    temp.remove();
});

const linesOf = (file, mode) => qefdump('-n', mode, file).stdout.toString('latin1').split('\r\n').slice(0, -1);

async function goTo(page, kind, value) {
    await page.selectOption('#goto-kind', kind);
    await page.fill('#goto-value', String(value));
    await page.click('#goto button');
}

async function expectScreen(page, lines, what) {
    const rows = await shownRows(page);
    const top = await topLine(page);
    assert.ok(rows.length > 10, `${what}: a screenful of rows`);
    assert.deepEqual(rows, lines.slice(top, top + rows.length), `${what}: the rows from line ${top + 1}`);
    return top;
}

test('every numeration shows qefdump\'s lines at the top, the middle and the end, and renumbers at once', async () => {
    const { page } = browser;
    for (const file of [mixed, makeSample(temp.folder, 'one-record', 5, 100000)]) {
        await openFile(page, file);
        for (const mode of MODES) {
            await setMode(page, mode);
            const lines = linesOf(file, mode);
            await page.keyboard.press('Control+Home');
            assert.equal(await expectScreen(page, lines, `${mode} top`), 0);
            const middle = Math.floor(lines.length / 2);
            await goTo(page, 'line', middle);
            assert.equal(await expectScreen(page, lines, `${mode} middle`), middle - 1);
            await page.keyboard.press('Control+End');
            const top = await expectScreen(page, lines, `${mode} end`);
            assert.equal(top + (await shownRows(page)).length, lines.length, `${mode}: Ctrl+End shows the last line`);
        }
    }
    await setMode(page, 'multi');
    assert.deepEqual(browser.errors, []);
});

test('4,000,000 empty records: Ctrl+End, the scroll bar and Go to land on qefdump\'s lines', async () => {
    const { page } = browser;
    const file = makeSample(temp.folder, 'empty-records', 1, 32000000);
    await openFile(page, file);
    const status = await page.textContent('#status');
    assert.match(status, /32,000,000 bytes · 3,999,997 records/);
    const count = Number(/of ([\d,]+) ·/.exec(status)[1].replace(/,/g, ''));
    const at = async (what) => {
        const rows = await shownRows(page);
        const top = await topLine(page);
        assert.deepEqual(rows, await dumpLines(file, 'multi', top, rows.length), `${what}: the rows from line ${top + 1}`);
        return top + rows.length;
    };
    await page.keyboard.press('Control+End');
    assert.equal(await at('Ctrl+End'), count);
    await page.$eval('#dump .scroller', (scroller) => {
        scroller.scrollTop = (scroller.scrollHeight - scroller.clientHeight) / 2;
    });
    await page.waitForFunction(() => !document.getElementById('status-position').textContent.startsWith('Lines 3,'));
    const middle = await topLine(page);
    assert.ok(Math.abs(middle - count / 2) < count / 1000, `the scroll bar's middle is line ${middle + 1}`);
    await at('the scroll bar');
    await goTo(page, 'line', 2345678);
    assert.equal(await at('Go to line'), 2345677 + (await shownRows(page)).length);
    assert.deepEqual(browser.errors, []);
});

test('the record list, Go to a record or an offset, and Find a tag name or hex bytes', async () => {
    const { page } = browser;
    await openFile(page, mixed);
    const records = qefdump('--records', '--json', mixed).stdout.toString().trim().split('\n').map((line) => JSON.parse(line));
    const list = qefdump('--records', mixed).stdout.toString().split('\n');
    assert.deepEqual(await shownRows(page, '#records'), list.slice(0, (await shownRows(page, '#records')).length));

    const lines = linesOf(mixed, 'offset');
    await setMode(page, 'offset');
    const firstLineOf = (record) => lines.findIndex((line) => line.startsWith(`${String(record.offset + 8).padStart(8, '0')}:`));
    const topIs = async (line, what) => assert.equal((await shownRows(page))[0], lines[line], what);

    // A click on the sixth record in the list shows its first line.
    const row = (await page.$$('#records .row'))[5];
    await row.click();
    await topIs(firstLineOf(records[5]), 'a click on record 6');

    const big = records.find((record) => record.size > 100 && record.record > 20);
    await goTo(page, 'record', big.record);
    await topIs(firstLineOf(big), `Go to record ${big.record}`);
    const offset = (big.offset + 8).toString(16).toUpperCase();
    assert.match(await page.textContent('#status-position'), new RegExp(`· record ${big.record} of [\\d,]+ · offset 0x${offset}$`));
    await goTo(page, 'record', records.length - 2);
    assert.equal(await page.textContent('#records .row.marked'), list[records.length - 3], 'the list follows the dump');
    await goTo(page, 'offset', `0x${big.offset.toString(16)}`);
    await topIs(firstLineOf(big), 'Go to the offset of its header');
    await goTo(page, 'offset', big.offset + 8 + 16 * 3 + 5);
    await topIs(firstLineOf(big) + 3, 'Go to a byte on its fourth line');
    await goTo(page, 'record', records.length + 1);
    assert.match(await page.textContent('#status-note'), /No record/);

    // A tag name in any case, then the next record of that name; bytes across a line's end.
    const named = records.filter((record) => record.name === 'NM_PLUGCMD');
    await page.focus('#dump');
    await page.keyboard.press('Control+Home');
    await page.fill('#find-text', 'nm_plugcmd');
    await page.press('#find-text', 'Enter');
    await topIs(firstLineOf(named[0]), 'Find a name');
    await page.press('#find-text', 'Enter');
    await topIs(firstLineOf(named[1]), 'Find it again');
    const bytes = readFileSync(mixed).subarray(big.offset + 8 + 30, big.offset + 8 + 35);
    await page.fill('#find-text', [...bytes].map((b) => b.toString(16).padStart(2, '0')).join(' '));
    await page.press('#find-text', 'Enter');
    await topIs(firstLineOf(big) + 1, 'Find bytes 30 to 34 of a record\'s data');
    await page.fill('#find-text', 'NO_SUCH_NAME');
    await page.press('#find-text', 'Enter');
    assert.match(await page.textContent('#status-note'), /is not in this file/);
    await setMode(page, 'multi');
    assert.deepEqual(browser.errors, []);
});

test('keys, the wheel, and a copy of the selection give the dump\'s own text', async () => {
    const { page } = browser;
    await openFile(page, mixed);
    const text = qefdump(mixed).stdout.toString('latin1');
    const lines = text.split('\r\n').slice(0, -1);
    const visible = (await shownRows(page)).length;
    const steps = [
        ['ArrowDown', 1], ['ArrowDown', 2], ['PageDown', 2 + visible], ['ArrowUp', 1 + visible],
        ['PageUp', 1], ['Control+End', lines.length - visible], ['Control+Home', 0],
    ];
    for (const [key, top] of steps) {
        await page.keyboard.press(key);
        assert.equal(await topLine(page), top, `after ${key}`);
    }
    assert.deepEqual(await shownRows(page), lines.slice(0, visible));
    const height = await page.$eval('#dump .row', (row) => row.getBoundingClientRect().height);
    await page.mouse.move(900, 400);
    await page.mouse.wheel(0, height * 7);
    await page.waitForFunction(() => document.getElementById('status-position').textContent.startsWith('Lines 8-'));

    // Home and End move along lines wider than the view.
    await page.setViewportSize({ width: 800, height: 700 });
    await page.keyboard.press('End');
    assert.ok(await page.$eval('#dump .scroller', (s) => s.scrollLeft > 0), 'End shows the ends of the lines');
    await page.keyboard.press('Home');
    assert.equal(await page.$eval('#dump .scroller', (s) => s.scrollLeft), 0);
    await page.setViewportSize({ width: 1400, height: 900 });

    await page.evaluate(() => window.addEventListener('copy', (event) => {
        window.copied = event.clipboardData.getData('text/plain');
    }));
    const at = await page.evaluate(() => {
        const line = document.querySelector('#dump .row');
        const box = line.getBoundingClientRect();
        const left = box.left + parseFloat(getComputedStyle(line).paddingLeft);
        return { left, top: box.top, height: box.height, width: line.firstChild.getBoundingClientRect().width / line.textContent.length };
    });
    const point = (row, column) => ({ x: at.left + column * at.width + 0.2, y: at.top + (row + 0.5) * at.height });
    const from = point(2, 10);
    const to = point(5, 20);
    await page.mouse.move(from.x, from.y);
    await page.mouse.down();
    await page.mouse.move(to.x, to.y, { steps: 4 });
    await page.mouse.up();
    await page.keyboard.press('Control+C');
    const top = await topLine(page);
    assert.equal(await page.evaluate(() => window.copied), text.slice((top + 2) * 103 + 10, (top + 5) * 103 + 20));
    const end = point(2, 40);
    await page.keyboard.down('Shift');
    await page.mouse.click(end.x, end.y);
    await page.keyboard.up('Shift');
    await page.keyboard.press('Control+C');
    assert.equal(await page.evaluate(() => window.copied), text.slice((top + 2) * 103 + 10, (top + 2) * 103 + 40), 'Shift+click');
    await page.keyboard.press('Control+A');
    await page.keyboard.press('Control+C');
    assert.equal(await page.evaluate(() => window.copied), text.slice(0, -2), 'Ctrl+A copies the whole dump');
    assert.deepEqual(browser.errors, []);
});
