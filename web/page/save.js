// Save as text: the dump exactly as qefdump writes it, CR LF included, made by the core's worker
// in pieces of a Blob (the whole text is never one string), then downloaded.
import * as core from './core.js';
import { begin } from './progress.js';

const FAILURES = { replaced: 'another file was opened', cancelled: 'cancelled' };

// Downloads the dump of the shown file, `name`, in `mode` as NAME.txt, telling `note(text)` how
// it goes; "Saved" only once the download holds the whole dump.
export async function saveAsText(name, mode, note) {
    let id = 0;
    note('Saving...');
    const work = begin(() => core.cancel(id));
    const saved = await core.save(mode, {
        onStart: (started) => (id = started),
        onProgress: (fraction) => {
            work.progress(fraction);
            note(`Saving... ${Math.floor(fraction * 100)}%`);
        },
    });
    work.end();
    if (!(saved instanceof Blob)) {
        note(saved === 'no memory' ? core.NO_MEMORY : `${name} was not saved: ${FAILURES[saved]}.`);
        return;
    }
    const url = URL.createObjectURL(saved);
    const link = document.createElement('a');
    link.href = url;
    link.download = `${name}.txt`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
    note(`Saved the dump of ${name}.`);
}
