// Lighthouse's four scores for the web page as it first opens (`make bench-web`): performance,
// accessibility, best practices and SEO, each from 0 to 1, in Debian's Chromium with a profile
// of its own. The page is served from build/web on 127.0.0.1, as `make run-web` serves it.
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import lighthouse from 'lighthouse';
import * as launcher from 'chrome-launcher';
import { serve } from '../../tests/web/harness.mjs';

const CATEGORIES = ['performance', 'accessibility', 'best-practices', 'seo'];

const build = new URL('../../build/web', import.meta.url).pathname;
const profile = mkdtempSync(join(tmpdir(), 'qefweb-lighthouse-'));
const server = await serve(build);
const chrome = await launcher.launch({
    chromePath: '/usr/bin/chromium',
    userDataDir: profile,
    envVars: { ...process.env, HOME: profile, XDG_CONFIG_HOME: profile, XDG_CACHE_HOME: profile },
    chromeFlags: ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
let low = 0;
try {
    const { lhr } = await lighthouse(server.url, { port: chrome.port, output: 'json', logLevel: 'error',
        onlyCategories: CATEGORIES });
    for (const id of CATEGORIES) {
        const { title, score } = lhr.categories[id];
        low += score < 1 ? 1 : 0;
        console.log(`${title.padEnd(16)}${score.toFixed(2)}`);
        // What cost the points, so that a score below 1 says why.
        for (const ref of lhr.categories[id].auditRefs) {
            const audit = lhr.audits[ref.id];
            if (ref.weight > 0 && audit.score !== null && audit.score < 1) console.log(`    ${audit.title}: ${audit.displayValue || audit.score}`);
        }
    }
} finally {
    await chrome.kill();
    server.stop();
    rmSync(profile, { recursive: true, force: true });
}
process.exit(low ? 1 : 0);
