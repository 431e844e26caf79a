// Compare: a second file, and the core's record diff of the shown file against it in the
// dump's place: changed records marked, equal runs folded into rows that open on a click, a
// step from change to change, and what changed in the records of each.
import * as core from './core.js';

// The first character of a row, as the core writes it, names its kind.
const KINDS = { ' ': 'same', '-': 'removed', '+': 'added', '@': 'hunk', '=': 'fold' };
// Equal records shown around each change, as `qefdump --diff` shows them by default.
const CONTEXT = 1;
const HINT = 'Step with Next change, or click a changed line, to see what changed in its records.';

const $ = (id) => document.getElementById(id);

// `list` shows the rows; `restore(top)` gives it back to the dump; `current()` changes when
// another file is opened; `mode()` is the numeration; `note` and `message` tell the reader.
export function setupCompare({ list, mode, note, message, current, restore }) {
    let active = false;
    let dumpTop = 0;
    let change = -1; // the first row of the change stepped to
    let generation = 0;

    function source() {
        const rows = (first, count) =>
            core.diffRows(first, count, mode()).map(({ kind, text }) => ({ kind: KINDS[kind], text }));
        return { count: core.diffRowCount(), columns: 104, lineEnd: '\n', rows };
    }

    function showing(on) {
        active = on;
        $('compare-bar').hidden = !on;
        $('records').hidden = on;
        document.querySelector('#side .list-head').hidden = on;
        $('change-detail').hidden = !on;
    }

    function detail(row) {
        $('change-detail').textContent = (row >= 0 && core.changeDetail(row)) || HINT;
    }

    function step(direction) {
        const row = core.changeFrom(change, direction);
        if (row < 0) {
            note(direction > 0 ? 'No change after this one.' : 'No change before this one.');
            return;
        }
        note('');
        change = row;
        list.jumpTo(row, CONTEXT);
        detail(row);
        list.element.focus();
    }

    // Reads and compares `file`; the body's data-compared counts the comparisons ended.
    async function start(file, shownName) {
        const mine = ++generation;
        const shown = current();
        note(`Reading ${file.name}...`);
        const result = await core.openFile(core.COMPARED, file, () => mine === generation && shown === current());
        if (result) await compareWith(file, result, shownName, () => mine === generation && shown === current());
        document.body.dataset.compared = Number(document.body.dataset.compared || 0) + 1;
    }

    // Shows the comparison with an accepted `file`, or its refusal.
    async function compareWith(file, result, shownName, stillCurrent) {
        if (!result.accepted) {
            note('');
            message(`${file.name}: ${result.message}`);
            return;
        }
        // Two files of millions of records take seconds: the note is drawn first.
        note(`Comparing with ${file.name}...`);
        await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
        if (!stillCurrent()) return;
        note('');
        if (!core.compare(CONTEXT)) {
            message('Memory allocation error.');
            return;
        }
        message('');
        if (!active) dumpTop = list.top;
        showing(true);
        $('compare-summary').textContent = `${shownName} / ${file.name}: ${core.diffSummary()}`;
        change = -1;
        list.setSource(source());
        detail(-1);
        step(1);
    }

    // A click on a fold opens it; on a changed line, tells what changed there.
    function onClick(row) {
        const [clicked] = list.source.rows(row, 1);
        if (clicked && clicked.kind === 'fold' && core.unfold(row)) {
            const grown = core.diffRowCount() - list.count;
            if (change > row) change += grown;
            list.setSource(source(), list.top);
        } else if (clicked && (clicked.kind === 'removed' || clicked.kind === 'added')) {
            change = core.changeFrom(row + 1, -1);
            detail(row);
        }
    }

    function close() {
        if (!active) return;
        showing(false);
        restore(dumpTop);
    }

    $('next-change').addEventListener('click', () => step(1));
    $('previous-change').addEventListener('click', () => step(-1));
    $('close-compare').addEventListener('click', close);
    return { active: () => active, start, close, onClick, refresh: () => list.render() };
}
