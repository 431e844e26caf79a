// The page for everyone: the keyboard alone from Open through both lists and a comparison,
// with axe-core finding nothing there and in dark mode; files dropped on the page; a phone's
// swipe; and qefview.html, opened from disk, showing what the served page shows.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { basename } from 'node:path';
import { createRequire } from 'node:module';
import {
    makeSample, dumpLines, sharedPage, startPage, openFile, shownRows, expectScreen, topLine, rowCount, idle, copied, counting,
} from './harness.mjs';

const axe = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
const browser = sharedPage();
// B: A with records added at its end, so that the comparison starts with a fold.
const [a, b] = [40000, 44000].map((size) => makeSample(browser.folder, 'mixed', 3, size));
const press = async (page, ...keys) => {
    for (const key of keys) {
        await page.keyboard.press(key);
        await idle(page); // what the key asked of the core's worker has come back
    }
    return page.evaluate(() => document.activeElement.id);
};
// A job's line, its progress bar and Cancel, and the line of one ended, are checked too.
async function expectNoViolations(page, state) {
    await page.evaluate(axe);
    const violations = await page.evaluate(async () => {
        const { startJob } = await import('./jobs.js');
        startJob('Ended').end('Ended.');
        const job = startJob('Reading a file');
        document.querySelector('#jobs .job').hidden = false;
        const found = (await axe.run()).violations.map((v) => v.id);
        job.end('');
        document.querySelector('#jobs .job-end').remove();
        return found;
    });
    assert.deepEqual(violations, [], state);
}

browser.test('the keyboard alone opens, walks both lists and a comparison; axe finds nothing there', async ({ page }) => {
    assert.equal(await press(page, 'Tab'), 'open');
    const chooser = page.waitForEvent('filechooser');
    await page.waitForTimeout(200); // until Playwright watches for the chooser
    await page.keyboard.press('Enter');
    await (await chooser).setFiles(a);
    await page.waitForSelector('body[data-opened]');
    await page.click('#toggle-stats'); // with the statistics and the inspector at a byte
    await page.click('#dump .row:nth-child(2)', { position: { x: 300, y: 5 } });
    await expectNoViolations(page, 'a file shown');
    assert.deepEqual([await press(page, 'Shift+Tab'), await press(page, 'Shift+Tab')], ['splitter', 'records'], 'a tab stop a list');
    await press(page, 'ArrowDown', 'ArrowDown', 'ArrowDown', 'Enter'); // record 4's first line
    assert.equal(await press(page, 'Shift+ArrowDown', 'Shift+ArrowDown'), 'dump');
    const lines = dumpLines(a);
    const first = lines.findIndex((line) => line.startsWith('00000004:'));
    assert.equal(await copied(page), lines.slice(first, first + 3).join('\r\n'), 'Shift+arrows select lines');

    await openFile(page, b, '#compare');
    await expectNoViolations(page, 'a comparison shown');
    await press(page, 'Control+Home');
    const [rows, count] = [await shownRows(page), await rowCount(page)];
    await page.$eval('#change-detail', (detail) => (detail.textContent = ''));
    await press(page, ...Array(rows.findIndex((row) => row[0] === '-')).fill('ArrowDown'), 'Enter');
    assert.match(await page.textContent('#change-detail'), /\w/, 'Enter on a change tells what changed');
    assert.equal(rows[0][0], '=');
    await press(page, 'Control+Home', 'Enter');
    assert.ok((await rowCount(page)) > count, 'Enter opens a fold');
    await page.emulateMedia({ colorScheme: 'dark' });
    await expectNoViolations(page, 'dark');
});

// Drags the files at `paths` onto the page's element `target` and drops them there (or, with
// `type`, only drags them in).
const drop = (page, target, paths, type = 'drop') => page.evaluate(([target, files, type]) => {
    const data = new DataTransfer();
    for (const [name, bytes] of files) data.items.add(new File([new Uint8Array(bytes)], name));
    document.querySelector(target).dispatchEvent(new DragEvent(type, { dataTransfer: data, bubbles: true }));
}, [target, paths.map((path) => [basename(path), [...readFileSync(path)]]), type]);

browser.test('two files dropped are compared, the first as A; one on Compare with the file shown; three are refused; one opens, as from disk', async ({ page }) => {
    for (const [target, files, summary] of [['#dump', [b, a], `${basename(b)} / ${basename(a)}: `],
        ['#compare', [b], `${basename(b)} / ${basename(b)}: The records are equal.`]]) {
        await counting(page, 'compared', () => drop(page, target, files));
        assert.ok((await page.textContent('#compare-summary')).startsWith(summary), summary);
    }
    const shown = await page.textContent('#compare-summary');
    await drop(page, '#dump', [a, b, a]);
    assert.equal(await page.textContent('#message'), '3 files were dropped: drop one to open it, or two to compare them.');
    assert.equal(await page.textContent('#compare-summary'), shown, 'the comparison stays');
    // One dropped on the dump opens as one chosen with Open, and clears the message.
    await drop(page, '#dump', [a], 'dragenter');
    assert.ok(await page.$eval('body', (body) => body.classList.contains('dragging')), 'the page shows where to drop');
    await counting(page, 'opened', () => drop(page, '#dump', [a]));
    assert.deepEqual([await expectScreen(page, dumpLines(a), 'the file dropped'), await page.isHidden('#message')], [0, true]);
    // qefview.html, opened from disk, shows it as the served page does.
    await page.goto(new URL('../../build/web/qefview.html', import.meta.url).href);
    await page.waitForSelector('body[data-ready=yes]');
    await openFile(page, a);
    assert.equal(await expectScreen(page, dumpLines(a), 'from disk'), 0);
});

browser.test('on a phone, Open stays on screen, the dump is 300 px wide or more, and a swipe scrolls it on', async () => {
    const { page, close, errors } = await startPage({ width: 390, height: 844 }, { device: { hasTouch: true, isMobile: true } });
    await openFile(page, a);
    const box = await page.$eval('#open', (open) => open.getBoundingClientRect().right);
    const sizes = await page.evaluate(() => [document.getElementById('dump').clientWidth, document.scrollingElement.scrollWidth]);
    assert.ok(box <= 390 && sizes[0] >= 300 && sizes[1] <= 390, `Open ends at ${box}, dump and page widths ${sizes}`);
    const cdp = await page.context().newCDPSession(page);
    const touch = (type, y) => cdp.send('Input.dispatchTouchEvent', { type, touchPoints: y ? [{ x: 200, y }] : [] });
    await touch('touchStart', 700);
    for (let y = 680; y >= 400; y -= 40) await touch('touchMove', y);
    await touch('touchEnd');
    const swiped = await topLine(page);
    await page.waitForTimeout(300);
    assert.ok(swiped > 10 && (await topLine(page)) > swiped, `a swipe to line ${swiped}, and on`);
    assert.deepEqual(errors, []);
    await close();
});
