// Save as text: the dump exactly as qefdump writes it, CR LF included, made of pieces of the
// core's output in a Blob; the whole text is never one string.
import * as core from './core.js';

const LINES_A_PIECE = 8192;

// Downloads the dump of the shown file in `mode` as NAME.txt; `onProgress(percent)` as it goes.
// False, and nothing saved, when `current()` turns false because another file was opened.
export async function saveAsText(name, mode, current, onProgress = () => {}) {
    const count = core.lineCount(core.SHOWN);
    const pieces = [];
    for (let first = 0; first < count; first += LINES_A_PIECE) {
        pieces.push(core.dumpBytes(core.SHOWN, first, LINES_A_PIECE, mode));
        if ((first / LINES_A_PIECE) % 64 === 63) {
            onProgress(Math.floor((first * 100) / count));
            await new Promise((resolve) => setTimeout(resolve)); // let the page draw
            if (!current()) return false;
        }
    }
    const url = URL.createObjectURL(new Blob(pieces, { type: 'text/plain' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = `${name}.txt`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
    return true;
}
