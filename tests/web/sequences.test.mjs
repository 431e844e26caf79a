// Generated sequences of a user's actions (Open of a small, a large, a refused, an unreadable or
// a slow file; Compare, Close compare, Cancel, Escape, Save as text, Find, Go to, Statistics, a
// numeration), from a seeded generator, against a plain model of what the page must show. After
// every step: the shown file is the last one accepted, a comparison shows when the model has
// one, every running job is on screen with its Cancel, a download is the whole dump of the file
// shown or its job says why there is none, Statistics counts what qefdump counts, and no page
// error. A failing sequence is shrunk, step by step, and printed shortest first with its seed.
// SEQUENCES (6) sequences of STEPS (14) steps from SEED (the date's day); `make
// test-web-sequences` runs more, and with LONG_TASK_MS checks too that no task on the page's
// thread took longer (Chromium's long tasks), a goal of speed kept out of the fixed run.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync, copyFileSync, rmSync } from 'node:fs';
import { join } from 'node:path';
import { makeSample, qefdump, startPage, idle } from './harness.mjs';

const SEQUENCES = Number(process.env.SEQUENCES || 6);
const STEPS = Number(process.env.STEPS || 14);
const SEED = Number(process.env.SEED || Math.floor(Date.now() / 86_400_000));
const LONG_TASK_MS = Number(process.env.LONG_TASK_MS || 0);
const SHOW_AFTER_MS = 300; // as jobs.js shows a job

// mulberry32: small, seeded, the same numbers on every machine.
function random(seed) {
    let a = seed >>> 0;
    return () => {
        a = (a + 0x6d2b79f5) >>> 0;
        let t = Math.imul(a ^ (a >>> 15), 1 | a);
        t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
        return ((t ^ (t >>> 14)) >>> 0) / 2 ** 32;
    };
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
const name = (path) => path.split('/').at(-1);
const tagCount = Object.fromEntries(Object.entries(FILES).map(([k, path]) =>
    [k, qefdump('--stats', '--json', path).stdout.toString().trim().split('\n').filter(Boolean).length]));

// Picks `path` with the input `input` as its chooser would; 'removed' takes it from the disk
// first (the read fails), 'slow' holds its bytes until window.release().
async function choose(path, input, how = 'plain') {
    let chosen = path;
    if (how === 'removed') copyFileSync(path, (chosen = join(folder, `removed-${name(path)}`)));
    await page.setInputFiles('#sequence-file', chosen);
    if (how === 'removed') rmSync(chosen);
    await page.evaluate(([how, input]) => {
        const target = Object.assign(document.getElementById(input), { files: document.getElementById('sequence-file').files });
        if (how === 'slow') {
            const held = new Promise((resolve) => (window.release = resolve));
            const post = Worker.prototype.postMessage;
            Worker.prototype.postMessage = function (message, transfer) {
                if (message.call !== 'open') return post.call(this, message, transfer);
                Worker.prototype.postMessage = post;
                const file = message.args[1];
                message.args[1] = new ReadableStream({
                    async start(controller) {
                        await held;
                        const reader = file.stream().getReader();
                        for (let read = await reader.read(); !read.done; read = await reader.read()) controller.enqueue(read.value);
                        controller.close();
                    },
                });
                return post.call(this, message, [message.args[1]]);
            };
        }
        target.dispatchEvent(new Event('change'));
    }, [how, input]);
}

const running = () => page.evaluate(() => Number(document.body.dataset.jobs || 0));
// Until the jobs the model expects still to run are the only ones, and the page has its answers.
async function settle(model) {
    await page.waitForFunction((n) => Number(document.body.dataset.jobs || 0) <= n, model.slow ? 1 : 0, { timeout: 60_000 });
    await idle(page);
}

// The actions: each acts on the page and on the model, `when(model)` it may be picked.
const ACTIONS = {
    open: {
        pick: (r) => ['small', 'other', 'large', 'refused', 'removed'][Math.floor(r() * 5)],
        run: async (model, which) => {
            await choose(FILES[which === 'removed' ? 'small' : which], 'open-file', which === 'removed' ? 'removed' : 'plain');
            model.slow = null; // a newer open overtakes a slow one
            if (which !== 'refused' && which !== 'removed') Object.assign(model, { shown: which, comparing: false, statsFor: null });
        },
    },
    openSlow: {
        run: async (model) => {
            await choose(FILES.slow, 'open-file', 'slow');
            model.slow = 'slow';
        },
    },
    release: {
        when: (model) => model.slow,
        run: async (model) => {
            await page.evaluate(() => window.release());
            Object.assign(model, { shown: model.slow, slow: null, comparing: false, statsFor: null });
        },
    },
    cancel: {
        when: (model) => model.slow,
        run: async (model, escape) => {
            if (escape) await page.keyboard.press('Escape');
            else await page.click('#jobs .job button');
            model.slow = null;
        },
        pick: (r) => r() < 0.5,
    },
    compare: {
        when: (model) => model.shown && !model.slow,
        pick: (r) => ['small', 'other', 'refused'][Math.floor(r() * 3)],
        run: async (model, which) => {
            await choose(FILES[which], 'compare-file');
            if (which !== 'refused') model.comparing = true;
        },
    },
    closeCompare: {
        when: (model) => model.comparing,
        run: async (model) => {
            await page.click('#close-compare');
            model.comparing = false;
        },
    },
    save: {
        when: (model) => model.shown,
        run: async (model) => {
            const [download] = await Promise.all([page.waitForEvent('download', { timeout: 60_000 }), page.click('#save')]);
            const expected = qefdump('-n', model.mode, FILES[model.shown]).stdout;
            assert.ok(readFileSync(await download.path()).equals(expected), 'the download is the whole dump of the file shown');
        },
    },
    find: {
        when: (model) => model.shown,
        pick: (r) => [['text', 'Mod'], ['hex', '4D 6F'], ['tag', 'plug'], ['tag', 'zzzz']][Math.floor(r() * 4)],
        run: async (model, [kind, query]) => {
            await page.selectOption('#find-kind', kind);
            await page.fill('#find-text', query);
            await page.press('#find-text', 'Enter');
        },
    },
    goTo: {
        when: (model) => model.shown,
        pick: (r) => 1 + Math.floor(r() * 200),
        run: async (model, line) => {
            await page.selectOption('#goto-kind', 'line');
            await page.fill('#goto-value', `${line}`);
            await page.click('#goto button');
        },
    },
    stats: {
        when: (model) => model.shown,
        run: async (model) => {
            await page.click('#toggle-stats');
            model.stats = !model.stats;
        },
    },
    mode: {
        pick: (r) => ['multi', 'single', 'offset'][Math.floor(r() * 3)],
        run: async (model, mode) => {
            await page.check(`input[name=numeration][value=${mode}]`);
            model.mode = mode;
        },
    },
};

function generate(seed) {
    const r = random(seed);
    const model = { shown: null, slow: null, comparing: false, stats: false, mode: 'multi' };
    const steps = [];
    // The picks depend on the model only through `when`, so a model of the steps is kept here too.
    for (let k = 0; k < STEPS; k++) {
        const names = Object.keys(ACTIONS).filter((n) => !ACTIONS[n].when || ACTIONS[n].when(model));
        const action = names[Math.floor(r() * names.length)];
        const arg = ACTIONS[action].pick?.(r);
        steps.push([action, arg]);
        plan(model, action, arg);
    }
    return steps;
}

// What a step does to the model, without the page: for generating only.
function plan(model, action, arg) {
    if (action === 'open' && arg !== 'refused' && arg !== 'removed') Object.assign(model, { shown: arg, comparing: false, slow: null });
    else if (action === 'open') model.slow = null;
    else if (action === 'openSlow') model.slow = 'slow';
    else if (action === 'release') Object.assign(model, { shown: model.slow, slow: null, comparing: false });
    else if (action === 'cancel') model.slow = null;
    else if (action === 'compare' && arg !== 'refused') model.comparing = true;
    else if (action === 'closeCompare') model.comparing = false;
    else if (action === 'stats') model.stats = !model.stats;
}

async function check(model, errors) {
    const file = await page.textContent('#status-file');
    if (model.shown) assert.ok(file.startsWith(`${name(FILES[model.shown])} ·`), `the file shown is ${model.shown}: ${file}`);
    else assert.ok(/^No file|refused|removed/.test(file), `no file shown: ${file}`);
    assert.equal(await page.isVisible('#compare-bar'), model.comparing, 'a comparison shows when there is one');
    await page.waitForTimeout(SHOW_AFTER_MS);
    const jobs = await page.$$eval('#jobs .job', (lines) => lines.map((l) => !l.hidden && Boolean(l.querySelector('button'))));
    assert.deepEqual(jobs, model.slow ? [true] : [], 'every running job shows with its Cancel');
    assert.equal(await running(), jobs.length);
    if (model.stats && model.shown) {
        assert.match(await page.textContent('#stats-total'), new RegExp(`^${tagCount[model.shown].toLocaleString('en-US')} tags`));
    }
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
        document.body.append(Object.assign(document.createElement('input'), { type: 'file', id: 'sequence-file' }));
        window.longTasks = [];
        new PerformanceObserver((list) => window.longTasks.push(...list.getEntries().map((e) => e.duration))).observe({ type: 'longtask' });
    });
    browser.errors.splice(0);
    const model = { shown: null, slow: null, comparing: false, stats: false, mode: 'multi' };
    try {
        for (const [action, arg] of steps) {
            const { when, run } = ACTIONS[action];
            if (when && !when(model)) continue; // a shrunk sequence may have lost what it needed
            await run(model, arg);
            await settle(model);
            await check(model, browser.errors);
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
    for (let n = 0; n < SEQUENCES; n++) {
        const seed = SEED + n;
        const steps = generate(seed);
        const error = await play(steps);
        if (!error) continue;
        const shortest = await shrink(steps);
        const failure = await play(shortest);
        const shown = shortest.map(([action, arg]) => `${action}${arg === undefined ? '' : ` ${JSON.stringify(arg)}`}`).join('\n  ');
        assert.fail(`seed ${seed} (SEQUENCES=1 SEED=${seed} plays it again), shortest failing sequence:\n  ${shown}\n${failure || error}`);
    }
});
