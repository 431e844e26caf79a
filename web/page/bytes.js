// The dump's bytes: the byte cursor (a click on a byte, Go to, Find, Left and Right), what the
// dump marks in its hex and character columns (the cursor, a search's hit, the bytes of the
// record the record list's cursor is on), the data inspector at the cursor, and Find. Every
// value and every hit comes from the core; the page only places them on the lines.
import * as core from './core.js';
import { startJob, guarded } from './jobs.js';
import { hex } from './numbers.js';

const $ = (id) => document.getElementById(id);

// The columns of a dump line, as the core lays it out: byte k of those it shows in the hex and
// in the character column. A record's first line shows its header too: the tag's four bytes as
// its name, the size's four as its size; a header byte is marked on the field that shows it.
const { recordHeader: RECORD_HEADER, hexColumns: HEX_COLUMNS, charColumns: CHAR_COLUMNS, headerFields: HEADER_FIELDS } = core.LINE;
const BYTES_PER_LINE = HEX_COLUMNS.length;
const HEADER_FIELD_BYTES = RECORD_HEADER / HEADER_FIELDS.length;
// The dump lines that show bytes in these columns: a record's, and a damaged region's.
const BYTE_ROWS = new Set(['line', 'damaged']);

// The byte a column shows, or -1.
const byteOfColumn = (column) =>
    HEX_COLUMNS.findIndex((first, k) => (column >= first && column < first + 2) || column === CHAR_COLUMNS[k]);

// The inspector's rows: a label and how it reads the core's values, null for "—".
const WIDTH_NAMES = ['8', '16', '32', '64'];
const INSPECTED = [
    ...[0, 1, 2, 3].flatMap((k) => {
        const order = k ? [' LE', ' BE'] : [''];
        return order.flatMap((end) => {
            const key = end === ' BE' ? 'Be' : 'Le';
            return [
                [`int${WIDTH_NAMES[k]}${end}`, (v) => (v.ints[k].fits ? v.ints[k][`int${key}`] : null)],
                [`uint${WIDTH_NAMES[k]}${end}`, (v) => (v.ints[k].fits ? v.ints[k][`uint${key}`] : null)],
            ];
        });
    }),
    ['float32 LE', (v) => (v.ints[2].fits ? String(v.float32Le) : null)],
    ['float32 BE', (v) => (v.ints[2].fits ? String(v.float32Be) : null)],
    ['float64 LE', (v) => (v.ints[3].fits ? String(v.float64Le) : null)],
    ['float64 BE', (v) => (v.ints[3].fits ? String(v.float64Be) : null)],
    ['ASCII', (v) => v.ascii],
    ['UTF-16LE', (v) => v.utf16],
];

// What Find says when it finds no offset: for each of the core's answers, by the kind of query.
const FIND_FAILURES = {
    [core.SEARCH.results.badQuery]: { text: 'Find: type a text.', hex: 'Find: type bytes in hexadecimal (4D 6F 64).', tag: 'Find: type a tag name.' },
    [core.SEARCH.results.noMemory]: { text: core.NO_MEMORY, hex: core.NO_MEMORY, tag: core.NO_MEMORY },
};

// `dump` the dump's list, `records` the record list's; `page` gives { file, note, jump(line) }.
export function addBytes(dump, records, page) {
    const state = { cursor: -1, hit: null, record: null, recordNumber: -1, asked: 0 };
    const list = $('inspector-values');

    // A line's marks: each byte it shows (its hex digits are not blank) in the ranges marked.
    const marksOf = (at) => {
        const names = [];
        if (state.record && at >= state.record.from && at < state.record.to) names.push('in-record');
        if (state.hit && at >= state.hit.offset && at < state.hit.offset + state.hit.length) names.push('hit');
        if (at === state.cursor) names.push('byte-cursor');
        return names;
    };
    dump.marks = (index, row) => {
        if (!BYTE_ROWS.has(row.kind) || row.offset === undefined || row.offset < 0) return [];
        const marks = [];
        for (let k = 0; k < BYTES_PER_LINE; k++) {
            if (row.text[HEX_COLUMNS[k]] === ' ') continue;
            for (const className of marksOf(row.offset + k)) {
                marks.push({ from: HEX_COLUMNS[k], to: HEX_COLUMNS[k] + 2, className });
                marks.push({ from: CHAR_COLUMNS[k], to: CHAR_COLUMNS[k] + 1, className });
            }
        }
        if (row.header) {
            HEADER_FIELDS.forEach((field, k) => {
                const first = row.offset - RECORD_HEADER + HEADER_FIELD_BYTES * k;
                const bytes = Array.from({ length: HEADER_FIELD_BYTES }, (_, b) => first + b);
                const names = new Set(bytes.flatMap(marksOf).filter((name) => name !== 'in-record'));
                for (const className of names) marks.push({ ...field, className });
            });
        }
        return marks;
    };

    async function inspect() {
        const asked = ++state.asked;
        const at = state.cursor;
        const values = at >= 0 ? await core.values(at) : null;
        if (asked !== state.asked) return; // a newer cursor follows
        const where = values && (values.record < 0 ? 'a damaged region' : `record ${values.record + 1}`);
        $('inspector-offset').textContent = values ? `Offset ${hex(at)} (${at}), ${where}` : 'No byte chosen';
        list.replaceChildren(
            ...(values ? INSPECTED : []).map(([label, read]) => {
                const row = document.createElement('div');
                const name = document.createElement('dt');
                name.textContent = label;
                const value = document.createElement('dd');
                value.textContent = read(values) ?? '—';
                row.append(name, value);
                return row;
            }),
        );
    }

    // Puts the byte cursor on `offset` and, with `show`, its line on screen.
    async function place(offset, show = false) {
        state.cursor = offset;
        if (show && offset >= 0) {
            const line = await core.lineOfOffset(core.SHOWN, offset);
            if (line >= 0 && (line < dump.top || line >= dump.top + dump.visibleRows)) dump.jumpTo(line);
            else if (line >= 0) dump.marked = line;
        }
        dump.render();
        inspect();
    }

    // The record list's cursor: its record's data bytes (or its damaged region's) are marked in
    // the dump.
    async function followRecord(row) {
        const bytes = await core.rowBytes(row);
        if (state.recordNumber !== row) return;
        state.record = bytes;
        dump.render();
    }
    const render = records.render.bind(records);
    records.render = () => {
        render();
        if (records.marked === state.recordNumber || !page.file()) return;
        state.recordNumber = records.marked;
        if (records.marked >= 0) followRecord(records.marked);
    };

    // A click on a byte in the hex or the character column of a dump line.
    function click(index, event) {
        const line = dump.source.rows(index, 1)[0];
        const box = dump.rowsElement.getBoundingClientRect();
        const x = event.clientX - box.left + dump.scroller.scrollLeft - dump.padding();
        const k = byteOfColumn(Math.floor(x / dump.charWidth));
        if (line && BYTE_ROWS.has(line.kind) && k >= 0 && line.text[HEX_COLUMNS[k]] !== ' ') place(line.offset + k);
    }
    // Left and Right move the byte cursor, header bytes included, the first press of a file to its
    // first byte; Up and Down move the row cursor, and the byte cursor with it, a line of data.
    const rowAt = (index) => dump.source.rows(index, 1)[0];
    const bytesOf = (row) => [...Array(BYTES_PER_LINE).keys()].filter((k) => row.text[HEX_COLUMNS[k]] !== ' ').length;
    dump.element.addEventListener(
        'keydown',
        (event) => {
            const step = { ArrowLeft: -1, ArrowRight: 1 }[event.key];
            const line = { ArrowUp: -1, ArrowDown: 1 }[event.key];
            if (event.ctrlKey || event.metaKey || event.shiftKey || !page.file() || page.comparing()) return;
            if (line && state.cursor >= 0) {
                const from = rowAt(dump.cursor);
                const k = from && state.cursor >= from.offset ? Math.min(state.cursor - from.offset, BYTES_PER_LINE - 1) : 0;
                setTimeout(() => { // once the list has moved its row cursor
                    const to = rowAt(dump.marked);
                    if (to && to.text && to.offset >= 0) place(to.offset + Math.min(k, bytesOf(to) - 1));
                });
            }
            if (!step) return;
            event.preventDefault();
            event.stopImmediatePropagation();
            const at = state.cursor < 0 ? 0 : Math.max(0, Math.min(page.file().size - 1, state.cursor + step));
            place(at, true);
        },
        { capture: true },
    );

    // Find: the next (or previous) hit from the cursor, over the whole file, wrapping; a tag name
    // finds the next (or previous) record of that name. Without a cursor it starts at the first
    // line shown, at the file's first byte on the first line. A job, as a large file takes long.
    async function find(backward) {
        if (!page.file()) return;
        const query = $('find-text').value;
        const kind = $('find-kind').value;
        const onHit = state.hit && state.hit.offset === state.cursor;
        const top = dump.top && !page.comparing() ? await core.offsetOfLine(core.SHOWN, dump.top) : 0;
        const from = state.cursor < 0 ? top : state.cursor + (onHit && !backward ? 1 : 0);
        let id = 0;
        const job = startJob(`Finding "${query}"`, () => core.cancel(id));
        const options = { onStart: (started) => (id = started) };
        const found = await guarded(job, async () => {
            const { kinds, flags: { matchCase, utf16 } } = core.SEARCH;
            const flags = ($('find-case').checked ? matchCase : 0) | ($('find-utf16').checked ? utf16 : 0);
            if (kind !== 'tag') return core.search(query, kinds[kind], flags, from, backward, options);
            const offset = await core.find(query, from, backward, options);
            return offset >= 0 ? { offset, length: RECORD_HEADER } : { failure: offset };
        });
        if (job.cancelled) return;
        job.end('');
        if (found.failure !== undefined) {
            page.note(FIND_FAILURES[found.failure]?.[kind] || `"${query}" is not in this file.`);
            return;
        }
        state.hit = found;
        const [line, values] = await Promise.all([core.lineOfOffset(core.SHOWN, found.offset), core.values(found.offset)]);
        page.jump(line, found.offset);
        const round = backward ? found.offset >= from : found.offset < from;
        const where = `offset ${hex(found.offset)}${values ? `, record ${values.record + 1}` : ''}`;
        page.note(`"${query}" found at ${where}${round ? (backward ? ', from the end again' : ', from the start again') : ''}.`);
    }
    $('find').addEventListener('submit', (event) => {
        event.preventDefault();
        find(false);
    });
    $('find-previous').addEventListener('click', () => find(true));
    $('find-text').addEventListener('keydown', (event) => {
        if (event.key === 'Enter' && event.shiftKey) {
            event.preventDefault();
            find(true);
        }
    });
    document.addEventListener('keydown', (event) => {
        if (event.key !== 'F3') return;
        event.preventDefault();
        find(event.shiftKey);
    });

    return {
        place,
        click,
        // A new file: no cursor, hit or record yet.
        reset() {
            Object.assign(state, { cursor: -1, hit: null, record: null, recordNumber: -1 });
            inspect();
        },
    };
}
