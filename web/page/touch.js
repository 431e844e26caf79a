// Touch on a list: a swipe scrolls it, rows and sideways, and goes on with the speed it had
// when the finger left, slowing down; a long press starts a selection that the finger then
// drags, as a mouse drags one (selection.js); a tap is a click on its row.

const LONG_PRESS_MS = 450;
const SLOP = 8; // pixels a finger may wander before a press becomes a swipe
const FRICTION = 0.95; // of the speed kept each frame of a fling
const SLOWEST = 0.02; // pixels a millisecond, below which a fling stops
const FASTEST = 6; // pixels a millisecond a fling starts with at most
const SHORTEST_MS = 8; // the least time a move is taken to last, for events that come in bursts

export function addTouch(list, { onTap = () => {} } = {}) {
    const rows = list.rowsElement;
    let touch = null; // { id, x, y, startX, startY, mode: 'press' | 'swipe' | 'select', timer, speed }
    let rest = 0; // pixels scrolled that make no whole row yet
    let fling = 0;

    const scrollBy = (dx, dy) => {
        list.scroller.scrollLeft += dx;
        rest += dy;
        const whole = Math.trunc(rest / list.rowHeight);
        rest -= whole * list.rowHeight;
        if (whole) list.scrollTo(list.top + whole);
    };
    const flingFrom = (speed) => {
        let last = performance.now();
        const frame = (now) => {
            const elapsed = Math.max(0, now - last);
            last = now;
            scrollBy(speed.x * elapsed, speed.y * elapsed);
            const keep = FRICTION ** (elapsed / 16);
            speed = { x: speed.x * keep, y: speed.y * keep };
            fling = Math.hypot(speed.x, speed.y) > SLOWEST ? requestAnimationFrame(frame) : 0;
        };
        fling = requestAnimationFrame(frame);
    };

    rows.addEventListener('pointerdown', (event) => {
        if (event.pointerType !== 'touch' || touch || !list.count) return;
        cancelAnimationFrame(fling);
        const at = list.positionAt(event.clientX, event.clientY);
        touch = { id: event.pointerId, x: event.clientX, y: event.clientY, time: event.timeStamp,
            startX: event.clientX, startY: event.clientY, at, mode: 'press', speed: { x: 0, y: 0 } };
        touch.timer = setTimeout(() => {
            touch.mode = 'select';
            list.element.focus();
            list.select(at, { row: at.row, column: at.column + 1 });
        }, LONG_PRESS_MS);
        rows.setPointerCapture(event.pointerId);
    });
    rows.addEventListener('pointermove', (event) => {
        if (!touch || event.pointerId !== touch.id) return;
        if (touch.mode === 'press' && Math.hypot(event.clientX - touch.startX, event.clientY - touch.startY) > SLOP) {
            clearTimeout(touch.timer);
            touch.mode = 'swipe';
        }
        if (touch.mode === 'select') list.select(touch.at, list.positionAt(event.clientX, event.clientY));
        if (touch.mode !== 'swipe') return;
        const [dx, dy, dt] = [touch.x - event.clientX, touch.y - event.clientY, event.timeStamp - touch.time];
        scrollBy(dx, dy);
        const speed = (d) => Math.max(-FASTEST, Math.min(FASTEST, d / Math.max(dt, SHORTEST_MS)));
        touch.speed = { x: speed(dx), y: speed(dy) };
        Object.assign(touch, { x: event.clientX, y: event.clientY, time: event.timeStamp });
    });
    const end = (event) => {
        if (!touch || event.pointerId !== touch.id) return;
        clearTimeout(touch.timer);
        if (touch.mode === 'swipe' && event.timeStamp - touch.time < 100) flingFrom(touch.speed);
        if (touch.mode === 'press' && event.type === 'pointerup') {
            list.clearSelection();
            onTap(touch.at.row, event);
        }
        touch = null;
    };
    rows.addEventListener('pointerup', end);
    rows.addEventListener('pointercancel', end);
    // The long press is the page's own: no menu of the browser's over it.
    rows.addEventListener('contextmenu', (event) => touch && event.preventDefault());
}
