// Selecting the text of a list's rows with the mouse, and copying it. The selection is kept
// as rows and columns, not as the browser's own, whose elements are refilled with other rows
// as the list scrolls; a copy asks the source for the rows between the selection's ends.
import { number } from './numbers.js';

// Beyond this a copy would build a string of hundreds of megabytes; Save as text writes those.
export const MOST_COPIED_ROWS = 200_000;
const CHUNK = 4096;
const AUTO_SCROLL_MS = 50;

// The selected text: the rows joined by the source's line end, cut at the selection's columns.
export function selectedText(list) {
    const { start, end } = list.selection;
    const texts = [];
    for (let row = start.row; row <= end.row; row += CHUNK) {
        for (const { text } of list.source.rows(row, Math.min(CHUNK, end.row - row + 1))) texts.push(text);
    }
    const last = texts.length - 1;
    texts[last] = texts[last].slice(0, end.column);
    texts[0] = texts[0].slice(start.column);
    return texts.join(list.source.lineEnd);
}

// Selects from `anchor` to `focus`, and has a source that fetches its rows bring in those a
// copy would take.
function select(list, anchor, focus) {
    list.select(anchor, focus);
    const { start, end } = list.selection;
    const rows = end.row - start.row + 1;
    if (list.source.load && rows <= MOST_COPIED_ROWS && !list.source.holds(start.row, rows)) list.source.load(start.row, rows);
}

// Mouse selection, Ctrl+A and copying for `list`; `onClick(row, event)` for a click that selected
// nothing, `onNote(text)` when a copy is refused.
export function makeSelectable(list, { onClick = () => {}, onNote = () => {} } = {}) {
    followPointer(list, onClick);
    list.element.addEventListener('keydown', (event) => {
        if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === 'a' && list.count) {
            event.preventDefault();
            select(list, { row: 0, column: 0 }, { row: list.count - 1, column: Infinity });
        }
    });
    document.addEventListener('copy', (event) => {
        if (!list.selection || !list.element.contains(document.activeElement)) return;
        event.preventDefault();
        const rows = list.selection.end.row - list.selection.start.row + 1;
        if (rows > MOST_COPIED_ROWS) {
            onNote(`The selection has ${number(rows)} lines, more than the ` +
                `${number(MOST_COPIED_ROWS)} a copy takes: Save as text writes them all.`);
            return;
        }
        if (list.source.holds && !list.source.holds(list.selection.start.row, rows)) {
            onNote('The selection is still being read: copy it again in a moment.');
            return;
        }
        event.clipboardData.setData('text/plain', selectedText(list));
    });
}

// A drag selects from where the button went down, scrolling while the pointer is above or
// below the rows; Shift+click extends the selection from its anchor.
function followPointer(list, onClick) {
    let anchor = null;
    let pressed = null; // the position the button went down on, while it is down
    let moved = false;
    let last = null;
    let timer = 0;
    const extend = (event) => {
        const box = list.rowsElement.getBoundingClientRect();
        const outside = event.clientY < box.top ? event.clientY - box.top : Math.max(0, event.clientY - box.bottom);
        if (outside) list.scrollTo(list.top + Math.sign(outside) * Math.ceil(Math.abs(outside) / list.rowHeight));
        const at = list.positionAt(event.clientX, event.clientY);
        moved = moved || at.row !== pressed.row || at.column !== pressed.column;
        if (moved) select(list, anchor, at);
    };
    list.rowsElement.addEventListener('pointerdown', (event) => {
        if (event.button !== 0 || !list.count || event.pointerType === 'touch') return; // touch.js's
        event.preventDefault();
        list.element.focus();
        pressed = list.positionAt(event.clientX, event.clientY);
        if (!(event.shiftKey && list.selection && anchor)) anchor = pressed;
        moved = event.shiftKey;
        if (moved) select(list, anchor, pressed);
        list.rowsElement.setPointerCapture(event.pointerId);
        last = event;
        timer = setInterval(() => extend(last), AUTO_SCROLL_MS);
    });
    list.rowsElement.addEventListener('pointermove', (event) => {
        if (!pressed) return;
        last = event;
        extend(event);
    });
    list.rowsElement.addEventListener('lostpointercapture', () => {
        if (!pressed) return;
        clearInterval(timer);
        if (!moved) {
            list.clearSelection();
            onClick(pressed.row, last);
        }
        pressed = null;
    });
}
