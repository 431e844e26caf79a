// The page's side of the binding to the WebAssembly core. Every decision about a file's bytes
// (the check, the record chain, the dump's lines, the record list, a search, the diff) is the
// core's; this module moves bytes in and the core's text out.
import loadCore from './qefcore.js';

const core = await loadCore();
// The core writes ASCII; latin1 decodes any byte, so nothing it could write would throw.
const decoder = new TextDecoder('latin1');

export const SHOWN = 0;
export const COMPARED = 1;
export const MODES = { single: 1, multi: 2, offset: 3 };
const ACCEPTED = 0;
const REFUSED = 1;
// The viewer's text for memory that ran out.
export const NO_MEMORY = 'Memory allocation error.';
const FIND_NO_MEMORY = -3;
// The dump's line end, as the core writes it and qefdump saves it.
export const DUMP_LINE_END = '\r\n';

function outputText(length) {
    const at = core._qef_output();
    return decoder.decode(core.HEAPU8.subarray(at, at + length));
}

function outputLines(length, end) {
    const lines = outputText(length).split(end);
    lines.pop(); // the text ends with a line end
    return lines;
}

// Counts the files the shown slot has taken, so that work on one file (a save) can tell that
// another has taken its place.
let shownVersion = 0;
export const shownFileVersion = () => shownVersion;

// Reads `file` into a slot of the core, a piece at a time straight into its memory, and has
// it checked and indexed; the slot keeps its file until then, and for good when the new one is
// refused or cannot be read. `current()` turns false when a newer open has taken the read's
// place: the bytes still to come are then dropped, never written. Resolves to null when
// overtaken, else to { accepted, message }.
export async function openFile(slot, file, current) {
    const at = core._qef_reserve(slot, file.size);
    if (at) {
        const problem = await readInto(at, file, current);
        if (problem === null) return null;
        if (problem) {
            core._qef_drop(slot);
            return { accepted: false, message: problem };
        }
    }
    const verdict = core._qef_open(slot, file.size);
    if (verdict === ACCEPTED && slot === SHOWN) shownVersion++;
    if (verdict === ACCEPTED) return { accepted: true, message: '' };
    if (verdict === REFUSED) return { accepted: false, message: outputText(core._qef_open_message_length()) };
    return { accepted: false, message: NO_MEMORY };
}

// Copies the file's bytes to `at`: '' when they all came, null when overtaken, else what went
// wrong. A file that cannot be read (a folder, one removed or changed since it was picked)
// makes its stream fail.
async function readInto(at, file, current) {
    let reader;
    let length = 0;
    try {
        reader = file.stream().getReader();
        for (;;) {
            const { done, value } = await reader.read();
            if (!current()) {
                reader.cancel().catch(() => {});
                return null;
            }
            if (done) break;
            if (length + value.length > file.size) {
                reader.cancel().catch(() => {});
                return 'The file grew while it was read.';
            }
            core.HEAPU8.set(value, at + length);
            length += value.length;
        }
    } catch {
        return current() ? 'The file could not be read.' : null;
    }
    return length === file.size ? '' : 'The file shrank while it was read.';
}

export const lineCount = (slot) => core._qef_line_count(slot);
export const recordCount = (slot) => core._qef_record_count(slot);

// Dump lines [first, first + count) without their line ends.
export function dumpLines(slot, first, count, mode) {
    return outputLines(core._qef_lines(slot, first, count, mode), DUMP_LINE_END);
}

// The same lines as bytes, line ends included: a piece of the saved text.
export function dumpBytes(slot, first, count, mode) {
    const length = core._qef_lines(slot, first, count, mode);
    const at = core._qef_output();
    return core.HEAPU8.slice(at, at + length);
}

export function recordLines(slot, first, count) {
    return outputLines(core._qef_record_lines(slot, first, count), '\n');
}

export const firstLineOfRecord = (slot, record) => core._qef_first_line_of_record(slot, record);
export const recordOfLine = (slot, line) => core._qef_record_of_line(slot, line);
export const offsetOfLine = (slot, line) => core._qef_offset_of_line(slot, line);
export const lineOfOffset = (slot, offset) => core._qef_line_of_offset(slot, offset);

// The offset of the next match of `query` from byte `from` on (see qef_find): -1 for none,
// -2 for an empty query, -3 when memory ran out.
export function find(slot, query, from) {
    const bytes = new TextEncoder().encode(query);
    const at = core._qef_query_room(bytes.length);
    if (!at) return FIND_NO_MEMORY;
    core.HEAPU8.set(bytes, at);
    return core._qef_find(slot, bytes.length, from);
}

// The comparison of the shown file with the compared one just opened, which then takes its
// slot; false, and the comparison before kept, when memory ran out.
export const compare = (context) => core._qef_compare(context) === 1;
export const diffRowCount = () => core._qef_diff_row_count();
export const unfold = (row) => core._qef_diff_unfold(row) === 1;
export const changeFrom = (row, direction) => core._qef_diff_change(row, direction);
export const changeDetail = (row) => outputText(core._qef_diff_detail(row));
export const diffSummary = () => outputText(core._qef_diff_summary());

// Rows [first, first + count): { kind, text }, the kind being the text's first character.
export function diffRows(first, count, mode) {
    return outputLines(core._qef_diff_rows(first, count, mode), '\n').map((text) => ({ kind: text[0], text }));
}

// The memory the core holds, for the benchmark.
export const memoryBytes = () => core.HEAPU8.length;
