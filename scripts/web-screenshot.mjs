// web-screenshot.mjs URL FILE PNG [WIDTHxHEIGHT [light|dark [inspector|salvage]]]: the page at
// URL in headless Chromium, FILE opened through its Open button, saved as a picture; a size of a
// phone's is taken as a phone's, with touch. With `inspector`, a byte is picked for the data
// inspector and the statistics are shown; with `salvage`, FILE is a damaged file, shown as what
// survives of it at its first damaged region. Uses the web tests' locked playwright-core.
import { createRequire } from 'node:module';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const require = createRequire(new URL('../tests/web/package.json', import.meta.url));
const { chromium } = require('playwright-core');
const [url, file, picture, size = '1400x860', colorScheme = 'light', scene] = process.argv.slice(2);
const [width, height] = size.split('x').map(Number);
const phone = width < 700;

const profile = mkdtempSync(join(tmpdir(), 'qefweb-shot-'));
const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    // Chromium keeps crash reports and settings under HOME: here, in the profile's folder.
    env: { ...process.env, HOME: profile, XDG_CONFIG_HOME: profile, XDG_CACHE_HOME: profile,
        GSETTINGS_BACKEND: 'memory' },
    headless: true,
    args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width, height },
    colorScheme,
    hasTouch: phone,
    isMobile: phone,
    deviceScaleFactor: phone ? 2 : 1,
});
try {
    const page = context.pages()[0] || (await context.newPage());
    await page.goto(url);
    await page.waitForSelector('body[data-ready=yes]');
    const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#open')]);
    await chooser.setFiles(file);
    await page.waitForSelector('body[data-opened]');
    const answered = () => page.waitForFunction(() => !document.body.hasAttribute('aria-busy'));
    if (scene === 'salvage') {
        await page.click('#salvage');
        await page.waitForSelector('body[data-opened="2"]');
    }
    await answered(); // the rows, from the core's worker
    // A record picked in the list (or the damaged region), its first line marked.
    await page.click(scene === 'salvage' ? '#records .row.kind-damaged' : '#records .row >> nth=6');
    await answered();
    await page.focus('#records');
    if (scene === 'inspector') {
        await page.click('#toggle-stats');
        await page.click('#dump .row >> nth=2', { position: { x: 330, y: 6 } });
        await answered();
    }
    await page.screenshot({ path: picture });
} finally {
    await context.close();
    rmSync(profile, { recursive: true, force: true });
}
