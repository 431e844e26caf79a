// A list of any number of rows of one height, of which only those on screen exist: a fixed
// pool of row elements, refilled from the source whenever the first row shown changes. The
// scroll bar belongs to an empty element as tall as the rows would be, up to a height every
// browser can lay out; past that a pixel of it stands for several rows.
//
// A source is { count, columns, lineEnd, rows(first, count) -> [{ text, kind }] }: `columns`
// is the width of the widest row, `lineEnd` what a copy puts between rows, and `kind` becomes
// a class of the row element. Rows reach the page only through textContent. A source may answer
// with blank rows while it fetches the others; `load(first, count)` then brings a selection's in.

const MOST_PIXELS = 8_000_000;

// What a key does to the row cursor (the marked row), which the view then keeps on screen; a
// page moves the view with it. Home and End go along the lines, or, in a list with
// `homeEndRows`, to the first and last row, as Ctrl+Home and Ctrl+End do.
const KEYS = {
    ArrowDown: (list) => list.cursor + 1,
    ArrowUp: (list) => list.cursor - 1,
    PageDown: (list) => list.cursor + list.visibleRows,
    PageUp: (list) => list.cursor - list.visibleRows,
    'Ctrl+Home': () => 0,
    'Ctrl+End': (list) => list.count - 1,
};
const PAGES = { PageDown: 1, PageUp: -1 };
const ROWS = { Home: 'Ctrl+Home', End: 'Ctrl+End' };
const SIDEWAYS = {
    Home: () => 0,
    End: (list) => list.scroller.scrollWidth,
    ArrowLeft: (list) => list.scroller.scrollLeft - 4 * list.charWidth,
    ArrowRight: (list) => list.scroller.scrollLeft + 4 * list.charWidth,
};

const EMPTY = { count: 0, columns: 0, lineEnd: '\n', rows: () => [] };

function div(className, parent) {
    const element = document.createElement('div');
    element.className = className;
    parent.append(element);
    return element;
}

export class VirtualList {
    // `onMove(list)` after the first row shown changed; `onEnter(row)` for Enter on the cursor.
    // `marks(index, row)` gives column ranges [{ from, to, className }] drawn in a row.
    constructor(element, { onMove = () => {}, onEnter = () => {}, homeEndRows = false, marks = () => [] } = {}) {
        this.element = element;
        this.marks = marks;
        this.onMove = onMove;
        this.onEnter = onEnter;
        this.homeEndRows = homeEndRows;
        this.scroller = div('scroller', element);
        // The list is the one tab stop, not its scroller, which holds nothing a reader hears.
        this.scroller.tabIndex = -1;
        this.scroller.ariaHidden = 'true';
        this.spacer = div('spacer', this.scroller);
        this.rowsElement = div('rows', element);
        this.inner = div('rows-inner', this.rowsElement);
        this.source = EMPTY;
        this.top = 0;
        this.marked = -1; // the row cursor
        this.keyAnchor = -1; // where Shift+arrows started selecting
        this.selection = null; // { start, end }: { row, column } each, start first
        this.pool = [];
        this.wheelRest = 0;
        this.measure();
        this.scroller.addEventListener('scroll', () => this.onScroll());
        element.addEventListener('wheel', (event) => this.onWheel(event), { passive: false });
        element.addEventListener('keydown', (event) => this.onKey(event));
        new ResizeObserver(() => this.layout()).observe(element);
    }

    // Row height and character width, from a row of the list's own font.
    measure() {
        const probe = div('row', this.inner);
        probe.textContent = 'M'.repeat(100);
        const box = probe.getBoundingClientRect();
        this.rowHeight = box.height || 16;
        this.charWidth = box.width / 100 || 8;
        probe.remove();
    }

    get count() {
        return this.source.count;
    }
    get visibleRows() {
        return Math.max(1, Math.floor(this.scroller.clientHeight / this.rowHeight));
    }
    get maxTop() {
        return Math.max(0, this.count - this.visibleRows);
    }
    // How far the scroll bar moves, in pixels.
    get range() {
        return Math.min(this.maxTop * this.rowHeight, MOST_PIXELS);
    }

    setSource(source, top = 0) {
        this.source = source || EMPTY;
        this.selection = null;
        this.marked = -1;
        this.top = -1;
        this.layout(top);
    }

    // Sizes the pool and the scroll bar to the view, keeping the first row shown.
    layout(top = this.top) {
        const wanted = Math.ceil(this.scroller.clientHeight / this.rowHeight) + 1;
        while (this.pool.length < wanted) {
            this.pool.push(div('row', this.inner));
        }
        while (this.pool.length > wanted) this.pool.pop().remove();
        // The rows leave the scroll bars uncovered.
        this.rowsElement.style.right = `${this.scroller.offsetWidth - this.scroller.clientWidth}px`;
        this.rowsElement.style.bottom = `${this.scroller.offsetHeight - this.scroller.clientHeight}px`;
        this.spacer.style.height = `${this.range + this.scroller.clientHeight}px`;
        this.spacer.style.width = `${this.source.columns * this.charWidth}px`;
        this.scrollTo(top, true);
    }

    // Shows row `top` first (as far as the rows go); `force` renders even when it is shown.
    scrollTo(top, force = false) {
        const clamped = Math.max(0, Math.min(this.maxTop, Math.round(top) || 0));
        if (clamped === this.top && !force) return;
        this.top = clamped;
        this.scroller.scrollTop = this.maxTop ? (clamped / this.maxTop) * this.range : 0;
        this.expectedScroll = this.scroller.scrollTop;
        this.render();
        this.onMove(this);
    }

    // Marks row `row` and shows it first, or after `before` rows.
    jumpTo(row, before = 0) {
        this.marked = row;
        this.scrollTo(row - before, true);
    }

    onScroll() {
        this.inner.style.transform = `translateX(${-this.scroller.scrollLeft}px)`;
        if (Math.abs(this.scroller.scrollTop - this.expectedScroll) < 1) return;
        const range = this.range;
        this.scrollTo(range ? (this.scroller.scrollTop / range) * this.maxTop : 0);
    }

    onWheel(event) {
        event.preventDefault();
        const unit = [1, this.rowHeight, this.scroller.clientHeight][event.deltaMode] || 1;
        this.wheelRest += event.deltaY * unit;
        const rows = Math.trunc(this.wheelRest / this.rowHeight);
        this.wheelRest -= rows * this.rowHeight;
        this.scroller.scrollLeft += event.deltaX * unit;
        if (rows) this.scrollTo(this.top + rows);
    }

    // The row cursor: the marked row while it is on screen, else the first row shown.
    get cursor() {
        return this.marked >= this.top && this.marked < this.top + this.visibleRows ? this.marked : this.top;
    }

    onKey(event) {
        let name = (event.ctrlKey || event.metaKey ? 'Ctrl+' : '') + event.key;
        if (this.homeEndRows && ROWS[name]) name = ROWS[name];
        if (KEYS[name] && this.count) this.moveCursor(KEYS[name](this), PAGES[name], event.shiftKey);
        else if (SIDEWAYS[name]) this.scroller.scrollLeft = SIDEWAYS[name](this);
        else if (event.key === 'Enter' && this.count) this.onEnter(this.cursor);
        else return;
        event.preventDefault();
    }

    // Moves the cursor to `row` and the view just enough to show it, or a page with it; with
    // `extend`, the whole rows from where Shift was first held to the cursor are selected.
    moveCursor(row, page, extend) {
        const from = this.cursor;
        const to = Math.max(0, Math.min(this.count - 1, row));
        if (extend) {
            if (this.keyAnchor < 0 || !this.selection) this.keyAnchor = from;
            const [first, last] = [Math.min(this.keyAnchor, to), Math.max(this.keyAnchor, to)];
            this.selection = { start: { row: first, column: 0 }, end: { row: last, column: Infinity } };
        } else if (this.keyAnchor >= 0) {
            this.keyAnchor = -1;
            this.selection = null;
        }
        this.marked = to;
        const top = page ? this.top + page * this.visibleRows : Math.min(to, Math.max(this.top, to - this.visibleRows + 1));
        this.scrollTo(top, true);
    }

    // Refills the pool from the source, with the selection and the mark drawn in.
    render() {
        const rows = this.count ? this.source.rows(this.top, this.pool.length) : [];
        this.pool.forEach((element, k) => {
            const row = rows[k];
            const index = this.top + k;
            element.replaceChildren(...this.pieces(index, row));
            element.className = `row ${row ? `kind-${row.kind}` : ''} ${index === this.marked ? 'marked' : ''}`;
            // For a screen reader the rows are options, the cursor the active one.
            element.role = row ? 'option' : 'none';
            if (index === this.marked && row) element.id = `${this.element.id}-cursor`;
            else element.removeAttribute('id');
            if (row) element.ariaSelected = `${index === this.marked}`;
            else element.removeAttribute('aria-selected');
        });
        if (this.pool.some((element) => element.id)) this.element.setAttribute('aria-activedescendant', `${this.element.id}-cursor`);
        else this.element.removeAttribute('aria-activedescendant');
    }

    // A row's text as spans, cut where the selection and the row's marks begin and end.
    pieces(index, row) {
        const text = row ? row.text : '';
        const ranges = row && row.text ? [...this.marks(index, row)] : [];
        const s = this.selection;
        if (s && index >= s.start.row && index <= s.end.row) {
            const from = index === s.start.row ? s.start.column : 0;
            ranges.push({ from, to: index === s.end.row ? s.end.column : text.length, className: 'selected' });
        }
        const cuts = [...new Set([0, text.length, ...ranges.flatMap((r) => [r.from, r.to])])]
            .filter((at) => at >= 0 && at <= text.length)
            .sort((a, b) => a - b);
        const spans = [];
        for (let k = 0; k + 1 < cuts.length; k++) {
            const span = document.createElement('span');
            span.textContent = text.slice(cuts[k], cuts[k + 1]);
            span.className = ranges.filter((r) => r.from <= cuts[k] && r.to >= cuts[k + 1]).map((r) => r.className).join(' ');
            spans.push(span);
        }
        return spans;
    }

    // Where a point of the view falls: a row and the column nearest to it.
    positionAt(clientX, clientY) {
        const box = this.rowsElement.getBoundingClientRect();
        const row = this.top + Math.floor((clientY - box.top) / this.rowHeight);
        const x = clientX - box.left + this.scroller.scrollLeft - this.padding();
        const column = Math.round(x / this.charWidth);
        return { row: Math.max(0, Math.min(this.count - 1, row)), column: Math.max(0, column) };
    }

    padding() {
        const first = this.pool[0];
        return first ? parseFloat(getComputedStyle(first).paddingLeft) || 0 : 0;
    }

    select(anchor, focus) {
        const forward = anchor.row < focus.row || (anchor.row === focus.row && anchor.column <= focus.column);
        this.selection = forward ? { start: anchor, end: focus } : { start: focus, end: anchor };
        this.render();
    }

    clearSelection() {
        this.selection = null;
        this.render();
    }
}
