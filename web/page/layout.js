// The record list beside the dump: folded away and back with a button, and as wide as the
// splitter between them is dragged, or moved with the arrow keys, between a tenth and nine
// tenths of the page. On a narrow screen the style puts the list above the dump instead, and
// the list's heading follows its rows sideways.

const STEP = 2; // percent of the page an arrow key moves the splitter
const [LEAST, MOST] = [10, 90];

export function addLayout({ panes, toggle, splitter, head, list }) {
    list.scroller.addEventListener('scroll', () => (head.scrollLeft = list.scroller.scrollLeft));
    const setWidth = (percent) => {
        const width = Math.round(Math.max(LEAST, Math.min(MOST, percent)));
        panes.style.setProperty('--side-width', `${width}%`);
        splitter.ariaValueNow = `${width}`;
    };
    toggle.addEventListener('click', () => {
        const folded = panes.classList.toggle('folded');
        toggle.ariaExpanded = `${!folded}`;
    });
    splitter.addEventListener('keydown', (event) => {
        const step = { ArrowLeft: -STEP, ArrowRight: STEP }[event.key];
        if (!step) return;
        event.preventDefault();
        setWidth(Number(splitter.ariaValueNow) + step);
    });
    splitter.addEventListener('pointerdown', (event) => {
        splitter.setPointerCapture(event.pointerId);
        const drag = (move) => {
            const box = panes.getBoundingClientRect();
            setWidth(((move.clientX - box.left) * 100) / box.width);
        };
        splitter.addEventListener('pointermove', drag);
        splitter.addEventListener('lostpointercapture', () => splitter.removeEventListener('pointermove', drag), { once: true });
    });
    splitter.ariaValueNow = `${Math.round((document.getElementById('side').offsetWidth * 100) / panes.offsetWidth) || 40}`;
}
