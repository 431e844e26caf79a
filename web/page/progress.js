// Work that takes long (reading, comparing, saving): after a moment its progress shows, with a
// Cancel button that ends it. One piece of work at a time shows; a newer one takes the bar.
const SHOW_AFTER_MS = 300;
const $ = (id) => document.getElementById(id);
let shown = null;

function hide() {
    $('progress').hidden = true;
    $('cancel').hidden = true;
    shown = null;
}

$('cancel').addEventListener('click', () => {
    const { onCancel } = shown || {};
    hide();
    if (onCancel) onCancel();
});

// Starts showing work that `onCancel()` ends: { progress(fraction), end() }. Without a fraction
// the bar only says that work goes on.
export function begin(onCancel) {
    const work = { onCancel };
    clearTimeout(shown && shown.timer);
    shown = work;
    $('progress').removeAttribute('value');
    work.timer = setTimeout(() => {
        $('progress').hidden = shown !== work;
        $('cancel').hidden = shown !== work;
    }, SHOW_AFTER_MS);
    return {
        progress: (fraction) => {
            if (shown !== work) return;
            if (fraction === undefined) $('progress').removeAttribute('value');
            else $('progress').value = fraction;
        },
        end: () => {
            clearTimeout(work.timer);
            if (shown === work) hide();
        },
    };
}
