// Builds dorvex.html, one self-contained page that works from file:// with
// no server and no network: the page's script, the worker's (fflate, the
// runtime of the WebAssembly build of dorvex, the program's bytes, the
// worker and what it runs the program with) and the licenses, inline. Its Content-Security-Policy allows
// nothing to be fetched: only its own inline script and style by their
// hashes, the worker from a blob, and WebAssembly compiled from bytes.
// The same inputs give the same bytes.
//   node web/build.mjs MODULE VERSION OUTPUT
// MODULE: the build's dorvex_web.js, with dorvex_web.wasm beside it.
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

if (process.argv.length !== 5) {
  process.stderr.write('usage: node build.mjs MODULE VERSION OUTPUT\n');
  process.exit(2);
}
const [modulePath, version, output] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
const read = (file) => fs.readFileSync(file, 'utf8');
const fflateDir = path.join(here, 'node_modules', 'fflate');

// Text that may stand inside an HTML element: nothing can end it early.
const escapeHtml = (s) =>
  s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
const sha256 = (s) => crypto.createHash('sha256').update(s, 'utf8').digest('base64');

// A worker's script is plain text inside a <script type="text/plain">: no
// "</script" may stand in it, so every "</" is written "<\/" , which means
// the same inside the JavaScript strings and regular expressions it can
// occur in.
const program = fs.readFileSync(modulePath.replace(/\.js$/, '.wasm'));
// explain.js, an ES module for its own test, goes ahead of both scripts as
// plain declarations.
const explain = read(path.join(here, 'explain.js')).replace(/^export /gm, '');
const workerSource = [
  read(path.join(fflateDir, 'umd/index.js')),
  read(modulePath),
  `const kProgram = '${program.toString('base64')}';`,
  explain,
  read(path.join(here, 'core_run.js')).replace(/^export /gm, ''),
  read(path.join(here, 'worker.js')),
].join('\n;\n').replace(/<\//g, '<\\/');
if (/<!--|<script/i.test(workerSource)) {
  throw new Error('the worker source holds text that HTML would parse');
}
// probe_json.js, the page's JSON of an image, after it, its import gone.
const probeJson = read(path.join(here, 'probe_json.js'))
  .replace(/^import .*\n/gm, '').replace(/^export /gm, '');
const page = explain + '\n' + probeJson + '\n' + read(path.join(here, 'page.js'));
const style = read(path.join(here, 'page.css'));
const licenses = [
  'dorvex\n\n' + read(path.join(here, '..', 'LICENSE')),
  'fflate\n\n' + read(path.join(fflateDir, 'LICENSE')),
  'Emscripten (its runtime in this page)\n\n' +
    'Copyright (c) 2010-2014 Emscripten authors, see AUTHORS file.\n' +
    'Licensed under the MIT license and the University of Illinois/NCSA ' +
    'Open Source License.',
].join('\n\n----\n\n');

const csp = [
  "default-src 'none'",
  `script-src 'sha256-${sha256(page)}' 'wasm-unsafe-eval'`,
  'worker-src blob:',
  `style-src 'sha256-${sha256(style)}'`,
  'img-src data:',
  "base-uri 'none'",
  "form-action 'none'",
].join('; ');

const html = read(path.join(here, 'page.html'))
  .replace('@CSP@', () => csp)
  .replace('@STYLE@', () => style)
  .replace('@VERSION@', () => version)
  .replace('@LICENSES@', () => escapeHtml(licenses))
  .replace('@WORKER@', () => workerSource)
  .replace('@PAGE@', () => page);
fs.writeFileSync(output, html);
