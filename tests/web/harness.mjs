// What the web tests and the benchmark share: the page served from build/web on 127.0.0.1,
// Debian's Chromium in a profile of its own, the page's controls, and qefdump's and qefgen's
// answers to compare with. Everything is made in a temporary folder of the test's own.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, basename } from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const { chromium } = require('playwright-core');

export const root = fileURLToPath(new URL('../..', import.meta.url));
const build = join(root, 'build');
export const qefdumpPath = join(build, 'native/cli/qefdump');
const qefgenPath = join(build, 'native/tools/qefgen');
export const MODES = ['multi', 'single', 'offset'];

// A temporary folder, removed by the returned function.
export function tempFolder() {
    const folder = mkdtempSync(join(tmpdir(), 'qefweb-'));
    return { folder, remove: () => rmSync(folder, { recursive: true, force: true }) };
}

export function makeSample(folder, shape, seed, size) {
    const path = join(folder, `${shape}-${seed}-${size}.qef`);
    execFileSync(qefgenPath, ['--shape', shape, '--seed', String(seed), '--size', String(size), '-o', path]);
    return path;
}

// qefdump's output, its exit status and its standard error.
export function qefdump(...args) {
    try {
        return { stdout: execFileSync(qefdumpPath, args, { maxBuffer: 1 << 30, stdio: ['ignore', 'pipe', 'pipe'] }), status: 0, stderr: '' };
    } catch (error) {
        return { stdout: error.stdout, status: error.status, stderr: error.stderr.toString() };
    }
}

// Lines [first, first + count) of qefdump's dump in `mode`, without CR LF, read as it streams
// so that a dump of hundreds of megabytes is never held.
export function dumpLines(file, mode, first, count) {
    return new Promise((resolve, reject) => {
        const child = spawn(qefdumpPath, ['-n', mode, file]);
        const lines = [];
        let rest = '';
        let seen = 0;
        child.stdout.setEncoding('latin1');
        child.stdout.on('data', (chunk) => {
            const parts = (rest + chunk).split('\r\n');
            rest = parts.pop();
            for (const line of parts) {
                if (seen >= first && seen < first + count) lines.push(line);
                seen += 1;
            }
            if (seen >= first + count) child.kill();
        });
        child.on('close', () => resolve(lines));
        child.on('error', reject);
    });
}

// The page in Chromium: { context, page, errors, close }. Console errors and page errors are
// gathered in `errors`, which every test expects empty at its end.
export async function startPage(viewport = { width: 1400, height: 900 }) {
    const temp = tempFolder();
    const server = await serve(join(build, 'web'));
    const context = await chromium.launchPersistentContext(join(temp.folder, 'profile'), {
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync'],
        viewport,
        acceptDownloads: true,
        downloadsPath: join(temp.folder, 'downloads'),
    });
    const page = context.pages()[0] || (await context.newPage());
    const errors = [];
    page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    page.on('pageerror', (error) => errors.push(String(error)));
    await page.goto(server.url);
    await page.waitForSelector('body[data-ready=yes]');
    return {
        context, page, errors, folder: temp.folder, url: server.url,
        close: async () => {
            await context.close();
            server.stop();
            temp.remove();
        },
    };
}

// python3's http.server on a free port of 127.0.0.1, as `make run-web` serves the page.
export function serve(folder) {
    return new Promise((resolve, reject) => {
        const child = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', folder],
            { stdio: ['ignore', 'pipe', 'ignore'] });
        child.stdout.setEncoding('utf8');
        child.stdout.on('data', (text) => {
            const port = /port (\d+)/.exec(text);
            if (port) resolve({ url: `http://127.0.0.1:${port[1]}/`, stop: () => child.kill() });
        });
        child.on('error', reject);
        child.on('exit', (code) => reject(new Error(`http.server ended with ${code}`)));
    });
}

// Opens a file through Open's file chooser, or Compare's, and waits until the page has shown
// it, the comparison or a refusal.
export async function openFile(page, path, button = '#open') {
    const counter = button === '#open' ? 'opened' : 'compared';
    const before = await page.evaluate((name) => Number(document.body.dataset[name] || 0), counter);
    const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click(button)]);
    await chooser.setFiles(path);
    await page.waitForFunction(([name, count]) => Number(document.body.dataset[name]) > count, [counter, before]);
}

// The texts of the rows on screen: the dump's, or any list's.
export function shownRows(page, list = '#dump') {
    return page.evaluate((selector) => {
        const element = document.querySelector(selector);
        const rows = [...element.querySelectorAll('.row')];
        const visible = Math.floor(element.querySelector('.scroller').clientHeight / rows[0].getBoundingClientRect().height);
        return rows.slice(0, visible).map((row) => row.textContent).filter((text) => text !== '');
    }, list);
}

// The first line on screen (from 0), as the status line tells it.
export async function topLine(page) {
    const text = await page.textContent('#status-position');
    return Number(/^(?:Lines|Compare rows) ([\d,]+)/.exec(text)[1].replace(/,/g, '')) - 1;
}

// Picks a numeration, and gives the keys back to the dump.
export async function setMode(page, mode) {
    await page.check(`input[name=numeration][value=${mode}]`);
    await page.focus('#dump');
}

export { basename };
