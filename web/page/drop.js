// Files dropped on the page: one opens; two open the first and compare it with the second
// (the first is A); one dropped on Compare or on the compare bar, with a file shown, is
// compared with it.

// Whether a drag carries files.
const carriesFiles = (event) => event.dataTransfer && event.dataTransfer.types.includes('Files');

// `open(file)` resolves true when the file was accepted; `canCompare()` while a file is shown;
// `tell(text)` says why a drop did nothing.
export function listenForDrops({ open, compare, canCompare, compareTargets, tell }) {
    let depth = 0; // dragenter and dragleave come for every element passed over
    const count = (event, step) => {
        if (carriesFiles(event)) depth = Math.max(0, depth + step);
        document.body.classList.toggle('dragging', depth > 0);
    };
    document.addEventListener('dragenter', (event) => count(event, 1));
    document.addEventListener('dragleave', (event) => count(event, -1));
    document.addEventListener('dragover', (event) => {
        if (!carriesFiles(event)) return;
        event.preventDefault();
        event.dataTransfer.dropEffect = 'copy';
    });
    document.addEventListener('drop', async (event) => {
        event.preventDefault();
        depth = 0;
        document.body.classList.remove('dragging');
        const [first, second] = event.dataTransfer.files;
        if (!first) return;
        // Which two of three or more the reader meant is not for the page to guess.
        const { length } = event.dataTransfer.files;
        if (length > 2) return void tell(`${length} files were dropped: drop one to open it, or two to compare them.`);
        const onCompare = compareTargets.some((target) => target.contains(event.target));
        if (!second && onCompare && canCompare()) compare(first);
        else if ((await open(first)) && second) compare(second);
    });
}
