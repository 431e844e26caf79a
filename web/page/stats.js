// Statistics: records and data bytes per tag, as the core counts them in its worker, which
// keeps the counts: a list of the tags like the dump's (only the rows on screen exist), in the
// order tags first appear or the most records or data bytes first, and a bar chart the page draws
// as SVG (text only through textContent) of the largest tags and the rest summed. A click or
// Enter on a tag, or a click on its bars, goes to its first record. Also the Inspector and
// Statistics buttons, which show and fold the two panels beside the dump (the inspector starts
// folded on a narrow screen).
import * as core from './core.js';
import { VirtualList } from './virtual-list.js';
import { startJob, guarded, nameOf } from './jobs.js';
import { number, plural } from './numbers.js';

const $ = (id) => document.getElementById(id);
const SVG = 'http://www.w3.org/2000/svg';
const BAR = { label: 96, width: 180, height: 9, gap: 6 }; // the chart's sizes, in its own units
const BARS = 8; // the largest tags drawn; the rest are summed in one more bar
const COLUMNS = 60; // of a row of the list

function svg(name, attributes, parent, text) {
    const element = document.createElementNS(SVG, name);
    for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
    if (text !== undefined) element.textContent = text;
    parent.append(element);
    return element;
}

function toggle(button, panel, shown) {
    button.ariaExpanded = `${shown}`;
    panel.hidden = !shown;
}

// `onRecord(record)` goes to record `record` (from 0); `file()` is the shown file, or null.
export function addStats({ onRecord, file }) {
    let counted = null; // the file whose counts the worker holds
    let job = null; // the count going on
    const list = new VirtualList($('stats-list'), { onEnter: (row) => goToRow(row), homeEndRows: true });

    async function goToRow(index) {
        const [row] = await list.source.load(index, 1);
        if (row) onRecord(row.first);
    }

    function draw({ bars, rest }) {
        const chart = $('stats-chart');
        const drawn = rest.tags ? [...bars, { name: `${number(rest.tags)} more`, ...rest, first: -1 }] : bars;
        const most = { records: Math.max(1, ...drawn.map((c) => c.records)), bytes: Math.max(1, ...drawn.map((c) => c.bytes)) };
        const step = 2 * BAR.height + BAR.gap;
        chart.replaceChildren();
        chart.setAttribute('viewBox', `0 0 ${BAR.label + BAR.width + 70} ${drawn.length * step + 20}`);
        drawn.forEach((count, k) => {
            const y = k * step;
            const group = svg('g', {}, chart);
            svg('title', {}, group, `${count.name}: ${plural(count.records, 'record')}, ${plural(count.bytes, 'data byte')}`);
            svg('text', { x: 0, y: y + BAR.height + 3 }, group, count.name);
            for (const [row, key] of [[0, 'records'], [1, 'bytes']]) {
                const width = Math.max(1, (count[key] / most[key]) * BAR.width);
                svg('rect', { class: key, x: BAR.label, y: y + row * BAR.height, width, height: BAR.height - 1 }, group);
                svg('text', { x: BAR.label + width + 4, y: y + row * BAR.height + BAR.height - 1 }, group, number(count[key]));
            }
            if (count.first >= 0) group.addEventListener('click', () => onRecord(count.first));
        });
        const legend = drawn.length * step + 12;
        svg('rect', { class: 'records', x: 0, y: legend - 8, width: 9, height: 9 }, chart);
        svg('text', { x: 13, y: legend }, chart, 'records');
        svg('rect', { class: 'bytes', x: 80, y: legend - 8, width: 9, height: 9 }, chart);
        svg('text', { x: 93, y: legend }, chart, 'data bytes');
    }

    // The list and the chart in the order picked, from the counts the worker holds.
    async function order(totals) {
        const by = $('stats-order').value;
        const fetch = async (first, count) => (await core.tagRows(first, count, by)).map((row) => ({ ...row, kind: 'tag' }));
        list.setSource(core.workerSource({ count: totals.tags, columns: COLUMNS, lineEnd: '\n', fetch, onRows: () => list.render() }));
        draw(await core.tagChart(BARS, by === 'first' ? 'records' : by));
    }

    // Counts the shown file's tags, as a job, unless they are counted already.
    async function show() {
        const shown = file();
        if (!shown || counted === shown || (job && !job.ended)) return;
        let id = 0;
        const mine = (job = startJob(`Counting the tags of ${nameOf(shown)}`, () => core.cancel(id)));
        const totals = await guarded(mine, () => core.countTags({ onStart: (started) => (id = started) }));
        if (mine.cancelled) return;
        if (file() !== shown) return void mine.end(`The tags of ${nameOf(shown)} were not counted: another file was opened.`);
        if (!totals) return void mine.end(`The tags of ${nameOf(shown)} were not counted. ${core.NO_MEMORY}`);
        counted = shown;
        $('stats-total').textContent = `${plural(totals.tags, 'tag')}, ${plural(totals.records, 'record')}, ${plural(totals.bytes, 'data byte')}`;
        await guarded(mine, () => order(totals));
        mine.end('');
        list.totals = totals;
    }

    $('stats-order').addEventListener('change', () => list.totals && order(list.totals));
    $('stats-list').addEventListener('click', (event) => {
        if (list.count) goToRow(list.positionAt(event.clientX, event.clientY).row);
    });
    $('toggle-stats').addEventListener('click', () => {
        const shown = $('stats').hidden;
        toggle($('toggle-stats'), $('stats'), shown);
        if (!shown) return;
        list.measure(); // a list measured while folded had no rows to measure
        list.layout();
        show();
    });
    $('toggle-inspector').addEventListener('click', () => toggle($('toggle-inspector'), $('inspector'), $('inspector').hidden));
    toggle($('toggle-inspector'), $('inspector'), !matchMedia('(max-width: 700px)').matches);

    return {
        // A new file: its counts once the panel is looked at, now if it is shown.
        reset() {
            counted = null;
            list.totals = null;
            list.setSource(null);
            $('stats-chart').replaceChildren();
            $('stats-total').textContent = '';
            if (!$('stats').hidden) show();
        },
    };
}
