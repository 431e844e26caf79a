// The page: opening a file, the dump and the record list beside it, numeration, Go to, Find,
// Save as text and the status line. What a file holds comes from the core (core.js), and
// reaches the page only as text.
import * as core from './core.js';
import { VirtualList } from './virtual-list.js';
import { makeSelectable } from './selection.js';
import { saveAsText } from './save.js';
import { Comparison } from './compare.js';
import { addTouch } from './touch.js';
import { addLayout } from './layout.js';
import { listenForDrops } from './drop.js';

const $ = (id) => document.getElementById(id);
const number = (value) => value.toLocaleString('en-US');
const hex = (value) => `0x${value.toString(16).toUpperCase()}`;
const plural = (count, one, many = `${one}s`) => `${number(count)} ${count === 1 ? one : many}`;

const state = {
    file: null, // { name, size } of the file shown
    generation: 0, // counts opens, so that a slower earlier one gives way
    mode: core.MODES.multi,
    lastFind: null, // { query, offset, top }
};

const dump = new VirtualList($('dump'), {
    onMove: () => showPosition(),
    onEnter: (row) => compare.active && compare.onClick(row),
});
const records = new VirtualList($('records'), {
    onEnter: (record) => jump(core.firstLineOfRecord(core.SHOWN, record)),
    homeEndRows: true,
});

// The note is a live region: written only when it says something new.
function note(text) {
    if ($('status-note').textContent !== text) $('status-note').textContent = text;
}

function dumpSource() {
    const rows = (first, count) =>
        core.dumpLines(core.SHOWN, first, count, state.mode).map((text) => ({ text, kind: 'line' }));
    return { count: core.lineCount(core.SHOWN), columns: rows(0, 1)[0].text.length + 1, lineEnd: core.DUMP_LINE_END, rows };
}

function recordSource() {
    const rows = (first, count) => core.recordLines(core.SHOWN, first, count).map((text) => ({ text, kind: 'record' }));
    return { count: core.recordCount(core.SHOWN), columns: rows(0, 1)[0].text.length, lineEnd: '\n', rows };
}

// The status line's position: the lines on screen, and the record and offset of the first.
function showPosition() {
    if (!state.file) return;
    if (compare.active) {
        const last = Math.min(dump.count, dump.top + dump.visibleRows);
        $('status-position').textContent = `Compare rows ${number(dump.top + 1)}-${number(last)} of ${number(dump.count)}`;
        return;
    }
    const lines = core.lineCount(core.SHOWN);
    const top = dump.top;
    const record = core.recordOfLine(core.SHOWN, top);
    const last = Math.min(lines, top + dump.visibleRows);
    $('status-position').textContent = `Lines ${number(top + 1)}-${number(last)} of ${number(lines)} · ` +
        `record ${number(record + 1)} of ${number(core.recordCount(core.SHOWN))} · ` +
        `offset ${hex(core.offsetOfLine(core.SHOWN, top))}`;
    records.marked = record;
    if (record < records.top || record >= records.top + records.visibleRows) records.scrollTo(record);
    else records.render();
}

function showFile(file, accepted, message) {
    state.file = accepted ? { name: file.name, size: file.size } : null;
    state.lastFind = null;
    document.title = accepted ? `${file.name} - QEF Viewer` : 'QEF Viewer';
    $('message').hidden = accepted;
    $('message').textContent = accepted ? '' : message;
    $('welcome').hidden = true;
    $('status-file').textContent = `${file.name} · ${number(file.size)} bytes` +
        (accepted ? ` · ${plural(core.recordCount(core.SHOWN), 'record')}` : '');
    $('status-position').textContent = '';
    for (const element of document.querySelectorAll('.needs-file, .needs-file *')) element.disabled = !accepted;
    compare.close();
    records.setSource(accepted ? recordSource() : null);
    dump.setSource(accepted ? dumpSource() : null);
    if (accepted) dump.element.focus();
    document.body.dataset.opened = state.generation;
}

async function open(file) {
    const generation = ++state.generation;
    note(`Reading ${file.name}...`);
    const result = await core.openFile(core.SHOWN, file, () => generation === state.generation);
    if (!result) return;
    note('');
    showFile(file, result.accepted, result.message);
    return result.accepted;
}

// Puts the dump line first and marks it.
function jump(line) {
    if (compare.active) compare.close();
    dump.jumpTo(line);
    dump.element.focus();
}

function parseNumber(text) {
    const plain = text.trim().replace(/,/g, '');
    if (/^0x[0-9a-f]+$/i.test(plain)) return parseInt(plain.slice(2), 16);
    return /^\d+$/.test(plain) ? Number(plain) : NaN;
}

// Go to: a line or record number (from 1) or a file offset; the line it names comes first.
const GOTO = {
    line: (value) => (value >= 1 && value <= core.lineCount(core.SHOWN) ? value - 1 : -1),
    record: (value) =>
        value >= 1 && value <= core.recordCount(core.SHOWN) ? core.firstLineOfRecord(core.SHOWN, value - 1) : -1,
    offset: (value) => core.lineOfOffset(core.SHOWN, value),
};

function goTo(event) {
    event.preventDefault();
    const kind = $('goto-kind').value;
    const value = parseNumber($('goto-value').value);
    const line = Number.isFinite(value) ? GOTO[kind](value) : -1;
    if (line < 0) {
        note(`No ${kind} "${$('goto-value').value}" in this file.`);
        return;
    }
    note('');
    jump(line);
}

// Find: from the first line on screen, or on from the last match while the view stays there.
function find(event) {
    event.preventDefault();
    if (compare.active) compare.close();
    const query = $('find-text').value;
    const last = state.lastFind;
    const again = last && last.query === query && last.top === dump.top;
    const from = again ? last.offset + 1 : core.offsetOfLine(core.SHOWN, dump.top);
    const found = core.find(core.SHOWN, query, from);
    if (found < 0) {
        note(found === -2 ? 'Find: type a tag name, or bytes in hexadecimal (4D 6F 64).' : `"${query}" is not in this file.`);
        return;
    }
    jump(core.lineOfOffset(core.SHOWN, found));
    state.lastFind = { query, offset: found, top: dump.top };
    note(`"${query}" found at offset ${hex(found)}${found < from ? ', from the start again' : ''}.`);
}

async function save() {
    const generation = state.generation;
    const saved = await saveAsText(state.file.name, state.mode, () => generation === state.generation,
        (percent) => note(`Saving... ${percent}%`));
    note(saved ? `Saved the dump of ${state.file.name}.` : '');
}

function setMode(event) {
    state.mode = core.MODES[event.target.value];
    dump.render(); // the dump's lines or the comparison's, renumbered
}

function compareWith(file) {
    if (state.file) compare.start(file, state.file.name);
}

const compare = new Comparison(dump, {
    mode: () => state.mode,
    note,
    message: (text) => {
        $('message').hidden = !text;
        $('message').textContent = text;
    },
    generation: () => state.generation,
    restore: (top) => dump.setSource(state.file ? dumpSource() : null, top),
});

$('open').addEventListener('click', () => $('open-file').click());
$('open-file').addEventListener('change', (event) => {
    const file = event.target.files[0];
    event.target.value = ''; // the same file again is a new open
    if (file) open(file);
});
$('numeration').addEventListener('change', setMode);
$('goto').addEventListener('submit', goTo);
$('find').addEventListener('submit', find);
$('save').addEventListener('click', save);
$('compare').addEventListener('click', () => $('compare-file').click());
$('compare-file').addEventListener('change', (event) => {
    const file = event.target.files[0];
    event.target.value = '';
    if (file) compareWith(file);
});
makeSelectable(dump, { onNote: note, onClick: (row) => compare.active && compare.onClick(row) });
records.rowsElement.addEventListener('click', (event) => {
    if (records.count) jump(core.firstLineOfRecord(core.SHOWN, records.positionAt(event.clientX, event.clientY).row));
});
listenForDrops({ open, compare: compareWith, canCompare: () => Boolean(state.file),
    compareTargets: [$('compare'), $('compare-bar')] });
addTouch(dump, { onTap: (row) => compare.active && compare.onClick(row) });
addTouch(records);
addLayout({ panes: $('panes'), toggle: $('toggle-records'), splitter: $('splitter'),
    head: document.querySelector('#side .list-head'), list: records });
for (const element of document.querySelectorAll('.needs-file, .needs-file *')) element.disabled = true;
document.body.dataset.ready = 'yes';
