// The dump's bytes: Find over the whole file against qefdump's hits, the byte cursor and the data
// inspector against the file's own bytes, and Statistics against qefdump's counts.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { makeSample, qefdump, dumpLines, recordsOf, sharedPage, openFile, goTo, topLine, find, number, hex } from './harness.mjs';

const browser = sharedPage();

// A sample with "module" planted in three records' data, in three forms, a run of bytes that
// crosses a record's end into the next one's header, and bytes for the inspector: the least
// signed value of each width, a float32 that needs nine digits, infinity, NaN, subnormals, -0.
const path = makeSample(browser.folder, 'mixed', 7, 60000);
const bytes = readFileSync(path);
const records = recordsOf(path);
const big = records.filter((r) => r.size >= 64);
const dataOf = (r) => r.offset + 8;
bytes.write('Module', dataOf(big[2]) + 3, 'latin1');
bytes.write('MODULE', dataOf(big[5]) + 20, 'latin1');
bytes.write('module', dataOf(big[9]) + 1, 'utf16le');
bytes.write('module', dataOf(big[12]) + 40, 'latin1');
const inspectedAt = dataOf(big[3]) + 16 * 2 + 5;
bytes.write('80000000000000803F8000017F800000FFC00000400921FB54442D18', inspectedAt, 'hex');
writeFileSync(path, bytes);
const across = big[4];
const acrossBytes = bytes.subarray(dataOf(across) + across.size - 2, dataOf(across) + across.size + 3);
const answers = (...args) => qefdump(...args, '--json', path).stdout.toString().trim().split('\n').map((l) => JSON.parse(l));
const firstLine = dumpLines(path)[0];

// The hit the status line names, after `key`, if any.
async function found(page, key) {
    if (key) await page.keyboard.press(key);
    const note = await page.textContent('#status-note');
    return { offset: parseInt(/found at offset 0x([0-9A-F]+)/.exec(note)[1], 16), round: /again/.test(note) };
}

browser.test('Find starts at the first byte, walks every hit of a text, hex bytes or a tag as qefdump finds them, both ways round, and marks them', async ({ page }) => {
    const named = `${browser.folder}/a\u202Eb.qef`; // a right-to-left override in the name
    writeFileSync(named, bytes);
    await openFile(page, named);
    assert.equal(await page.textContent('#status-file'), `\u2068a\u202Eb.qef\u2069 · ${number(bytes.length)} bytes · ${number(records.length)} records`);
    // A hit on the first tag's bytes is found first, and marked on the tag's name.
    await find(page, 'hex', bytes.subarray(0, 4).toString('hex'));
    assert.match(await page.textContent('#status-note'), /found at offset 0x0, record 1\.$/);
    assert.deepEqual(await page.$$eval('#dump .row .hit', (spans) => spans.map((s) => s.textContent)), [firstLine.slice(10, 24)]);
    const expected = answers('--find', 'module', '-i', '--utf16');
    assert.ok(expected.length >= 4);
    await page.check('#find-utf16');
    await find(page, 'text', 'module');
    const walked = [await found(page)];
    for (let k = 0; k < expected.length; k++) walked.push(await found(page, 'F3'));
    assert.deepEqual(walked.map((f) => f.offset), [...expected, expected[0]].map((h) => h.offset), 'next, and round');
    assert.ok(walked[expected.length].round);
    // The hit's bytes are marked in both columns of its line.
    const marked = await page.$$eval('#dump .row .hit', (spans) => spans.map((s) => s.textContent));
    assert.deepEqual(marked, [...'4D 6F 64 75 6C 65'.split(' '), ...'Module'], 'the first hit marked');
    assert.equal((await found(page, 'Shift+F3')).offset, expected.at(-1).offset, 'previous goes round');
    assert.equal((await found(page, 'Shift+F3')).offset, expected.at(-2).offset);

    await page.check('#find-case');
    await page.uncheck('#find-utf16');
    await find(page, 'text', 'module');
    assert.equal((await found(page)).offset, answers('--find', 'module')[0].offset, 'Match case');
    await find(page, 'hex', acrossBytes.toString('hex'));
    assert.equal((await found(page)).offset, answers('--find-hex', acrossBytes.toString('hex'))[0].offset, 'into a header');
    await page.fill('#find-text', 'zz');
    await page.click('#find button[type=submit]');
    assert.match(await page.textContent('#status-note'), /hexadecimal/);
    // Find previous of a tag name: the record the cursor is in, then round the file's end.
    await page.selectOption('#find-kind', 'tag');
    await page.fill('#find-text', records[0].name);
    await goTo(page, 'offset', 9);
    await page.click('#find-previous');
    assert.match(await page.textContent('#status-note'), /found at offset 0x0, record 1\.$/);
    await page.click('#find-previous');
    const last = records.filter((r) => r.name === records[0].name).at(-1);
    assert.match(await page.textContent('#status-note'),
        new RegExp(`found at offset ${hex(last.offset)}, record ${last.record}, from the end again\\.$`));
});

const inspected = (page) =>
    page.$$eval('#inspector-values div', (rows) => Object.fromEntries(rows.map((r) => [r.children[0].textContent, r.children[1].textContent])));

// The shortest digits that read back as the float32 `value`, as JavaScript writes a number.
function shortest32(value) {
    for (let digits = 1; Number.isFinite(value); digits++) {
        const text = Number(value.toPrecision(digits));
        if (Math.fround(text) === value) return String(text);
    }
    return String(value);
}

// What the inspector should show at `at`, as DataView reads the bytes, with `room` bytes left in
// the record: '—' for a value wider than that.
function expectedAt(at, room) {
    const view = new DataView(bytes.buffer, bytes.byteOffset);
    const values = {};
    for (const [size, get] of [[1, 'Int8'], [2, 'Int16'], [4, 'Int32'], [8, 'BigInt64']]) {
        for (const [end, little] of size === 1 ? [['', true]] : [[' LE', true], [' BE', false]]) {
            const read = (what, text = String) => (size <= room ? text(view[`get${what}`](at, little)) : '—');
            values[`int${size * 8}${end}`] = read(get);
            values[`uint${size * 8}${end}`] = read(get.replace('Int', 'Uint'));
            if (size === 4) values[`float32${end}`] = read('Float32', shortest32);
            if (size === 8) values[`float64${end}`] = read('Float64');
        }
    }
    return values;
}

browser.test('the byte cursor starts at the first byte, crosses a header, goes where the arrows, Go to and a click put it; the inspector reads the bytes there', async ({ page }) => {
    await openFile(page, path);
    const cursor = () => page.$$eval('#dump .row .byte-cursor', (spans) => spans.map((s) => s.textContent));
    const offset = async () => /^Offset (0x[0-9A-F]+) /.exec(await page.textContent('#inspector-offset'))[1];
    await page.focus('#dump');
    // [key, times, the cursor's offset, its spans on the first line or null]
    for (const [key, times, at, spans, why] of [['ArrowRight', 1, '0x0', [firstLine.slice(10, 24)], 'Right goes to the first byte'],
        ['ArrowRight', 4, '0x4', [firstLine.slice(25, 30)], 'the size\'s bytes'],
        ['ArrowRight', 5, '0x9', [firstLine.slice(35, 37), firstLine[85]], 'the second data byte'],
        ['ArrowDown', 1, '0x19', null, 'Down: a line of data on'], ['ArrowUp', 1, '0x9', null, 'Up: back']]) {
        for (let k = 0; k < times; k++) await page.keyboard.press(key);
        assert.deepEqual([await offset(), spans && (await cursor())], [at, spans], why);
    }
    const [at, record] = [inspectedAt, big[3]];
    const check = async (to, why) => {
        const [shown, wanted] = [await inspected(page), expectedAt(to, dataOf(record) + record.size - to)];
        assert.deepEqual(Object.fromEntries(Object.keys(wanted).map((label) => [label, shown[label]])), wanted, why);
        assert.match(await page.textContent('#inspector-offset'), new RegExp(`^Offset ${hex(to)} `));
    };
    await goTo(page, 'offset', at);
    await check(at, 'Go to');
    // A click on the character three to the right.
    const box = await page.$$eval('#dump .row .byte-cursor', (spans) => spans.at(-1).getBoundingClientRect().toJSON());
    await page.mouse.click(box.x + box.width * 3.5, box.y + box.height / 2);
    await check(at + 3, 'a click');
    for (const [key, times, to] of [['ArrowLeft', 2, 1], ['ArrowRight', 7, 8], ['ArrowRight', 4, 12], ['ArrowRight', 4, 16], ['ArrowRight', 4, 20]]) {
        for (let k = 0; k < times; k++) await page.keyboard.press(key);
        await check(at + to, `${key} ${times} times, to byte ${to} of the planted ones`);
    }
    // Near the record's end the wider values do not fit; the text stops there.
    const end = dataOf(record) + record.size - 3;
    await goTo(page, 'offset', end);
    await check(end, 'three bytes from the end');
    assert.ok((await inspected(page)).ASCII.length <= 3, 'the text stops at the record\'s end');
});

// The rows of the statistics' list on screen, as [tag, name, records, data bytes].
const statRows = (page) => page.$$eval('#stats-list .row', (rows) => rows.map((r) => r.textContent.trim().split(/ +/)).filter((r) => r[0]));

browser.test('Statistics counts per tag as qefdump does, in each order; a tag goes to its first record, whose bytes are marked', async ({ page }) => {
    await openFile(page, path);
    await page.click('#toggle-stats');
    const stats = answers('--stats');
    const most = (key) => stats.map((s, k) => [s, k]).sort(([a, i], [b, j]) => b[key] - a[key] || i - j).map(([s]) => s);
    for (const [order, expected] of [['bytes', most('bytes')], ['first', stats], ['records', most('records')]]) {
        await page.selectOption('#stats-order', order);
        const shown = await statRows(page);
        assert.deepEqual(shown, expected.slice(0, shown.length).map((s) => [s.tag, s.name, number(s.records), number(s.bytes)]), order);
    }
    assert.equal(await page.textContent('#stats-total'),
        `${number(stats.length)} tags, ${number(records.length)} records, ${number(records.reduce((sum, r) => sum + r.size, 0))} data bytes`);
    // The largest by records drawn, then one bar for the rest summed.
    const bars = await page.$$eval('#stats-chart g title', (titles) => titles.map((t) => t.textContent));
    const rest = most('records').slice(bars.length - 1);
    assert.equal(bars.at(-1), `${rest.length} more: ${number(rest.reduce((n, s) => n + s.records, 0))} records, ${number(rest.reduce((n, s) => n + s.bytes, 0))} data bytes`);

    const k = most('records').findIndex((s, i) => i > 1 && i < bars.length - 1 && records.find((r) => r.name === s.name).size >= 16);
    const first = records.find((r) => r.name === most('records')[k].name);
    await page.click(`#stats-chart g:nth-of-type(${k + 1}) rect`);
    assert.match(await page.textContent('#status-position'), new RegExp(` record ${number(first.record)} of`));
    assert.equal(await page.$$eval('#dump .row.marked .in-record', (spans) => spans.length), 32, 'its first line marked');
    await page.selectOption('#stats-order', 'first');
    await page.click('#stats-list .row:nth-child(1)');
    assert.equal(await topLine(page), 0);
});
