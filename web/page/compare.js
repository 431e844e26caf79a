// Compare: a second file, and the core's record diff of the shown file against it in the
// dump's place: changed records marked, equal runs folded into rows that open on a click, a
// step from change to change, and what changed in the records of each.
import * as core from './core.js';
import { startJob, guarded, nameOf } from './jobs.js';

// Equal records shown around each change, as `qefdump --diff` shows them by default.
const CONTEXT = 1;
const HINT = 'Step with Next change, or click a changed line, to see what changed in its records.';

const $ = (id) => document.getElementById(id);

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

    async source() {
        const fetch = async (first, count) =>
            (await core.diffRows(first, count, this.page.mode())).map(({ kind, text }) => ({ kind: core.ROW_KINDS[kind], text }));
        const count = await core.diffRowCount();
        return core.workerSource({ count, columns: core.DIFF_COLUMNS, lineEnd: '\n', fetch, onRows: () => this.list.render() });
    }

    showing(on) {
        this.active = on;
        $('compare-bar').hidden = !on;
        $('records').hidden = on;
        document.querySelector('#side .list-head').hidden = on;
        $('change-detail').hidden = !on;
    }

    async detail(row) {
        $('change-detail').textContent = (row >= 0 && (await core.changeDetail(row))) || HINT;
    }

    async step(direction) {
        const row = await core.changeFrom(this.change, direction);
        if (row < 0) {
            this.page.note(direction > 0 ? 'No change after this one.' : 'No change before this one.');
            return;
        }
        this.page.note('');
        this.change = row;
        this.list.jumpTo(row, CONTEXT);
        this.list.element.focus();
        await this.detail(row);
    }

    // Reads `file` and compares the shown file with it, as one job; until the comparison is made,
    // the page shows what it showed, and keeps it when the file is refused, memory runs out or
    // Cancel ends the work. The body's data-compared counts the comparisons ended, refused or
    // shown.
    async start(file, shownName) {
        const mine = ++this.generation;
        const shown = this.page.generation();
        const current = () => mine === this.generation && shown === this.page.generation();
        let id = 0;
        const job = startJob(`Comparing with ${nameOf(file)}`, () => core.cancel(id));
        const onStart = (started) => (id = started);
        const result = await guarded(job, () => core.openFile(core.COMPARED, file, { onProgress: job.progress, onStart }));
        if (!current() || job.cancelled) {
            if (result.verdict === 'accepted') core.drop(core.COMPARED, id);
            job.end(`${nameOf(file)} was not compared: ${job.cancelled ? 'cancelled' : 'another file was opened or compared'}.`);
            return;
        }
        if (result.verdict !== 'accepted') {
            this.page.message(`${nameOf(file)}: ${result.message}`);
            job.end('');
        } else {
            job.progress(undefined);
            const made = await guarded(job, () => core.compare(CONTEXT, id, { onStart }));
            if (made === 'made') core.settleCompare(current() && !job.cancelled);
            if (job.cancelled) return;
            if (!current() || made === 'gone') {
                job.end(`${nameOf(file)} was not compared: another file was opened or compared.`);
                return;
            }
            if (made === 'no memory') this.page.message(`${nameOf(file)} was not compared: ${core.NO_MEMORY}`);
            else await guarded(job, () => this.show(file, shownName));
            job.end('');
        }
        document.body.dataset.compared = Number(document.body.dataset.compared || 0) + 1;
    }

    // The comparison just made takes the dump's place.
    async show(file, shownName) {
        this.page.message('');
        if (!this.active) this.dumpTop = this.list.top;
        // A salvaged file shown is compared on its intact records, as the summary says.
        const [source, summary, damage] = await Promise.all([this.source(), core.diffSummary(), core.damage(core.SHOWN)]);
        const intact = damage ? ` Compared: the intact records of ${shownName}.` : '';
        this.showing(true);
        this.file = file;
        $('compare-summary').textContent = `${shownName} / ${nameOf(file)}: ${summary}${intact}`;
        this.change = -1;
        this.list.setSource(source);
        await Promise.all([this.detail(-1), this.step(1)]);
    }

    // Shows the row of line `line` of the shown file's dump (Go to, Find), opening its fold.
    async showLine(line) {
        const row = await core.diffRowOfLine(line);
        if (row < 0 || !this.active) return;
        const source = await this.source();
        this.list.setSource(source, this.list.top);
        this.list.jumpTo(row);
        this.list.element.focus();
    }

    // A click on a fold opens it; on a changed line, tells what changed there.
    async onClick(row) {
        const [clicked] = this.list.source.rows(row, 1);
        if (clicked && clicked.kind === 'fold' && (await core.unfold(row))) {
            const source = await this.source();
            if (this.change > row) this.change += source.count - this.list.count;
            this.list.setSource(source, this.list.top);
        } else if (clicked && (clicked.kind === 'removed' || clicked.kind === 'added')) {
            this.change = await core.changeFrom(row + 1, -1);
            await this.detail(row);
        }
    }

    close() {
        if (!this.active) return;
        this.showing(false);
        this.page.restore(this.dumpTop);
    }
}
