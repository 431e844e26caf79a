// What the web tests and the benchmark share: the page served from build/web on 127.0.0.1,
// Debian's Chromium in a profile of its own, the page's controls, and qefdump's and qefgen's
// answers to compare with. Everything is made in a temporary folder of the test's own.
import { spawn, spawnSync, execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { test, before, after, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const { chromium } = createRequire(import.meta.url)('playwright-core');
const build = fileURLToPath(new URL('../../build', import.meta.url));
export const qefdumpPath = join(build, 'native/cli/qefdump');

export function tempFolder() {
    const folder = mkdtempSync(join(tmpdir(), 'qefweb-'));
    return { folder, remove: () => rmSync(folder, { recursive: true, force: true }) };
}

export function makeSample(folder, shape, seed, size) {
    const path = join(folder, `${shape}-${seed}-${size}.qef`);
    execFileSync(join(build, 'native/tools/qefgen'), ['--shape', shape, '--seed', `${seed}`, '--size', `${size}`, '-o', path]);
    return path;
}

export const qefdump = (...args) => spawnSync(qefdumpPath, args, { maxBuffer: 1 << 30 });
export const dumpLines = (path, mode = 'multi') => qefdump('-n', mode, path).stdout.toString('latin1').split('\r\n').slice(0, -1);
export const recordsOf = (path) => qefdump('--records', '--json', path).stdout.toString().trim().split('\n').map((l) => JSON.parse(l));

// python3's http.server on a free port of 127.0.0.1, as `make run-web` serves the page.
export function serve(folder) {
    return new Promise((resolve, reject) => {
        const child = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', folder],
            { stdio: ['ignore', 'pipe', 'ignore'] });
        child.stdout.on('data', (text) => {
            const port = /port (\d+)/.exec(text);
            if (port) resolve({ url: `http://127.0.0.1:${port[1]}/`, stop: () => child.kill() });
        });
        child.on('exit', (code) => reject(new Error(`http.server ended with ${code}`)));
    });
}

// The page in Chromium: { page, errors, folder, close }. Console and page errors gather in
// `errors`, which every test expects empty at its end. `device` adds to the context's options
// (touch, a phone's screen); `flags` go to Chromium beside the harness's own.
export async function startPage(viewport = { width: 1400, height: 900 }, { device = {}, flags = [] } = {}) {
    const temp = tempFolder();
    const server = await serve(join(build, 'web'));
    const context = await chromium.launchPersistentContext(join(temp.folder, 'profile'), {
        executablePath: '/usr/bin/chromium',
        // Chromium keeps crash reports and settings under HOME: here, in the folder of its own.
        env: { ...process.env, HOME: temp.folder, XDG_CONFIG_HOME: temp.folder, XDG_CACHE_HOME: temp.folder,
            GSETTINGS_BACKEND: 'memory' },
        headless: true,
        // A page behind another keeps its timers as they are: a job shows its bar 300 ms after it
        // starts, and a throttled page waited a minute for that.
        args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync',
            '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
            '--disable-backgrounding-occluded-windows', ...flags],
        viewport,
        ...device,
        downloadsPath: join(temp.folder, 'downloads'),
    });
    const page = context.pages()[0];
    // The page answers from its core's worker: what it shows is read once it has the answers.
    for (const read of ['textContent', '$eval', '$$eval', 'isDisabled', 'isEnabled', 'isHidden']) {
        const original = page[read].bind(page);
        page[read] = async (...args) => (await idle(page), original(...args));
    }
    const errors = [];
    page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    page.on('pageerror', (error) => errors.push(String(error)));
    await page.goto(server.url);
    await page.waitForSelector('body[data-ready=yes]');
    return { page, errors, folder: temp.folder, close: () => context.close().finally(() => (server.stop(), temp.remove())) };
}

// Waits until the page has the core's answers it asked for.
export const idle = (page) => page.waitForFunction(() => !document.body.hasAttribute('aria-busy'));

// One page for the tests of a file, filled in before the first and closed after the last, and
// a folder for their files, there at once. Each test must leave no console or page error behind;
// `test(name, body)` runs body({ page, folder, errors }) with them.
export function sharedPage(viewport) {
    const temp = tempFolder();
    const shared = { folder: temp.folder, test: (name, body) => test(name, () => body(shared)) };
    before(async () => Object.assign(shared, await startPage(viewport), { folder: temp.folder }));
    afterEach(() => assert.deepEqual(shared.errors.splice(0), [], 'console and page errors'));
    after(() => shared.close().finally(temp.remove));
    return shared;
}

// What the page counts on its body: files opened, comparisons ended, jobs running.
export const counted = (page, name) => page.evaluate((name) => Number(document.body.dataset[name] || 0), name);
// Runs `act`, then waits until the page's count `name` has passed what it was before.
export async function counting(page, name, act) {
    const before = await counted(page, name);
    await act();
    await page.waitForFunction(([name, count]) => Number(document.body.dataset[name] || 0) > count, [name, before]);
}

// Opens a file through Open's file chooser, or Compare's, and waits until the page has shown
// it, the comparison or a refusal.
export const openFile = (page, path, button = '#open') => counting(page, button === '#open' ? 'opened' : 'compared', async () => {
    const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click(button)]);
    await chooser.setFiles(path);
});

// The file a click on `selector` downloads: { bytes, name }.
export async function download(page, selector, timeout = 30_000) {
    const [file] = await Promise.all([page.waitForEvent('download', { timeout }), page.click(selector)]);
    return { bytes: readFileSync(await file.path()), name: file.suggestedFilename() };
}

export const lastEnd = (page) => page.$$eval('#jobs .job-end', (ends) => ends.at(-1)?.textContent);

// Finds `text` of `kind` (text, hex, tag) from the Find box.
export async function find(page, kind, text) {
    await page.selectOption('#find-kind', kind);
    await page.fill('#find-text', text);
    await page.press('#find-text', 'Enter');
}

// What the page copies with Ctrl+C, once the selection's rows are in.
export async function copied(page) {
    await page.evaluate(() => void (window.copying = new Promise((resolve) => {
        window.addEventListener('copy', (event) => resolve(event.clipboardData.getData('text/plain')), { once: true });
        setTimeout(() => resolve(null), 10_000); // nothing was copied
    })));
    await idle(page);
    await page.keyboard.press('Control+C');
    return page.evaluate(() => window.copying);
}

export const number = (value) => value.toLocaleString('en-US');
export const hex = (value) => `0x${value.toString(16).toUpperCase()}`;
// qefdump's refusal or salvage summary of the file `args` ends with, without its name.
export const refusal = (...args) => qefdump(...args).stderr.toString().slice(`qefdump: ${args.at(-1)}: `.length).trimEnd();

// The texts of the whole rows on screen, of the dump or of another list.
export function shownRows(page, list = '#dump') {
    return page.$eval(list, (element) => {
        const rows = [...element.querySelectorAll('.row')];
        const whole = Math.floor(element.querySelector('.scroller').clientHeight / rows[0].getBoundingClientRect().height);
        return rows.slice(0, whole).map((row) => row.textContent).filter((text) => text !== '');
    });
}

// The rows on screen are the `lines` from the one the status line names; that line is returned.
export async function expectScreen(page, lines, what) {
    const [rows, top] = [await shownRows(page), await topLine(page)];
    assert.ok(rows.length > 10, `${what}: a screenful of rows`);
    assert.deepEqual(rows, typeof lines === 'function' ? lines(top, rows.length) : lines.slice(top, top + rows.length), what);
    return top;
}

// The first line on screen (from 0), and the count of lines or rows, as the status line tells them.
const statusNumber = async (page, pattern) => Number(pattern.exec(await page.textContent('#status-position'))[1].replace(/,/g, ''));
export const topLine = async (page) => (await statusNumber(page, /^(?:Lines|Compare rows) ([\d,]+)/)) - 1;
export const rowCount = (page) => statusNumber(page, /of ([\d,]+)/);

// Picks a numeration, and gives the keys back to the dump.
export async function setMode(page, mode) {
    await page.check(`input[name=numeration][value=${mode}]`);
    await page.focus('#dump');
}

// Picks the file at `path` with the page's input `input` as its chooser would. `how`: 'removed'
// takes it from the disk first (its read fails); 'slow' gives the core's worker, in its place,
// the file's bytes once the page calls release().
export async function pick(page, path, how = 'plain', input = 'open-file') {
    await page.evaluate(() => document.getElementById('picked') ||
        document.body.append(Object.assign(document.createElement('input'), { type: 'file', id: 'picked' })));
    await page.setInputFiles('#picked', path);
    if (how === 'removed') rmSync(path);
    await page.evaluate(([how, input]) => {
        const chosen = Object.assign(document.getElementById(input), { files: document.getElementById('picked').files });
        const post = Worker.prototype.postMessage;
        if (how === 'slow') Worker.prototype.postMessage = function (message, transfer) {
            if (message.call !== 'open') return post.call(this, message, transfer);
            Worker.prototype.postMessage = post;
            const file = message.args[1];
            const released = new Promise((resolve) => (window.release = resolve));
            message.args[1] = new ReadableStream({ start: async (c) => (await released, c.enqueue(new Uint8Array(await file.arrayBuffer())), c.close()) });
            return post.call(this, message, [message.args[1]]);
        };
        chosen.dispatchEvent(new Event('change'));
    }, [how, input]);
}

export async function goTo(page, kind, value) {
    await page.selectOption('#goto-kind', kind);
    await page.fill('#goto-value', `${value}`);
    await page.click('#goto button');
}
