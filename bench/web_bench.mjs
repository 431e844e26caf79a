// The web viewer's benchmark (`make bench-web`): in headless Chromium, for 1 MB of mixed
// records, 32,000,000 bytes of mixed records and 32,000,000 bytes of empty records (the
// longest dump), the time from choosing the file to its first screen drawn, from Ctrl+End to
// the last line drawn, and the memory the page holds then: the core's WebAssembly memory and
// the JavaScript heap. Goals: under 0.5 s to the first screen, under 0.1 s to the last line,
// memory under 3 times the file's size and a fixed 32 MiB. Each time is the median of five.
import { startPage, tempFolder, makeSample } from '../tests/web/harness.mjs';

const FILES = [['1 MB mixed', 'mixed', 1048576], ['32 MB mixed', 'mixed', 32000000],
    ['32 MB empty records', 'empty-records', 32000000]];
const RUNS = 5;
const FIXED = 32 * 1024 * 1024;

// In the page: when `start` (an event on the document, seen first) fires, and when the frame
// after `element` next changes has been drawn.
function stopwatch(page, start, element, attribute) {
    return page.evaluate(([start, element, attribute]) => new Promise((resolve) => {
        let begin = 0;
        const started = () => {
            begin = performance.now();
        };
        document.addEventListener(start, started, { capture: true, once: true });
        setTimeout(() => resolve(NaN), 60000); // a page that never draws misses the goal, not hangs
        const target = document.querySelector(element);
        const watch = new MutationObserver(() => {
            watch.disconnect();
            requestAnimationFrame(() => setTimeout(() => resolve(performance.now() - begin)));
        });
        watch.observe(target, attribute ? { attributes: true, attributeFilter: [attribute] } : { childList: true, characterData: true, subtree: true });
    }), [start, element, attribute]);
}

async function openOnce(page, path) {
    const timed = stopwatch(page, 'change', 'body', 'data-opened');
    const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#open')]);
    await chooser.setFiles(path);
    const opened = await timed;
    const ended = stopwatch(page, 'keydown', '#status-position');
    await page.keyboard.press('Control+End');
    return { opened, ended: await ended };
}

async function memory(page) {
    const session = await page.context().newCDPSession(page);
    await session.send('HeapProfiler.collectGarbage');
    const heap = await session.send('Runtime.getHeapUsage');
    const wasm = await page.evaluate(async () => (await import('./core.js')).memoryBytes());
    return { wasm, heap: heap.usedSize };
}

const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const seconds = (ms) => `${(ms / 1000).toFixed(3)} s`;
const mib = (bytes) => `${(bytes / 1048576).toFixed(1)} MiB`;

const temp = tempFolder();
const browser = await startPage();
let missed = 0;
try {
    console.log('file                  first screen  last line   wasm memory  JS heap    memory / file');
    for (const [label, shape, size] of FILES) {
        const path = makeSample(temp.folder, shape, 1, size);
        const runs = [];
        for (let k = 0; k < RUNS; k++) runs.push(await openOnce(browser.page, path));
        const opened = median(runs.map((run) => run.opened));
        const ended = median(runs.map((run) => run.ended));
        const { wasm, heap } = await memory(browser.page);
        const met = opened < 500 && ended < 100 && wasm + heap < 3 * size + FIXED;
        missed += met ? 0 : 1;
        console.log(`${label.padEnd(22)}${seconds(opened).padEnd(14)}${seconds(ended).padEnd(12)}` +
            `${mib(wasm).padEnd(13)}${mib(heap).padEnd(11)}${((wasm + heap) / size).toFixed(2)}` +
            `${met ? '' : '   GOAL MISSED'}`);
    }
    if (browser.errors.length) throw new Error(`the page reported errors: ${browser.errors.join('; ')}`);
} finally {
    await browser.close();
    temp.remove();
}
process.exit(missed ? 1 : 0);
