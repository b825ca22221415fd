// The WebAssembly build under Node.js against the native program: for each
// image given (and each file of each directory given), both run in empty
// directories of their own, and must agree on the exit status, every
// message (the native program's Shift_JIS, the WebAssembly build's UTF-8)
// and every file, name and bytes. The WebAssembly build runs as the page
// runs it, told of each disk, and its crossings between JavaScript and the
// module must stay within their budgets (core_run.js), and the CRC-32 it
// gives of each file for the page's zip must be the file's.
//   node web/core_test.mjs NATIVE MODULE IMAGE|DIRECTORY...
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import process from 'node:process';
import { fileURLToPath } from 'node:url';
import { budgetOf } from './core_run.js';

const [native, modulePath, ...inputs] =
  process.argv.slice(2).map((p) => path.resolve(p));
const runner = path.join(path.dirname(fileURLToPath(import.meta.url)),
                         'run_core.mjs');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'dorvex-core-test-'));
const countsFile = path.join(scratch, 'counts.json');

function run(command, args, decoding, env = {}) {
  const dir = fs.mkdtempSync(path.join(scratch, 'run-'));
  const result = spawnSync(command, args, { cwd: dir, maxBuffer: 1 << 26,
                                            env: { ...process.env, ...env } });
  const decode = (bytes) => new TextDecoder(decoding).decode(bytes);
  const files = fs.readdirSync(dir).sort().map(
    (name) => [name, fs.readFileSync(path.join(dir, name))]);
  fs.rmSync(dir, { recursive: true, force: true });
  return { status: result.status, out: decode(result.stdout),
           err: decode(result.stderr), files };
}

const images = inputs.flatMap((input) => fs.statSync(input).isDirectory()
  ? fs.readdirSync(input).sort().map((name) => path.join(input, name))
  : [input]);
let failed = 0;
for (const image of images) {
  const want = run(native, [image], 'shift_jis');
  const got = run(process.execPath, [runner, modulePath, image], 'utf-8',
                  { DORVEX_OBSERVE: '1', DORVEX_REPORT_COUNTS: countsFile });
  const problems = [];
  const counts = JSON.parse(fs.readFileSync(countsFile, 'utf8'));
  fs.rmSync(countsFile);
  const budget = budgetOf(counts);
  if (counts.crcWrong !== 0) problems.push(`${counts.crcWrong} files' CRC-32 wrong`);
  for (const what of ['calls', 'bytesIn', 'bytesOut']) {
    if (counts[what] > budget[what]) problems.push(`${what} ${counts[what]}, over its budget ${budget[what]}`);
  }
  if (got.status !== want.status) problems.push(`status ${got.status}, not ${want.status}`);
  if (got.out !== want.out) problems.push('standard output differs');
  if (got.err !== want.err) problems.push(`standard error differs: ${got.err.slice(0, 200)}`);
  const names = (r) => r.files.map(([name]) => name).join(' ');
  if (names(got) !== names(want)) problems.push('the files\' names differ');
  else if (got.files.some(([, bytes], i) => !bytes.equals(want.files[i][1]))) {
    problems.push('a file\'s bytes differ');
  }
  const label = `${path.basename(image)}: ${want.files.length} files, ` +
    `${want.out.split('\n').length - 1 + want.err.split('\n').length - 1} lines`;
  if (problems.length > 0) {
    failed += 1;
    console.error(`DIFFERS   ${label}: ${problems.join('; ')}`);
  } else {
    console.log(`same      ${label}; calls ${counts.calls} (budget ${budget.calls}), ` +
                `bytes in ${counts.bytesIn} (${budget.bytesIn}), out ${counts.bytesOut} (${budget.bytesOut})`);
  }
}
fs.rmSync(scratch, { recursive: true, force: true });
console.log(`${images.length - failed} of ${images.length} images alike`);
process.exitCode = failed === 0 ? 0 : 1;
