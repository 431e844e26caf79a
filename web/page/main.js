// The page: opening a file, the dump and the record list beside it, numeration, Go to, Find,
// Save as text and the status line. What a file holds comes from the core (core.js, in a
// worker), and reaches the page only as text.
import * as core from './core.js';
import { VirtualList } from './virtual-list.js';
import { makeSelectable } from './selection.js';
import { saveAsText } from './save.js';
import { Comparison } from './compare.js';
import { startJob, guarded, nameOf } from './jobs.js';
import { addTouch } from './touch.js';
import { addLayout } from './layout.js';
import { listenForDrops } from './drop.js';
import { addBytes } from './bytes.js';
import { addStats } from './stats.js';
import { addSalvage } from './salvage.js';
import { number, hex, plural } from './numbers.js';

const $ = (id) => document.getElementById(id);

const state = {
    // { name, size, lines, records, rows, damage, signed, columns, chosen: the File, to open
    // again } of the file shown; `rows` are the record list's, `damage` and `signed` a salvaged
    // file's.
    file: null,
    generation: 0, // counts opens, so that a slower earlier one gives way
    reading: null, // the job reading a file for Open: Compare waits for it
    reopening: false, // while a new core opens the shown file again
    stopped: -Infinity, // when a core last stopped, not by Cancel
    mode: core.MODES.multi,
};

const dump = new VirtualList($('dump'), {
    onMove: () => showPosition(),
    onEnter: (row) => compare.active && compare.onClick(row),
});
const records = new VirtualList($('records'), {
    onEnter: async (row) => jump(await core.firstLineOfRow(core.SHOWN, row)),
    homeEndRows: true,
});

// The note is a live region: written only when it says something new.
function note(text) {
    if ($('status-note').textContent !== text) $('status-note').textContent = text;
}

function message(text) {
    $('message').hidden = !text;
    $('message').textContent = text;
}

// A fault of the viewer itself: said as what it is, with its detail to copy; what the page
// shows stays as it was.
function fault(detail, after = '') {
    const more = document.createElement('details');
    more.append(Object.assign(document.createElement('summary'), { textContent: 'Detail' }),
        Object.assign(document.createElement('pre'), { textContent: detail }));
    message(`Internal error.${after}`);
    $('message').append(' ', more);
}

// The one door of faults: a core call that met one (core.Fault), or any error of the page's own
// that nothing caught. Calls whose core was replaced (core.Replaced) are asked again as needed.
addEventListener('unhandledrejection', (event) => {
    if (event.reason instanceof core.Replaced || event.reason instanceof core.Fault) event.preventDefault();
    if (!(event.reason instanceof core.Replaced)) fault(String(event.reason?.detail || event.reason?.stack || event.reason));
});
addEventListener('error', (event) => fault(String(event.error?.stack || event.message)));

// A salvaged file's lines are marked where they show a damaged region.
function dumpSource() {
    const fetch = async (first, count) => {
        const [lines, { offsets, headers, kinds }] = await Promise.all([core.dumpLines(core.SHOWN, first, count, state.mode), core.dumpOffsets(first, count)]);
        return lines.map((text, k) => ({ text, kind: kinds[k], offset: offsets[k], header: headers[k] }));
    };
    const { lines: count, columns } = state.file;
    return core.workerSource({ count, columns, lineEnd: core.DUMP_LINE_END, fetch, onRows: () => dump.render() });
}

// Its rows: the records and, in a salvaged file, the damaged regions ("   damaged  ...", where a
// record's number stands).
function recordSource(columns) {
    const fetch = async (first, count) =>
        (await core.recordLines(core.SHOWN, first, count)).map((text) => ({ text, kind: /^ *damaged /.test(text) ? 'damaged' : 'record' }));
    return core.workerSource({ count: state.file.rows, columns, lineEnd: '\n', fetch, onRows: () => records.render() });
}

// The status line's position: the lines on screen, and the record and offset of the first.
async function showPosition() {
    if (!state.file) return;
    const top = dump.top;
    const last = Math.min(dump.count, top + dump.visibleRows);
    if (compare.active) {
        $('status-position').textContent = `Compare rows ${number(top + 1)}-${number(last)} of ${number(dump.count)}`;
        return;
    }
    const { file } = state;
    const { record, row, offset } = await core.position(top);
    if (dump.top !== top || compare.active || state.file !== file) return; // another follows
    const where = record < 0 ? 'damaged region' : `record ${number(record + 1)} of ${number(file.records)}`;
    $('status-position').textContent = `Lines ${number(top + 1)}-${number(last)} of ${number(file.lines)} · ${where} · offset ${hex(offset)}`;
    records.marked = row;
    if (row < records.top || row >= records.top + records.visibleRows) records.scrollTo(row);
    else records.render();
}

// Controls that act on the shown file are on while there is one; Compare waits for a read, and
// says so.
function enableControls() {
    for (const element of document.querySelectorAll('.needs-file, .needs-file *')) element.disabled = !state.file;
    $('compare').disabled = !canCompare();
    $('compare').title = state.file && !canCompare() ? 'Compare waits until the file being read is shown.' : '';
}

// The file just taken by the shown slot takes the page.
async function showFile(file, { lines, records: count, rows, damage, signed }) {
    const [[line], [record]] = await Promise.all([core.dumpLines(core.SHOWN, 0, 1, state.mode), core.recordLines(core.SHOWN, 0, 1)]);
    state.file = { name: file.name, size: file.size, lines, records: count, rows, damage, signed, columns: line.length + 1, chosen: file };
    salvage.shown(state.file);
    bytes.reset();
    stats.reset();
    document.title = `${nameOf(file)} - QEF Viewer`;
    message('');
    $('welcome').hidden = true;
    $('status-file').textContent = `${nameOf(file)} · ${plural(file.size, 'byte')} · ${damage || plural(count, 'record')}`;
    $('status-position').textContent = '';
    compare.close();
    records.setSource(recordSource(record.length));
    dump.setSource(dumpSource());
    dump.element.focus();
}

// A refused file with no file shown has the status line name it; else the shown file stays as
// it was, and the message names the refused one. A damaged one is offered to be salvaged.
function refuse(file, refusal, salvageable) {
    salvage.offer(salvageable ? file : null);
    if (state.file) {
        message(`${nameOf(file)}: ${refusal}`);
        return;
    }
    message(refusal);
    $('welcome').hidden = true;
    $('status-file').textContent = `${nameOf(file)} · ${plural(file.size, 'byte')}`;
}

// Reads `file` while the page goes on showing what it shows; body's data-opened counts the
// opens ended, accepted or not. Cancel leaves the page as it was. True once the file is shown.
// With `salvage`, a damaged file is shown as what survives of it.
async function open(file, { salvage: salvaged = false } = {}) {
    const generation = ++state.generation;
    let id = 0;
    const job = startJob(`Reading ${nameOf(file)}`, () => {
        core.cancel(id);
        ended();
    });
    const ended = () => {
        if (state.reading === job) state.reading = null;
        enableControls();
    };
    state.reading = job;
    enableControls();
    try {
        const onStart = (started) => (id = started);
        const result = await guarded(job, () => core.openFile(core.SHOWN, file, { onProgress: job.progress, onStart }, salvaged));
        if (job.cancelled) return false;
        if (generation !== state.generation) {
            if (result.verdict === 'accepted') core.drop(core.SHOWN, id);
            job.end(`${nameOf(file)} was not opened: another file was opened after it.`);
            return false;
        }
        const taken = result.verdict === 'accepted' && (await guarded(job, () => core.take(id)));
        if (taken) await showFile(file, taken);
        else refuse(file, result.message || core.NO_MEMORY, result.salvageable);
        job.end(''); // the file shown, or the message, says what came of it
        document.body.dataset.opened = Number(document.body.dataset.opened || 0) + 1;
        return Boolean(taken);
    } finally {
        ended();
    }
}

// No file shown, as when the page starts.
function closeFile() {
    compare.close();
    state.file = null;
    state.generation++;
    dump.setSource(null);
    records.setSource(null);
    $('welcome').hidden = false;
    $('status-file').textContent = 'No file';
    $('status-position').textContent = '';
    document.title = 'QEF Viewer';
    enableControls();
}

// A new core took the place of one that ended: the shown file is opened again from the File the
// page keeps, the view left where it was, and a comparison shown made again. A core that ends
// again meanwhile is not tried a third time: the file is closed, and the page says why.
async function reopen() {
    const shown = state.file;
    const comparedFile = compare.active ? compare.file : null;
    const generation = state.generation;
    if (!shown) return;
    compare.close();
    state.reopening = true;
    let id = 0;
    const job = startJob(`Opening ${nameOf(shown)} again`, () => core.cancel(id));
    const gone = (why) => {
        if (generation === state.generation) closeFile();
        job.end(`${nameOf(shown)} was closed: ${why}.`);
    };
    try {
        const result = await core.openFile(core.SHOWN, shown.chosen, { onProgress: job.progress, onStart: (started) => (id = started) },
            Boolean(shown.damage));
        if (generation !== state.generation) return void job.end(`${nameOf(shown)} was not opened again: another file was opened.`);
        if (job.cancelled) return void gone('cancelled');
        const taken = result.verdict === 'accepted' && (await core.take(id));
        if (!taken) return void gone(result.message || core.NO_MEMORY);
        job.end('');
        dump.source.forget?.();
        records.source.forget?.();
        dump.render();
        records.render();
        showPosition();
        if (comparedFile) compare.start(comparedFile, nameOf(shown));
    } catch (error) {
        gone(error.reason || 'internal error');
        if (!(error instanceof core.Replaced)) throw error;
    } finally {
        state.reopening = false;
    }
}

// A core that stops again soon after (not by Cancel) would stop again and again on the same
// file: the file is closed instead of opened a third time.
const STOPS_APART_MS = 30_000;
core.whenLost((why, detail) => {
    const now = performance.now();
    const again = why !== 'cancelled' && now - state.stopped < STOPS_APART_MS;
    if (why !== 'cancelled') state.stopped = now;
    if (again && state.file) {
        const closed = ` The viewer stopped again and closed ${nameOf(state.file)}.`;
        closeFile();
        return void (why === 'broken' ? fault(detail, closed) : message(`${core.NO_MEMORY}${closed}`));
    }
    const opens = state.file ? ` The viewer started again and opens ${nameOf(state.file)} again.` : ' The viewer started again.';
    if (why === 'no memory') message(`${core.NO_MEMORY}${opens}`);
    else if (why === 'broken') fault(detail, opens);
    if (!state.reopening) reopen();
});

// Puts the dump line first and marks it, and the byte cursor on `offset`, or the line's first byte.
async function jump(line, offset) {
    if (compare.active) {
        await compare.showLine(line);
    } else {
        dump.jumpTo(line);
        dump.element.focus();
    }
    bytes.place(offset ?? (await core.offsetOfLine(core.SHOWN, line)));
}

function parseNumber(text) {
    const plain = text.trim().replace(/,/g, '');
    if (/^0x[0-9a-f]+$/i.test(plain)) return parseInt(plain.slice(2), 16);
    return /^\d+$/.test(plain) ? Number(plain) : NaN;
}

// Go to: a line or record number (from 1) or a file offset; the line it names comes first.
const GOTO = {
    line: async (value) => (value >= 1 && value <= state.file.lines ? value - 1 : -1),
    record: (value) => (value >= 1 && value <= state.file.records ? core.firstLineOfRecord(core.SHOWN, value - 1) : -1),
    offset: (value) => core.lineOfOffset(core.SHOWN, value),
};

async function goTo(event) {
    event.preventDefault();
    const kind = $('goto-kind').value;
    const text = $('goto-value').value;
    const value = parseNumber(text);
    const line = Number.isFinite(value) ? await GOTO[kind](value) : -1;
    if (line < 0) {
        note(`No ${kind} "${text}" in this file.`);
        return;
    }
    note('');
    jump(line, kind === 'offset' ? value : undefined);
}

function setMode(event) {
    state.mode = core.MODES[event.target.value];
    dump.source.forget?.(); // the dump's lines or the comparison's, renumbered
    dump.render();
}

// Compare waits while a file for Open is read: the comparison would go once it is shown.
const canCompare = () => Boolean(state.file) && !state.reading && !state.reopening;

function compareWith(file) {
    if (canCompare()) compare.start(file, nameOf(state.file));
}

const compare = new Comparison(dump, {
    mode: () => state.mode,
    note,
    message,
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
$('save').addEventListener('click', () => saveAsText(state.file, state.mode));
$('compare').addEventListener('click', () => $('compare-file').click());
$('compare-file').addEventListener('change', (event) => {
    const file = event.target.files[0];
    event.target.value = '';
    if (file) compareWith(file);
});
// A click or a tap on a dump row opens a fold in Compare, else puts the byte cursor on its byte.
const onDumpClick = (row, event) => (compare.active ? compare.onClick(row) : bytes.click(row, event));
makeSelectable(dump, { onNote: note, onClick: onDumpClick });
records.rowsElement.addEventListener('click', async (event) => {
    if (records.count) jump(await core.firstLineOfRow(core.SHOWN, records.positionAt(event.clientX, event.clientY).row));
});
listenForDrops({ open, compare: compareWith, canCompare, compareTargets: [$('compare'), $('compare-bar')], tell: message });
addTouch(dump, { onTap: onDumpClick });
addTouch(records);
addLayout({ panes: $('panes'), toggle: $('toggle-records'), splitter: $('splitter'),
    head: document.querySelector('#side .list-head'), list: records });
const bytes = addBytes(dump, records, {
    file: () => state.file,
    note,
    jump,
    comparing: () => compare.active,
});
const salvage = addSalvage({ open, file: () => state.file });
const stats = addStats({ onRecord: async (record) => jump(await core.firstLineOfRecord(core.SHOWN, record)), file: () => state.file });
enableControls();
document.body.dataset.ready = 'yes';
