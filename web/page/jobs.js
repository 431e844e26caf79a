// Long work as jobs: reading a file, comparing, saving, counting, a search of the whole file.
// Each has a name, its own line in the status bar's list with its progress and its own Cancel
// (Escape cancels the newest), and ends with a line that says what it did, kept beside the
// lines of the jobs before it: no job takes another's bar, Cancel or message.
const SHOW_AFTER_MS = 300; // work that ends sooner never shows a bar
const KEPT_ENDS = 3; // the lines of ended jobs kept in the list
const $ = (id) => document.getElementById(id);
const running = []; // the jobs not ended, oldest first

// A file's name for a text: isolated (U+2068 ... U+2069) when it holds anything past ASCII, so
// that a right-to-left override in it turns no text around it.
export const nameOf = ({ name }) => (/^[\x20-\x7e]*$/.test(name) ? name : `\u2068${name}\u2069`);

function count() {
    document.body.dataset.jobs = running.length;
}

function element(name, attributes, text) {
    const made = Object.assign(document.createElement(name), attributes);
    if (text !== undefined) made.textContent = text;
    return made;
}

// Starts a job named `name` ("Reading a.qef"): { progress(fraction), end(text), cancelled }.
// Cancel ends it at once, saying so, and calls `onCancel()`: whatever the work answers after
// that is not the page's any more, and its end(text) says nothing. Without a fraction the bar
// only says that work goes on.
export function startJob(name, onCancel = () => {}) {
    const bar = element('progress', { max: 1, ariaLabel: `${name}: progress` });
    const cancel = element('button', { type: 'button', className: 'job-cancel', ariaLabel: `Cancel ${name}` }, 'Cancel');
    const line = element('li', { className: 'job', hidden: true });
    line.dataset.started = performance.now();
    line.append(element('span', {}, `${name}...`), bar, cancel);
    $('jobs').append(line);
    const job = { ended: false, cancelled: false, name };
    const timer = setTimeout(() => (line.hidden = false), SHOW_AFTER_MS);

    job.end = (text) => {
        if (job.ended) return;
        job.ended = true;
        clearTimeout(timer);
        running.splice(running.indexOf(job), 1);
        count();
        if (!text) {
            line.remove();
            return;
        }
        line.replaceChildren(text);
        line.className = 'job-end';
        line.hidden = false;
        const ends = $('jobs').querySelectorAll('.job-end');
        for (let k = 0; k < ends.length - KEPT_ENDS; k++) ends[k].remove();
    };
    job.progress = (fraction) => {
        if (fraction === undefined) bar.removeAttribute('value');
        else bar.value = fraction;
    };
    job.cancel = () => {
        if (job.ended) return;
        // The button goes: what had focus on it goes back to the dump.
        if (line.contains(document.activeElement)) $('dump').focus();
        job.cancelled = true;
        job.end(`${name}: cancelled.`);
        onCancel();
    };
    cancel.addEventListener('click', job.cancel);
    running.push(job);
    count();
    return job;
}

// Runs `work()` for `job`: when it throws (its core was replaced, or a fault), the job ends
// saying so, and the error goes on to the page's one handler of faults.
export async function guarded(job, work) {
    try {
        return await work();
    } catch (error) {
        job.end(`${job.name}: stopped, ${error.reason || 'internal error'}.`);
        throw error;
    }
}

document.addEventListener('keydown', (event) => {
    if (event.key !== 'Escape' || !running.length) return;
    event.preventDefault();
    running.at(-1).cancel();
});
