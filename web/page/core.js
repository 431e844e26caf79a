// The page's side of the binding to the WebAssembly core, which runs in a worker (worker.js) so
// that the page's thread never waits on it. Every decision about a file's bytes (the check, the
// record chain, the dump's lines, the record list, a search, the diff) is the core's; this
// module hands the worker the page's calls and gives back its answers, as promises.
let worker = null;
let lastId = 0;
const waiting = new Map(); // id -> { resolve, reject, onProgress, quick }
let quick = 0; // calls in flight that the page waits on at once
let busy = 0; // the long call whose work is inside the core now: its worker hears no message
let onLost = () => {};

// A fault in the viewer itself (a bug, not the file): what a call that met one rejects with,
// its `detail` for the reader to copy.
export class Fault extends Error {
    constructor(detail) {
        super('Internal error');
        this.detail = detail;
        this.reason = 'internal error';
    }
}
// What the calls in flight reject with when their worker is replaced: their answer is gone,
// and the page, told through whenLost, asks again what it still needs.
export class Replaced extends Error {
    reason = 'the viewer started again';
}

// The body is aria-busy while the page waits for rows, a position or a search.
function track(step) {
    quick = Math.max(0, quick + step); // a lost worker's calls were counted off at once
    document.body.toggleAttribute('aria-busy', quick > 0);
}

let told = null; // resolves to the constants the first worker tells once its core is loaded
const tell = new Promise((resolve, reject) => (told = { resolve, reject }));

function receive({ data }) {
    if (data.constants || data.unloaded) {
        if (told && data.constants) told.resolve(data.constants);
        else if (told) told.reject(new Error(data.unloaded));
        return;
    }
    if (data.broken !== undefined) {
        replace('broken', data.broken);
        return;
    }
    if (data.busy !== undefined) {
        busy = data.busy ? data.id : 0;
        return;
    }
    const call = waiting.get(data.id);
    if (!call) return;
    if (data.progress !== undefined) {
        call.onProgress(data.progress);
        return;
    }
    waiting.delete(data.id);
    if (busy === data.id) busy = 0;
    if (call.quick) setTimeout(() => track(-1)); // once the caller's awaits have asked for what comes next
    if (data.failure === undefined) call.resolve(data.result);
    else if (data.failure.kind === 'fault') call.reject(new Fault(data.failure.detail)); // the core is as it was
    else replace(data.failure.kind, data.failure.detail, call);
}

// A new worker, and core, takes the place of the one there: the calls in flight are settled as
// Replaced (`failed`, the one whose failure ended the core, as a Fault), and the page is told
// why ('cancelled', 'no memory' or 'broken') to open its file again.
function replace(why, detail = '', failed = null) {
    worker.terminate();
    busy = 0;
    const calls = [...waiting.values()];
    waiting.clear();
    track(-quick);
    start();
    if (failed) failed.reject(new Fault(detail));
    for (const call of calls) call.reject(new Replaced());
    onLost(why, detail);
}

function start() {
    worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
    worker.onmessage = receive;
    worker.onerror = (event) => {
        event.preventDefault();
        if (told) told.reject(new Error(event.message)); // no core at all: the page cannot start
        else replace('broken', event.message);
    };
}
start();

// What the page must agree on with the core, as the core tells it (through its worker).
const constants = await tell;
told = null;
export const SHOWN = constants.slots.shown;
export const COMPARED = constants.slots.compared;
export const MODES = constants.modes;
// The dump's line end, as the core writes it and qefdump saves it.
export const DUMP_LINE_END = constants.dumpLineEnd;
// The kind of a comparison's row by its first character, and the columns of the widest row.
export const ROW_KINDS = constants.rowKinds;
export const DIFF_COLUMNS = constants.diffColumns;
// The viewer's text for memory that ran out.
export const NO_MEMORY = constants.noMemory;
// Where a dump line shows its bytes: { recordHeader, hexColumns, charColumns, headerFields },
// the columns of each of its bytes, and of a record's first line's two fields that show the
// header's bytes (the tag's four, then the size's), { from, to }.
export const LINE = constants.line;
// What a search looks for, { kinds, flags }, and what it answers when it finds nothing:
// results { none, badQuery, noMemory }.
export const SEARCH = constants.search;

// `callback(why, detail)` once a new core has taken the place of one that ended: why is
// 'cancelled', 'no memory' or 'broken'.
export function whenLost(callback) {
    onLost = callback;
}

// Sends a call; `long` ones (reading, comparing, saving, counting, searching) report progress
// and may be cancelled with the id they are given through `onStart`. The page waits on all but
// reading, comparing and saving (`waits`), which go on while it is used.
function call(name, args, { long = false, waits = !long, transfer = [], onProgress = () => {}, onStart = () => {} } = {}) {
    const id = ++lastId;
    const promise = new Promise((resolve, reject) => waiting.set(id, { resolve, reject, onProgress, quick: waits }));
    if (waits) track(1);
    worker.postMessage({ id, call: name, args }, transfer);
    onStart(id);
    return promise;
}

// Ends the long call `id` within a moment: a worker inside the core for it cannot hear a
// message until the core returns, which may take seconds, so it is replaced (and the page
// opens its file again); else it is told, and stops at its next piece.
export function cancel(id) {
    if (!waiting.has(id)) return;
    if (busy === id) replace('cancelled');
    else worker.postMessage({ cancel: id });
}

// Reads `file` into the slot's incoming place, has it checked and indexed: { verdict, message },
// the verdict 'accepted', 'refused', 'no memory' or 'cancelled'. The slot keeps its file until
// take (the shown slot) or compare (the compared one).
// With `salvage`, a damaged file is accepted as what survives of it; a refused one tells, as
// `salvageable`, whether it could be.
export async function openFile(slot, file, options, salvage = false) {
    const result = await call('open', [slot, file, file.size, salvage], { long: true, ...options });
    return result.verdict === 'no memory' ? { verdict: 'refused', message: NO_MEMORY } : result;
}

// The file the open `id` read takes the shown slot: its { lines, records, rows, damage }, or
// null; `rows` are the record list's, `damage` a salvaged file's summary of it, else null, and
// `signed` whether a salvaged file's signature record survived.
export const take = (id) => call('take', [id]);
// Forgets the file the open `id` read, unless a newer open of the slot has begun.
export const drop = (slot, id) => call('drop', [slot, id]);
export const lineCount = (slot) => call('lineCount', [slot]);
export const recordCount = (slot) => call('recordCount', [slot]);

function lines(text, end) {
    const all = text.split(end);
    all.pop(); // the text ends with a line end
    return all;
}

// Dump lines [first, first + count) without their line ends.
export const dumpLines = async (slot, first, count, mode) =>
    lines(await call('lines', [slot, first, count, mode]), DUMP_LINE_END);
export const recordLines = async (slot, first, count) => lines(await call('recordLines', [slot, first, count]), '\n');
// The shown file's lines and records, and the record and offset of line `line`.
export const position = (line) => call('position', [line]);
export const firstLineOfRecord = (slot, record) => call('firstLineOfRecord', [slot, record]);
// A row of the record list: a record, or a salvaged file's damaged region.
export const firstLineOfRow = (slot, row) => call('firstLineOfRow', [slot, row]);
// The bytes a row of the shown file's record list marks in the dump: { from, to }.
export const rowBytes = (row) => call('rowBytes', [row]);
// A slot's salvaged file's damage summed up ("1 damaged region, 474 bytes; 235 records intact"),
// or null for a whole file.
export const damage = (slot) => call('damage', [slot]);
// The repaired file of the salvaged file shown, as a Blob, with the signature record
// `signature` (1 v2.0, 2 v1.1) in front when its own was lost; or why there is none: 'no
// signature' (lost, and none chosen) or 'no memory'.
export const repaired = (signature) => call('repaired', [signature]);
export const offsetOfLine = (slot, line) => call('offsetOfLine', [slot, line]);
export const lineOfOffset = (slot, offset) => call('lineOfOffset', [slot, offset]);
// Searches of the whole file, long work that a job shows: the offset of the next record from
// byte `from` on whose tag name holds `query` (qef_find), going round, or of the previous one
// before it with `backward`; else one of SEARCH.results (badQuery for an empty query).
export const find = (query, from, backward, options) => call('find', [query, from, backward], { long: true, waits: true, ...options });
// The shown file's next (or previous) hit of `query` from byte `from`, wrapping: { offset, length }
// or { failure }, one of SEARCH.results. `kind` one of SEARCH.kinds; `flags` SEARCH.flags or'd.
export const search = (query, kind, flags, from, backward, options) =>
    call('search', [query, kind, flags, from, backward], { long: true, waits: true, ...options });
// The values at byte `offset` of the shown file, for the data inspector (see qef_values); null
// when there are none.
export const values = (offset) => call('values', [offset]);
// Counts the records and data bytes per tag of the shown file, which the worker keeps:
// { tags, records, bytes }, or null when memory ran out. Long work, for a job.
export const countTags = (options) => call('countTags', [], { long: true, waits: true, ...options });
// Rows [first, first + count) of the counts in `order` ('first' seen, 'records' or 'bytes', the
// most first): [{ text, first }], `first` the tag's first record.
export const tagRows = (first, count, order) => call('tagRows', [first, count, order]);
// The `count` largest in `order`, [{ name, records, bytes, first }], and the rest summed
// { tags, records, bytes }: the chart's bars.
export const tagChart = (count, order) => call('tagChart', [count, order]);
// The offset of the first data byte of each dump line [first, first + count), whether the line
// is its record's first, which shows the record's header, and its kind, 'line' or, in a
// salvaged file, 'damaged': { offsets, headers, kinds }.
export const dumpOffsets = (first, count) => call('dumpOffsets', [first, count]);

// The dump of the shown file as a Blob, or why there is none: 'no memory', 'replaced' (another
// file was opened) or 'cancelled'.
export const save = (mode, options) => call('save', [mode], { long: true, ...options });

// The comparison of the shown file with the compared one the open `id` read, which then takes its
// slot: 'made'; else 'no memory', or 'gone' (a newer open took the place of either file), and
// the comparison before is kept. A comparison made is kept or undone with settleCompare.
export const compare = (context, id, options) => call('compare', [context, id], { long: true, ...options });
export const settleCompare = (keep) => call('settleCompare', [keep]);
export const diffRowCount = () => call('diffRowCount', []);
export const unfold = (row) => call('unfold', [row]);
export const changeFrom = (row, direction) => call('changeFrom', [row, direction]);
export const changeDetail = (row) => call('changeDetail', [row]);
export const diffSummary = () => call('diffSummary', []);
// The row that shows line `line` of the shown file's dump, a fold that holds it opened; -1 for none.
export const diffRowOfLine = (line) => call('diffRowOfLine', [line]);

// Rows [first, first + count): { kind, text }, the kind being the text's first character.
export const diffRows = async (first, count, mode) =>
    lines(await call('diffRows', [first, count, mode]), '\n').map((text) => ({ kind: text[0], text }));

// The memory the core holds, for the benchmark.
export const memoryBytes = () => call('memoryBytes', []);

// A list's source (see virtual-list.js) whose rows come from the worker: rows() answers from the
// rows that came, blank ones for the rest, and asks for a window around them, calling onRows()
// once they are in; load() brings a run of rows in, for a copy.
export function workerSource({ count, columns, lineEnd, fetch, onRows }) {
    let have = { first: 0, rows: [] };
    let asked = null;
    const holds = (window, first, n) => window && first >= window.first && first + n <= window.first + window.count;
    return {
        count,
        columns,
        lineEnd,
        rows(first, n) {
            n = Math.max(0, Math.min(n, count - first));
            if (holds({ first: have.first, count: have.rows.length }, first, n)) return have.rows.slice(first - have.first, first - have.first + n);
            if (!holds(asked, first, n)) {
                const from = Math.max(0, first - n);
                const window = { first: from, count: Math.min(count - from, 3 * n) };
                asked = window;
                fetch(window.first, window.count).then(
                    (rows) => {
                        if (asked !== window) return;
                        have = { first: window.first, rows };
                        asked = null;
                        onRows();
                    },
                    (error) => {
                        if (asked === window) asked = null; // asked again when next shown
                        throw error;
                    },
                );
            }
            return Array.from({ length: n }, () => ({ text: '', kind: '' }));
        },
        forget() {
            have = { first: 0, rows: [] };
            asked = null;
        },
        holds: (first, n) => holds({ first: have.first, count: have.rows.length }, first, n),
        async load(first, n) {
            const rows = await fetch(first, n);
            have = { first, rows };
            return rows;
        },
    };
}
