// Statistics: records and data bytes per tag, as the core counts them, in a table with a total
// and in a bar chart the page draws as SVG (text only through textContent); a click on a tag's
// row or bars goes to its first record. Also the Inspector and Statistics buttons, which show and
// fold the two panels beside the dump (the inspector starts folded on a narrow screen).
import * as core from './core.js';

const $ = (id) => document.getElementById(id);
const number = (value) => value.toLocaleString('en-US');
const SVG = 'http://www.w3.org/2000/svg';
const BAR = { label: 96, width: 180, height: 9, gap: 6 }; // the chart's sizes, in its own units

function svg(name, attributes, parent, text) {
    const element = document.createElementNS(SVG, name);
    for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
    if (text !== undefined) element.textContent = text;
    parent.append(element);
    return element;
}

function cell(row, text, name = 'td') {
    const element = document.createElement(name);
    if (typeof text === 'string') element.textContent = text;
    else element.append(text);
    row.append(element);
    return element;
}

function toggle(button, panel, shown) {
    button.ariaExpanded = `${shown}`;
    panel.hidden = !shown;
}

// `onRecord(record)` goes to record `record` (from 0).
export function addStats({ onRecord }) {
    let asked = 0;

    function draw(counts) {
        const chart = $('stats-chart');
        const most = { records: Math.max(1, ...counts.map((c) => c.records)), bytes: Math.max(1, ...counts.map((c) => c.bytes)) };
        const step = 2 * BAR.height + BAR.gap;
        chart.replaceChildren();
        chart.setAttribute('viewBox', `0 0 ${BAR.label + BAR.width + 70} ${counts.length * step + 20}`);
        counts.forEach((count, k) => {
            const y = k * step;
            const group = svg('g', {}, chart);
            svg('title', {}, group, `${count.name}: ${number(count.records)} records, ${number(count.bytes)} data bytes`);
            svg('text', { x: 0, y: y + BAR.height + 3 }, group, count.name);
            for (const [row, key] of [[0, 'records'], [1, 'bytes']]) {
                const width = Math.max(1, (count[key] / most[key]) * BAR.width);
                svg('rect', { class: key, x: BAR.label, y: y + row * BAR.height, width, height: BAR.height - 1 }, group);
                svg('text', { x: BAR.label + width + 4, y: y + row * BAR.height + BAR.height - 1 }, group, number(count[key]));
            }
            group.addEventListener('click', () => onRecord(count.first));
        });
        const legend = counts.length * step + 12;
        svg('rect', { class: 'records', x: 0, y: legend - 8, width: 9, height: 9 }, chart);
        svg('text', { x: 13, y: legend }, chart, 'records');
        svg('rect', { class: 'bytes', x: 80, y: legend - 8, width: 9, height: 9 }, chart);
        svg('text', { x: 93, y: legend }, chart, 'data bytes');
    }

    function fill(counts) {
        $('stats-table').tBodies[0].replaceChildren(
            ...counts.map((count) => {
                const row = document.createElement('tr');
                cell(row, count.tag);
                const go = document.createElement('button');
                go.type = 'button';
                go.textContent = count.name;
                go.addEventListener('click', () => onRecord(count.first));
                cell(row, go);
                cell(row, number(count.records));
                cell(row, number(count.bytes));
                return row;
            }),
        );
        const total = $('stats-table').tFoot.rows[0].cells;
        total[1].textContent = number(counts.reduce((sum, c) => sum + c.records, 0));
        total[2].textContent = number(counts.reduce((sum, c) => sum + c.bytes, 0));
        draw(counts);
    }

    async function show() {
        const mine = ++asked;
        const counts = await core.tagStats();
        if (mine !== asked) return;
        if (!counts) {
            $('status-note').textContent = core.NO_MEMORY;
            return;
        }
        fill(counts);
    }

    $('toggle-stats').addEventListener('click', () => {
        const shown = $('stats').hidden;
        toggle($('toggle-stats'), $('stats'), shown);
        if (shown) show();
    });
    $('toggle-inspector').addEventListener('click', () => toggle($('toggle-inspector'), $('inspector'), $('inspector').hidden));
    toggle($('toggle-inspector'), $('inspector'), !matchMedia('(max-width: 700px)').matches);

    return {
        // A new file: its counts, if the panel is shown.
        reset() {
            if (!$('stats').hidden) show();
        },
    };
}
