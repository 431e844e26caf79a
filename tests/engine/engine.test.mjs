// qefdump's JSON Lines as an engine reads them: DuckDB (as package-lock.json pins it, its JSON
// reader built in, nothing installed at run time) counts per file what qefdump counts itself.
import { DuckDBInstance } from '@duckdb/node-api';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, renameSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const qefdump = process.env.QEFDUMP ?? join(root, 'build/native/cli/qefdump');
const qefgen = process.env.QEFGEN ?? join(root, 'build/native/tools/qefgen');

// Names a shell or a JSON writer could get wrong, each a sample of its own seed and size.
// The last is renamed to bytes that are not UTF-8: "caf", E9, " ", FF, ".qef".
const Names = [`it's "quoted".qef`, 'with space.qef', 'back\\slash.qef', 'plain.qef'];
const RawName = Buffer.from('636166e920ff2e716566', 'hex');
let work, db;

// What qefdump writes, run in the work folder over the folder "d"; a search's 1 (nothing found)
// is an answer too.
function qefdumpOver(...args) {
  const run = spawnSync(qefdump, [...args, 'd'], { cwd: work });
  assert.ok(run.status === 0 || run.status === 1, String(run.stderr));
  return run.stdout;
}

// The rows DuckDB gives for `sql` over the JSON Lines `lines`, written to a file of their own.
async function query(sql, lines, name) {
  const path = join(work, name);
  writeFileSync(path, lines);
  const connection = await db.connect();
  const reader = await connection.runAndReadAll(sql.replaceAll('FILE', `'${path}'`));
  return reader.getRowObjects().map((row) =>
    Object.fromEntries(Object.entries(row).map(([key, value]) => [key, String(value)])));
}

// The total line of each file's --stats table, as [records, bytes] per file.
function statsTotals(...args) {
  const lines = qefdumpOver('-r', '--stats', '--null', ...args).toString().split('\n');
  return Object.fromEntries(lines.filter((line) => line.includes('\0total '))
    .map((line) => [line.split('\0')[0], line.split('\0')[1].trim().split(/ +/).slice(1)]));
}

before(async () => {
  work = mkdtempSync(join(tmpdir(), 'qef-engine-'));
  mkdirSync(join(work, 'd'));
  Names.forEach((name, k) =>
    execFileSync(qefgen, ['--seed', String(k + 3), '--size', String(20000 + 7919 * k), '-o',
      join(work, 'd', name)]));
  renameSync(join(work, 'd', 'plain.qef'), Buffer.concat([Buffer.from(join(work, 'd', '/')), RawName]));
  db = await DuckDBInstance.create(':memory:', {
    autoinstall_known_extensions: 'false', autoload_known_extensions: 'false' });
});

after(() => rmSync(work, { recursive: true, force: true }));

test('records, hits and tag statistics counted per file by DuckDB are qefdump\'s', async () => {
  const byFile = (rows, ...keys) => Object.fromEntries(rows.map((row) => [row.file, keys.map((key) => row[key])]));
  const totals = statsTotals();
  assert.equal(Object.keys(totals).length, Names.length);

  const listed = qefdumpOver('-r', '--records', '--json');
  const records = await query('SELECT file, count(*) AS n, sum(size) AS bytes FROM read_json(FILE) ' +
    'GROUP BY file', listed, 'records.jsonl');
  // The name that is not UTF-8 reads back whole from its hexadecimal form.
  const raw = await query('SELECT DISTINCT file_hex FROM read_json(FILE) WHERE file_hex IS NOT NULL',
    listed, 'raw.jsonl');
  assert.deepEqual(raw.map((row) => Buffer.from(row.file_hex, 'hex')), [Buffer.concat([Buffer.from('d/'), RawName])]);
  const stats = await query('SELECT file, sum(records) AS n, sum(bytes) AS bytes FROM ' +
    'read_json(FILE) GROUP BY file', qefdumpOver('-r', '--stats', '--json'), 'stats.jsonl');
  for (const rows of [records, stats]) assert.deepEqual(byFile(rows, 'n', 'bytes'), totals);

  // Every file holds the signature; the other pattern is in some files only.
  const hits = await query('SELECT file, count(*) AS n FROM read_json(FILE) GROUP BY file',
    qefdumpOver('-r', '--find', 'info', '--find-hex', '0A 50', '--json'), 'hits.jsonl');
  // grep -c's answer per file, as [count], from its "NAME\0COUNT" lines (--null).
  const counted = Object.fromEntries(qefdumpOver('-r', '-c', '--null', '--find', 'info', '--find-hex', '0A 50').toString()
    .split('\n').filter(Boolean).map((line) => line.split('\0')).map(([name, count]) => [name, [count]]));
  assert.deepEqual(byFile(hits, 'n'), counted);
  assert.equal(hits.length, Names.length);
});

test('the README\'s query names the files that hold a tag and its bytes', async () => {
  const readme = readFileSync(join(root, 'README.md'), 'utf8');
  const [, tag, sql] = readme.match(/qefdump -r --stats --json --tag (\S+) \S+ \|\s*duckdb -c "([^"]+)"/);
  const shown = await query(sql.replace("read_json('/dev/stdin')", 'read_json(FILE)'),
    qefdumpOver('-r', '--stats', '--json', '--tag', tag), 'tag.jsonl');
  const own = statsTotals('--tag', tag);
  // Files without the tag have no line of it, and a total of 0 in the table.
  const holding = Object.fromEntries(Object.entries(own)
    .filter(([, [records]]) => records !== '0').map(([name, [, bytes]]) => [name, bytes]));
  assert.deepEqual(Object.fromEntries(shown.map((row) => [row.file, row.bytes])), holding);
  assert.ok(shown.length > 0);
});
