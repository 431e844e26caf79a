// Generated sequences of a user's actions (Open of a small, a large, a refused, an unreadable or
// a slow file; Compare, Close compare, Cancel, Escape, Save as text, Find, Go to, Statistics, a
// numeration), from a seeded generator, against a plain model of what the page must show. After
// every step: the shown file is the last one accepted (where it was after one refused or
// unreadable), a comparison shows when the model has one, Compare waits while a file is read,
// every running job is on screen with its Cancel, Save as text saves the whole dump shown and
// says so, Statistics counts what qefdump counts, and no page error. A failing sequence is
// shrunk, step by step, and printed shortest first with its seed.
// SEQUENCES (6) sequences of STEPS (14) steps from SEED (1); `make test-web-sequences` plays
// more, from the day's number, and with LONG_TASK_MS checks too that no task on the page's thread
// took longer (Chromium's long tasks), a goal of speed kept out of the fixed run.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync, copyFileSync } from 'node:fs';
import { basename, join } from 'node:path';
import {
    makeSample, qefdump, dumpLines, startPage, pick, goTo, download, lastEnd, find, counted, counting, refusal, shownRows,
} from './harness.mjs';

const SEQUENCES = Number(process.env.SEQUENCES || 6);
const STEPS = Number(process.env.STEPS || 14);
const SEED = Number(process.env.SEED || 1);
const LONG_TASK_MS = Number(process.env.LONG_TASK_MS || 0);

// A seeded generator of numbers in [0, 1), the same on every machine (a linear congruential one).
function random(seed) {
    let a = seed % 2 ** 31;
    return () => (a = (a * 1103515245 + 12345) % 2 ** 31) / 2 ** 31;
}

const browser = await startPage();
after(() => browser.close());
const { page, folder } = browser;
const FILES = {
    small: makeSample(folder, 'mixed', 1, 20000),
    other: makeSample(folder, 'mixed', 2, 30000),
    large: makeSample(folder, 'mixed', 3, 3000000),
    slow: makeSample(folder, 'mixed', 4, 60000),
};
FILES.refused = join(folder, 'refused.qef');
writeFileSync(FILES.refused, readFileSync(FILES.small).subarray(0, 19990));
const tagCount = Object.fromEntries(Object.entries(FILES).map(([k, path]) => [k, qefdump('--stats', '--json', path).stdout.toString().trim().split('\n').length]));

// Picks a file of FILES, as harness.pick does; a removed one is a copy, taken from the disk. One
// refused or unreadable says why, named when a file is shown, and leaves that one where it was
// (a message above the rows leaves fewer rows).
async function choose(which, model, input = 'open-file') {
    const where = async () => [(await shownRows(page))[0], (await page.textContent('#status-position')).replace(/-[\d,]+ of/, ' of')];
    const [before, path] = [await where(), which === 'removed' ? join(folder, 'removed.qef') : FILES[which]];
    if (which === 'removed') copyFileSync(FILES.small, path);
    const picking = () => pick(page, path, { removed: 'removed', slow: 'slow' }[which], input);
    if (which !== 'refused' && which !== 'removed') return picking();
    await counting(page, input === 'open-file' ? 'opened' : 'compared', picking);
    const why = which === 'removed' ? 'The file could not be read.' : refusal(FILES.refused);
    assert.equal(await page.textContent('#message'), `${model.shown ? `${which}.qef: ` : ''}${why}`);
    assert.deepEqual(await where(), before, 'the shown file, where it was');
}

// The actions: `act(arg, model)` on the page, `next(model, arg)` what the model becomes, `when`
// the action may be picked and `pick(r)` its argument.
const ACTIONS = {
    open: {
        pick: (r) => ['small', 'other', 'large', 'refused', 'removed'][Math.floor(r() * 5)],
        act: (which, model) => choose(which, model),
        // A newer open overtakes a slow one; only an accepted file takes the page.
        next: (model, which) => ({ slow: null, ...(['small', 'other', 'large'].includes(which) && { shown: which, comparing: false }) }),
    },
    openSlow: { act: (_, model) => choose('slow', model), next: () => ({ slow: 'slow' }) },
    release: {
        when: (model) => model.slow,
        act: () => page.evaluate(() => window.release()),
        next: (model) => ({ shown: model.slow, slow: null, comparing: false }),
    },
    cancel: {
        when: (model) => model.slow,
        pick: (r) => r() < 0.5,
        act: async (escape) => {
            if (escape) return page.keyboard.press('Escape');
            await page.focus('#jobs .job button');
            await page.keyboard.press('Enter');
            assert.equal(await page.evaluate(() => document.activeElement.id), 'dump', 'the focus Cancel had goes to the dump');
        },
        next: () => ({ slow: null }),
    },
    compare: {
        when: (model) => model.shown && !model.slow,
        pick: (r) => ['small', 'other', 'refused'][Math.floor(r() * 3)],
        act: (which, model) => choose(which, model, 'compare-file'),
        next: (model, which) => ({ comparing: model.comparing || which !== 'refused' }),
    },
    closeCompare: { when: (model) => model.comparing, act: () => page.click('#close-compare'), next: () => ({ comparing: false }) },
    save: {
        when: (model) => model.shown,
        act: async (_, model) => {
            const saved = await download(page, '#save', 60_000);
            assert.ok(saved.bytes.equals(qefdump('-n', model.mode, FILES[model.shown]).stdout), 'the whole dump shown');
            assert.equal(await lastEnd(page), `Saved the dump of ${basename(FILES[model.shown])}.`);
        },
    },
    find: {
        when: (model) => model.shown,
        pick: (r) => [['text', 'Mod'], ['hex', '4D 6F'], ['tag', 'plug'], ['tag', 'zzzz']][Math.floor(r() * 4)],
        act: ([kind, query]) => find(page, kind, query),
    },
    goTo: { // the line of the file shown, in the dump or in a comparison (a row of it ends with the line)
        when: (model) => model.shown,
        pick: (r) => 1 + Math.floor(r() * 200),
        act: async (line, model) => {
            await goTo(page, 'line', line);
            assert.ok((await page.$eval('#dump .row.marked', (row) => row.textContent)).endsWith(dumpLines(FILES[model.shown], model.mode)[line - 1]));
        },
    },
    stats: { when: (model) => model.shown, act: () => page.click('#toggle-stats'), next: (model) => ({ stats: !model.stats }) },
    mode: {
        pick: (r) => ['multi', 'single', 'offset'][Math.floor(r() * 3)],
        act: (mode) => page.check(`input[name=numeration][value=${mode}]`),
        next: (model, mode) => ({ mode }),
    },
};
const START = { shown: null, slow: null, comparing: false, stats: false, mode: 'multi' };
const step = (model, [action, arg]) => ({ ...model, ...ACTIONS[action].next?.(model, arg) });

function generate(seed) {
    const r = random(seed);
    const steps = [];
    for (let model = START; steps.length < STEPS; model = step(model, steps.at(-1))) {
        const names = Object.keys(ACTIONS).filter((n) => !ACTIONS[n].when || ACTIONS[n].when(model));
        const action = names[Math.floor(r() * names.length)];
        steps.push([action, ACTIONS[action].pick?.(r)]);
    }
    return steps;
}

async function check(model, errors) {
    const file = await page.textContent('#status-file');
    if (model.shown) assert.ok(file.startsWith(`${basename(FILES[model.shown])} ·`), `the file shown is ${model.shown}: ${file}`);
    else assert.ok(/^(No file|refused|removed)/.test(file), `no file shown: ${file}`);
    assert.equal(await page.isVisible('#compare-bar'), model.comparing, 'a comparison shows when there is one');
    const waits = model.shown && model.slow ? 'Compare waits until the file being read is shown.' : '';
    assert.deepEqual([await page.isDisabled('#compare'), await page.getAttribute('#compare', 'title')], [!model.shown || Boolean(waits), waits]);
    await page.waitForTimeout(300); // as jobs.js shows a job
    const jobs = await page.$$eval('#jobs .job', (lines) => lines.map((l) => !l.hidden && Boolean(l.querySelector('button'))));
    assert.deepEqual(jobs, model.slow ? [true] : [], 'every running job shows with its Cancel');
    assert.equal(await counted(page, 'jobs'), jobs.length);
    if (model.stats && model.shown) assert.match(await page.textContent('#stats-total'), new RegExp(`^${tagCount[model.shown].toLocaleString('en-US')} tags`));
    assert.deepEqual(errors.splice(0), [], 'no page error');
    if (LONG_TASK_MS) {
        const longest = await page.evaluate(() => Math.max(0, ...window.longTasks.splice(0)));
        assert.ok(longest <= LONG_TASK_MS, `the longest task on the page's thread took ${longest} ms`);
    }
}

// Plays `steps` on a fresh page: null when every check holds, else the error.
async function play(steps) {
    await page.reload();
    await page.waitForSelector('body[data-ready=yes]');
    await page.evaluate(() => {
        window.longTasks = [];
        new PerformanceObserver((list) => window.longTasks.push(...list.getEntries().map((e) => e.duration))).observe({ type: 'longtask' });
    });
    browser.errors.splice(0);
    let model = START;
    try {
        for (const [action, arg] of steps) {
            if (ACTIONS[action].when && !ACTIONS[action].when(model)) continue; // a shrunk sequence may have lost what it needed
            await ACTIONS[action].act(arg, model);
            model = step(model, [action, arg]);
            await page.waitForFunction((n) => Number(document.body.dataset.jobs || 0) <= n, model.slow ? 1 : 0, { timeout: 60_000 });
            await check(model, browser.errors); // its reads wait until the page is idle
        }
        return null;
    } catch (error) {
        return error;
    }
}

// The shortest sequence that still fails, found by leaving out one step at a time.
async function shrink(steps) {
    for (let k = 0; k < steps.length; ) {
        const shorter = steps.toSpliced(k, 1);
        if (await play(shorter)) steps = shorter;
        else k++;
    }
    return steps;
}

test(`${SEQUENCES} generated sequences of ${STEPS} actions keep the page's invariants (seed ${SEED})`, async () => {
    for (let seed = SEED; seed < SEED + SEQUENCES; seed++) {
        const steps = generate(seed);
        const error = await play(steps);
        if (!error) continue;
        const shortest = await shrink(steps);
        const failure = await play(shortest);
        const shown = shortest.map(([action, arg]) => `${action}${arg === undefined ? '' : ` ${JSON.stringify(arg)}`}`).join('\n  ');
        assert.fail(`seed ${seed} (SEQUENCES=1 SEED=${seed} plays it again), shortest failing sequence:\n  ${shown}\n${failure || error}`);
    }
});
