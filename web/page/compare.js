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
const nextFrame = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));

export class Comparison {
    // `list` shows the rows; `page` has mode() (the numeration), note(text) and message(text)
    // to tell the reader, generation() that changes when another file is opened, and
    // restore(top) that gives the list back to the dump.
    constructor(list, page) {
        this.list = list;
        this.page = page;
        this.active = false;
        this.dumpTop = 0;
        this.change = -1; // the first row of the change stepped to
        this.generation = 0; // counts comparisons started, so that a slower earlier one gives way
        $('next-change').addEventListener('click', () => this.step(1));
        $('previous-change').addEventListener('click', () => this.step(-1));
        $('close-compare').addEventListener('click', () => this.close());
    }

    source() {
        const rows = (first, count) =>
            core.diffRows(first, count, this.page.mode()).map(({ kind, text }) => ({ kind: KINDS[kind], text }));
        return { count: core.diffRowCount(), columns: 104, lineEnd: '\n', rows };
    }

    showing(on) {
        this.active = on;
        $('compare-bar').hidden = !on;
        $('records').hidden = on;
        document.querySelector('#side .list-head').hidden = on;
        $('change-detail').hidden = !on;
    }

    detail(row) {
        $('change-detail').textContent = (row >= 0 && core.changeDetail(row)) || HINT;
    }

    step(direction) {
        const row = core.changeFrom(this.change, direction);
        if (row < 0) {
            this.page.note(direction > 0 ? 'No change after this one.' : 'No change before this one.');
            return;
        }
        this.page.note('');
        this.change = row;
        this.list.jumpTo(row, CONTEXT);
        this.detail(row);
        this.list.element.focus();
    }

    // Reads `file` and compares the shown file with it; the body's data-compared counts the
    // comparisons ended, refused or shown.
    async start(file, shownName) {
        const mine = ++this.generation;
        const shown = this.page.generation();
        const current = () => mine === this.generation && shown === this.page.generation();
        this.page.note(`Reading ${file.name}...`);
        const result = await core.openFile(core.COMPARED, file, current);
        if (result && !result.accepted) this.page.message(`${file.name}: ${result.message}`);
        if (result && result.accepted) await this.compareWith(file.name, shownName, current);
        this.page.note('');
        document.body.dataset.compared = Number(document.body.dataset.compared || 0) + 1;
    }

    async compareWith(name, shownName, current) {
        // Two files of millions of records take seconds: the note is drawn first.
        this.page.note(`Comparing with ${name}...`);
        await nextFrame();
        if (!current()) return;
        if (!core.compare(CONTEXT)) {
            this.page.message('Memory allocation error.');
            return;
        }
        this.page.message('');
        if (!this.active) this.dumpTop = this.list.top;
        this.showing(true);
        $('compare-summary').textContent = `${shownName} / ${name}: ${core.diffSummary().replace(/\b1 records\b/, '1 record')}`;
        this.change = -1;
        this.list.setSource(this.source());
        this.detail(-1);
        this.step(1);
    }

    // A click on a fold opens it; on a changed line, tells what changed there.
    onClick(row) {
        const [clicked] = this.list.source.rows(row, 1);
        if (clicked && clicked.kind === 'fold' && core.unfold(row)) {
            if (this.change > row) this.change += core.diffRowCount() - this.list.count;
            this.list.setSource(this.source(), this.list.top);
        } else if (clicked && (clicked.kind === 'removed' || clicked.kind === 'added')) {
            this.change = core.changeFrom(row + 1, -1);
            this.detail(row);
        }
    }

    close() {
        if (!this.active) return;
        this.showing(false);
        this.page.restore(this.dumpTop);
    }
}
