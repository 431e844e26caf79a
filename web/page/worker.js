// The core's own thread: the WebAssembly core runs here, so that reading, indexing, comparing,
// saving, counting and searching never hold up the page. The page (core.js) sends { id, call,
// args } and gets { id, result }, { id, progress } (0 to 1) while long work goes on, or { id,
// failure: { kind, detail } }; { id, busy } says when long work is inside the core, where no
// message reaches the worker until it returns. A { cancel: id } ends the read or the save of
// that call at its next piece.
import loadCore from './qefcore.js';
import { TagStats } from './tag-stats.js';

let core = null;
let constants = null; // what the page must agree on with the core (qef_constants)
let SHOWN, COMPARED; // its slots
// The core writes ASCII; latin1 decodes any byte, so nothing it could write would throw.
const decoder = new TextDecoder('latin1');
// The core, once loaded; the page learns its constants from here, as it holds no copy of them.
const ready = loadCore().then(
    (module) => {
        core = module;
        constants = JSON.parse(outputText(core._qef_constants()));
        ({ shown: SHOWN, compared: COMPARED } = constants.slots);
        postMessage({ constants });
    },
    (error) => postMessage({ unloaded: String(error) }),
);
const cancelled = new Set();
let stats = null; // the shown file's counts per tag, as TagStats has them, or null
let shownVersion = 0; // counts the files the shown slot took, so that a save or a count can tell
const readers = []; // per slot, the call reading a file into it
const reading = new Map(); // call -> the reader of its file, which a cancel ends at once
const LINES_A_PIECE = 8192; // of a saved dump
const PROGRESS_MS = 100;
let unsettled = false; // a comparison made, until the page keeps or undoes it

function cancel(id) {
    cancelled.add(id);
    if (reading.has(id)) reading.get(id).cancel().catch(() => {});
}

// Runs `step`, a call into the core that may take seconds, telling the page meanwhile.
function inCore(id, step) {
    postMessage({ id, busy: true });
    try {
        return step();
    } finally {
        postMessage({ id, busy: false });
    }
}

function outputText(length) {
    const at = core._qef_output();
    return decoder.decode(core.HEAPU8.subarray(at, at + length));
}

// Copies the bytes of `source`, a File (read here, off the page's thread) or a stream, to `at`:
// '' when they all came, else what went wrong. A file that cannot be read (a folder, one
// removed or changed since it was picked) makes its stream fail.
async function readInto(id, at, source, size) {
    const reader = (source instanceof Blob ? source.stream() : source).getReader();
    reading.set(id, reader);
    let length = 0;
    let told = performance.now();
    try {
        for (;;) {
            const { done, value } = await reader.read();
            if (cancelled.has(id)) {
                reader.cancel().catch(() => {});
                return 'cancelled';
            }
            if (done) break;
            if (length + value.length > size) {
                reader.cancel().catch(() => {});
                return 'The file grew while it was read.';
            }
            core.HEAPU8.set(value, at + length);
            length += value.length;
            if (performance.now() - told > PROGRESS_MS) {
                told = performance.now();
                postMessage({ id, progress: length / size });
            }
        }
    } catch {
        return 'The file could not be read.';
    } finally {
        reading.delete(id);
    }
    return length === size ? '' : 'The file shrank while it was read.';
}

// Reads a file into the slot's incoming place and has it checked and indexed; an accepted file
// waits there for take (the shown slot) or compare (the compared one). With `salvage`, a damaged
// file is accepted as what survives of it; a refused one tells whether it could be. A newer open
// of the slot ends this one's read.
async function open(id, slot, source, size, salvage = false) {
    // A newer Compare overtakes a comparison the page has not settled yet: it is undone now,
    // while the file before still waits in the place this read is about to take.
    if (slot === COMPARED) settle(false);
    cancel(readers[slot]);
    readers[slot] = id;
    const at = core._qef_reserve(slot, size);
    const problem = at ? await readInto(id, at, source, size) : '';
    if (problem) {
        if (readers[slot] === id) core._qef_drop(slot);
        return cancelled.has(id) ? { verdict: 'cancelled', message: '' } : { verdict: 'refused', message: problem };
    }
    const answer = inCore(id, () => core._qef_open(slot, size, salvage ? 1 : 0));
    const verdict =
        answer === constants.open.accepted ? 'accepted' : answer === constants.open.refused ? 'refused' : 'no memory';
    const refused = verdict === 'refused';
    return {
        verdict,
        message: refused ? outputText(core._qef_open_message_length()) : '',
        salvageable: refused && core._qef_open_salvageable() === 1,
    };
}

// The dump of the shown file in `mode` as a Blob, a piece at a time; a string when it could not
// be made whole.
async function save(id, mode) {
    const version = shownVersion;
    const count = core._qef_line_count(SHOWN);
    const pieces = [];
    for (let first = 0; first < count; first += LINES_A_PIECE) {
        const length = core._qef_lines(SHOWN, first, LINES_A_PIECE, mode);
        if (!length) return 'no memory'; // the core had no room for the lines
        const at = core._qef_output();
        pieces.push(core.HEAPU8.slice(at, at + length));
        postMessage({ id, progress: first / count });
        await new Promise((resolve) => setTimeout(resolve)); // a cancel may come in
        if (cancelled.has(id)) return 'cancelled';
        if (version !== shownVersion) return 'replaced';
    }
    return new Blob(pieces, { type: 'text/plain' });
}

// Puts `query` where the core reads it: its length in bytes, or -1 when memory ran out.
function putQuery(query) {
    const bytes = new TextEncoder().encode(query);
    const at = core._qef_query_room(bytes.length);
    if (!at) return -1;
    core.HEAPU8.set(bytes, at);
    return bytes.length;
}

function find(id, query, from, backward) {
    const length = putQuery(query);
    return length < 0 ? constants.search.results.noMemory : inCore(id, () => core._qef_find(SHOWN, length, from, backward ? 1 : 0));
}

// The next or previous hit of a text or hex query from byte `from`, wrapping: { offset, length },
// or { failure }, one of the core's search results (none, a query it cannot read, no memory).
function search(id, query, kind, flags, from, backward) {
    const length = putQuery(query);
    if (length < 0) return { failure: constants.search.results.noMemory };
    const offset = inCore(id, () => core._qef_search(SHOWN, length, kind, flags, from, backward ? 1 : 0));
    return offset < 0 ? { failure: offset } : { offset, length: core._qef_hit_length() };
}

// Counts the shown file's records and bytes per tag, kept here for tagRows and tagChart: their
// totals, or null when memory ran out.
function countTags(id) {
    stats = null;
    const count = inCore(id, () => core._qef_tag_counts(SHOWN));
    if (count < 0) return null;
    const at = core._qef_output();
    const tagText = (tag) => outputText(core._qef_tag_text(tag));
    stats = new TagStats(new Uint32Array(core.HEAPU8.buffer.slice(at, at + count * 16)), tagText);
    return stats.summary();
}

// The core's JSON answers, whose texts are UTF-8.
const utf8 = new TextDecoder();
function json(length) {
    const at = core._qef_output();
    return length ? JSON.parse(utf8.decode(core.HEAPU8.subarray(at, at + length))) : null;
}

// Where line `line` of the shown file is: the status line's numbers; the record is -1 on a
// damaged region's line, and the row is the record list's.
function position(line) {
    return {
        lines: core._qef_line_count(SHOWN),
        records: core._qef_record_count(SHOWN),
        record: core._qef_record_of_line(SHOWN, line),
        row: core._qef_row_of_line(SHOWN, line),
        offset: core._qef_offset_of_line(SHOWN, line),
    };
}

// The file the open `openId` read takes the shown slot: its { lines, records, rows, damage },
// the damage { regions, bytes } of a salvaged file, else null.
function take(openId) {
    if (readers[SHOWN] !== openId || core._qef_take() !== 1) return null;
    shownVersion++;
    stats = null;
    return {
        lines: core._qef_line_count(SHOWN),
        records: core._qef_record_count(SHOWN),
        rows: core._qef_row_count(SHOWN),
        damage: damage(SHOWN),
        signed: core._qef_signature_survived(SHOWN) === 1,
    };
}

// A salvaged file's damage summed up ("1 damaged region, 474 bytes; 235 records intact"); null
// for a whole file.
function damage(slot) {
    return core._qef_damaged_regions(slot) ? outputText(core._qef_damage_summary(slot)) : null;
}

// Of each dump line [first, first + count) of the shown file: the offset of its first data
// byte, whether it is a record's first line (which shows its header), and its kind, 'line' or,
// in a salvaged file, 'damaged' for a damaged region's.
function dumpOffsets(first, count) {
    const lines = Array.from({ length: count }, (_, k) => first + k);
    const kinds = lines.map((line) => (core._qef_line_damaged(SHOWN, line) ? 'damaged' : 'line'));
    return {
        offsets: lines.map((line) => core._qef_offset_of_line(SHOWN, line)),
        headers: lines.map((line, k) => kinds[k] === 'line' && core._qef_first_line_of_row(SHOWN, core._qef_row_of_line(SHOWN, line)) === line),
        kinds,
    };
}

// The repaired file of the salvaged file shown, as a Blob copied whole from the core, with the
// signature record `signature` (1 v2.0, 2 v1.1, 0 none) in front when its own was lost; 'no
// signature' when it was lost and none is chosen.
function repaired(signature) {
    if (!signature && !core._qef_signature_survived(SHOWN)) return 'no signature';
    const at = core._qef_repaired(SHOWN, signature);
    try {
        // No room for the copy: no file rather than part of one.
        return at ? new Blob([core.HEAPU8.slice(at, at + core._qef_repaired_length())], { type: 'application/octet-stream' }) : 'no memory';
    } catch {
        return 'no memory';
    } finally {
        core._qef_repaired(-1, 0);
    }
}

function compare(id, context, openId) {
    const result = readers[COMPARED] === openId ? inCore(id, () => core._qef_compare(context)) : constants.compare.noFile;
    unsettled = result === constants.compare.made;
    return unsettled ? 'made' : result === constants.compare.noFile ? 'gone' : 'no memory';
}

function settle(keep) {
    if (unsettled) core._qef_compare_settle(keep ? 1 : 0);
    unsettled = false;
}

const CALLS = {
    open,
    save,
    take: (id, openId) => take(openId),
    drop: (id, slot, openId) => readers[slot] === openId && core._qef_drop(slot),
    lineCount: (id, slot) => core._qef_line_count(slot),
    recordCount: (id, slot) => core._qef_record_count(slot),
    lines: (id, slot, first, count, mode) => outputText(core._qef_lines(slot, first, count, mode)),
    recordLines: (id, slot, first, count) => outputText(core._qef_record_lines(slot, first, count)),
    position: (id, line) => position(line),
    firstLineOfRecord: (id, slot, record) => core._qef_first_line_of_record(slot, record),
    firstLineOfRow: (id, slot, row) => core._qef_first_line_of_row(slot, row),
    rowBytes: (id, row) => ({ from: core._qef_row_data(SHOWN, row), to: core._qef_row_end(SHOWN, row) }),
    repaired: (id, signature) => repaired(signature),
    damage: (id, slot) => damage(slot),
    lineOfOffset: (id, slot, offset) => core._qef_line_of_offset(slot, offset),
    offsetOfLine: (id, slot, line) => core._qef_offset_of_line(slot, line),
    find,
    search,
    values: (id, offset) => json(core._qef_values(SHOWN, offset)),
    countTags,
    tagRows: (id, first, count, order) => (stats ? stats.rows(first, count, order) : []),
    tagChart: (id, count, order) => (stats ? stats.chart(count, order) : null),
    dumpOffsets: (id, first, count) => dumpOffsets(first, count),
    compare,
    settleCompare: (id, keep) => settle(keep),
    diffRowCount: () => core._qef_diff_row_count(),
    diffRows: (id, first, count, mode) => outputText(core._qef_diff_rows(first, count, mode)),
    unfold: (id, row) => core._qef_diff_unfold(row) === 1,
    changeFrom: (id, row, direction) => core._qef_diff_change(row, direction),
    changeDetail: (id, row) => outputText(core._qef_diff_detail(row)),
    diffSummary: () => outputText(core._qef_diff_summary()),
    diffRowOfLine: (id, line) => core._qef_diff_row_of_line(line),
    memoryBytes: () => core.HEAPU8.length,
};

// A call runs as it comes; reading and saving wait for the file's bytes, or give the page's
// calls their turn, between pieces, and the page's calls meanwhile act on what is open.
self.onmessage = async ({ data }) => {
    if (data.cancel !== undefined) {
        cancel(data.cancel);
        return;
    }
    await ready;
    try {
        postMessage({ id: data.id, result: await CALLS[data.call](data.id, ...data.args) });
    } catch (error) {
        postMessage({ id: data.id, failure: failureOf(error) });
    }
    cancelled.delete(data.id);
};

// A failure outside any call (a message it cannot read) may have left a call unanswered: the
// page is told, and replaces the worker, settling every call.
self.addEventListener('unhandledrejection', (event) => {
    event.preventDefault();
    postMessage({ broken: String((event.reason && event.reason.stack) || event.reason) });
});

// What a call's exception means. Memory that could not grow, or a trap or an abort of the
// module, leave the core in no state to go on: the page replaces it ('no memory', 'broken').
// Any other exception is a fault of this script, thrown before it changed the core: the core
// goes on as it was ('fault').
function failureOf(error) {
    const detail = String((error && error.stack) || error);
    if (error instanceof RangeError && /memory|allocation|array buffer/i.test(detail)) return { kind: 'no memory', detail };
    if (/Aborted\(OOM\)|Cannot enlarge memory|out of memory/i.test(detail)) return { kind: 'no memory', detail };
    if (error instanceof WebAssembly.RuntimeError || /Aborted\(/.test(detail)) return { kind: 'broken', detail };
    if (typeof WebAssembly.Exception === 'function' && error instanceof WebAssembly.Exception) return { kind: 'broken', detail };
    return { kind: 'fault', detail };
}
