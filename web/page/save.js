// Save as text: the dump exactly as qefdump writes it, CR LF included, made of pieces of the
// core's output in a Blob; the whole text is never one string.
import * as core from './core.js';

const LINES_A_PIECE = 8192;

// Downloads the dump of the shown file in `mode` as NAME.txt; `onProgress(percent)` as it goes.
// '' once the download holds the whole dump, else why nothing was saved: another file took
// the shown one's place, or memory ran out.
export async function saveAsText(name, mode, onProgress = () => {}) {
    const version = core.shownFileVersion();
    const count = core.lineCount(core.SHOWN);
    const pieces = [];
    for (let first = 0; first < count; first += LINES_A_PIECE) {
        const piece = core.dumpBytes(core.SHOWN, first, LINES_A_PIECE, mode);
        if (!piece.length) return core.NO_MEMORY; // the core had no room for the lines
        pieces.push(piece);
        if ((first / LINES_A_PIECE) % 64 === 63) {
            onProgress(Math.floor((first * 100) / count));
            await new Promise((resolve) => setTimeout(resolve)); // let the page draw
            if (core.shownFileVersion() !== version) return `${name} was not saved: another file was opened.`;
        }
    }
    const url = URL.createObjectURL(new Blob(pieces, { type: 'text/plain' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = `${name}.txt`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
    return '';
}
