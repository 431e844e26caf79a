// Damaged files: one refused for where its record chain breaks, or for its signature, may be
// opened as what survives of it, its intact records and the damaged regions between them, which
// the dump and the record list mark. Save repaired file downloads the intact records, in order,
// as a module-info file. Where it breaks and what survives are the core's findings.
import * as core from './core.js';
import { startJob, guarded, nameOf } from './jobs.js';
import { plural } from './numbers.js';

const $ = (id) => document.getElementById(id);

// "broken.qef" -> "broken.repaired.qef": the name says what the file is.
function repairedName(name) {
    const dot = name.lastIndexOf('.');
    return dot > 0 ? `${name.slice(0, dot)}.repaired${name.slice(dot)}` : `${name}.repaired`;
}

// `open(file, { salvage })` opens a file, `file()` is the page's file shown ({ name, damage }).
export function addSalvage({ open, file }) {
    let offered = null;

    function offer(chosen) {
        offered = chosen;
        $('salvage-bar').hidden = !chosen;
        if (chosen) $('salvage-name').textContent = nameOf(chosen);
    }

    $('salvage').addEventListener('click', () => {
        const chosen = offered;
        offer(null);
        if (chosen) open(chosen, { salvage: true });
    });

    // The whole repaired file, copied from the core in one piece, as a job whose end says that
    // it was saved, or that it was not and why.
    $('save-repaired').addEventListener('click', async () => {
        const shown = file();
        if (!shown || !shown.damage) return;
        const name = repairedName(shown.name);
        const told = nameOf({ name }); // as every job tells a file's name
        const job = startJob(`Saving ${told}`);
        const saved = await guarded(job, () => core.repaired(Number($('repair-signature').value)));
        if (job.cancelled) return;
        if (file() !== shown) {
            job.end(`${told} was not saved: another file was opened.`);
        } else if (!(saved instanceof Blob)) {
            const why = saved === 'no signature' ? 'the signature record did not survive; choose one to write.' : core.NO_MEMORY;
            job.end(`${told} was not saved: ${why}`);
        } else {
            const url = URL.createObjectURL(saved);
            const link = document.createElement('a');
            link.href = url;
            link.download = name;
            link.click();
            setTimeout(() => URL.revokeObjectURL(url), 60_000);
            job.end(`Saved ${told}: ${plural(shown.records, 'intact record')}.`);
        }
    });

    return {
        // A refused file that could be salvaged is offered, until the next open ends.
        offer,
        // The file shown: Save repaired file is there for a salvaged one, and the choice of a
        // signature record to write when its own was lost.
        shown(shownFile) {
            offer(null);
            $('save-repaired').hidden = !shownFile.damage;
            $('repair-signature').hidden = !shownFile.damage || shownFile.signed;
            $('repair-signature').value = '0';
        },
    };
}
