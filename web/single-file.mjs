// single-file.mjs FOLDER OUT: the page in FOLDER (index.html, its modules, its style, the
// WebAssembly core) as one HTML file that works opened from disk, where a browser loads no
// module and fetches nothing.
//
// Every module the page reaches (by `import`, `export ... from`, `import()` or
// `new URL("name", import.meta.url)`, as a worker is started) goes into the file as text, and
// any other file named by `new URL` (the WebAssembly) as base64. One inline script, allowed by
// its hash in the file's Content-Security-Policy, turns each into a data: URL, the ones a
// module names first, writing those URLs into its text in place of the names, and imports the
// page's entry module. Data, not Blob, URLs: Chromium starts no module worker from a Blob URL
// of a page opened from disk, but does from a data: URL, whose imports are data: URLs too.
// The style is inline, allowed by its hash too; the icon a data: URL.
import { readFileSync, writeFileSync } from 'node:fs';
import { createHash } from 'node:crypto';
import { posix } from 'node:path';

const [folder, out] = process.argv.slice(2);
const TYPES = { '.js': 'text/javascript', '.mjs': 'text/javascript', '.wasm': 'application/wasm', '.svg': 'image/svg+xml' };
// A relative name in a module: what imports and exports name, and what a `new URL` resolves.
const IMPORT = /(\b(?:import|export)\s*(?:[\w*{}\s,$]+?\s*from\s*)?|\bimport\s*\(\s*)(['"])(\.{1,2}\/[^'"\n]+)\2/g;
const NEW_URL = /new\s+URL\(\s*(['"])([^'"\n]+)\1\s*,\s*import\.meta\.url\s*\)/g;

const read = (name) => readFileSync(posix.join(folder, name));
const typeOf = (name) => TYPES[posix.extname(name)] || 'application/octet-stream';
const isModule = (name) => typeOf(name) === 'text/javascript';
const hash = (text) => `'sha256-${createHash('sha256').update(text).digest('base64')}'`;

// The files the entry reaches, each after those it names; their names become placeholders.
function collect(entry) {
    const files = [];
    const seen = new Set();
    const visit = (name, path) => {
        if (path.includes(name)) throw new Error(`${name}: modules that import each other are not supported`);
        if (seen.has(name)) return;
        seen.add(name);
        if (!isModule(name)) {
            files.push({ name, type: typeOf(name), base64: read(name).toString('base64') });
            return;
        }
        const named = (target) => {
            const resolved = posix.normalize(posix.join(posix.dirname(name), target));
            visit(resolved, [...path, name]);
            return `@@${resolved}@@`;
        };
        const text = read(name).toString('utf8')
            .replace(IMPORT, (_, head, quote, target) => `${head}${quote}${named(target)}${quote}`)
            .replace(NEW_URL, (_, quote, target) => `new URL(${quote}${named(target)}${quote})`);
        files.push({ name, type: typeOf(name), text });
    };
    visit(entry, []);
    return files;
}

// The inline script: the files as data, made into data: URLs in order, then the entry imported.
function bootstrap(files, entry) {
    const data = JSON.stringify(files).replace(/</g, '\\u003c'); // nothing in it closes the script
    return `
const files = ${data};
const urls = {};
const base64 = (text) => {
    const bytes = new TextEncoder().encode(text);
    let binary = '';
    for (let at = 0; at < bytes.length; at += 0x8000) binary += String.fromCharCode(...bytes.subarray(at, at + 0x8000));
    return btoa(binary);
};
for (const { name, type, text, base64: bytes } of files) {
    const body = bytes ?? base64(text.replace(/@@([^@\\s]+)@@/g, (_, used) => urls[used]));
    urls[name] = \`data:\${type};base64,\${body}\`;
}
import(urls[${JSON.stringify(entry)}]);
`;
}

let html = read('index.html').toString('utf8');
const scripts = [];
const styles = [];
html = html.replace(/<script type="module" src="([^"]+)"><\/script>/g, (_, entry) => {
    const script = bootstrap(collect(entry), entry);
    scripts.push(hash(script));
    return `<script type="module">${script}</script>`;
});
html = html.replace(/<link rel="stylesheet" href="([^"]+)">/g, (_, name) => {
    const style = read(name).toString('utf8');
    styles.push(hash(style));
    return `<style>${style}</style>`;
});
html = html.replace(/<link rel="icon" href="([^"]+)" type="([^"]+)">/g,
    (_, name, type) => `<link rel="icon" href="data:${type};base64,${read(name).toString('base64')}" type="${type}">`);
// The page's own policy, with the inline script and style named by hash, and data: URLs, which
// only that script makes: the modules, a worker and the WebAssembly they fetch.
const policy = `default-src 'none'; script-src ${scripts.join(' ')} data: 'wasm-unsafe-eval'; worker-src data:; ` +
    `connect-src data:; style-src ${styles.join(' ')}; img-src data:; base-uri 'none'; form-action 'none'`;
const csp = /(<meta http-equiv="Content-Security-Policy" content=")[^"]*(")/;
if (!csp.test(html) || /<script[^>]*\ssrc=|<link rel="stylesheet"/.test(html)) {
    throw new Error('index.html: a Content-Security-Policy, and only module scripts and one style, are expected');
}
writeFileSync(out, html.replace(csp, `$1${policy}$2`));
