// Save as text: the dump exactly as qefdump writes it, CR LF included, made by the core's worker
// in pieces of a Blob (the whole text is never one string), then downloaded.
import * as core from './core.js';
import { startJob, guarded, nameOf } from './jobs.js';


// Downloads the dump of the shown file, `file`, in `mode` as its name and .txt, as a job whose
// end says "Saved" only once the download holds the whole dump.
export async function saveAsText(file, mode) {
    const name = nameOf(file);
    let id = 0;
    const job = startJob(`Saving ${name}.txt`, () => core.cancel(id));
    const saved = await guarded(job, () => core.save(mode, { onStart: (started) => (id = started), onProgress: job.progress }));
    if (job.cancelled) return;
    if (!(saved instanceof Blob)) {
        job.end(saved === 'replaced' ? `${name} was not saved: another file was opened.` : `${name} was not saved. ${core.NO_MEMORY}`);
        return;
    }
    const url = URL.createObjectURL(saved);
    const link = document.createElement('a');
    link.href = url;
    link.download = `${file.name}.txt`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
    job.end(`Saved the dump of ${name}.`);
}
