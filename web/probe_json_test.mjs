// The page's JSON of an image against dorvex-probe's: for each image given
// (and each .d88 file of each directory given), the WebAssembly build runs
// it under Node.js with the page's hooks, the page's probe_json.js makes
// the line from the disks it read, and it must equal, key for key, the line
// the native dorvex-probe prints for the same image under the same name.
// What dorvex-probe --salvage writes must be what the page's salvaged zip
// holds: the same readable parts, and MISSING.txt in English and Japanese.
//   node web/probe_json_test.mjs PROBE MODULE IMAGE|DIRECTORY...
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import process from 'node:process';

import { imageReader, newCounts, partsOf, runOn } from './core_run.js';
import { diskOf, isDoubtful, missingText, readDisk } from './explain.js';
import { probeJson } from './probe_json.js';

const [probe, modulePath, ...inputs] = process.argv.slice(2).map((p) => path.resolve(p));
const createDorvex = createRequire(import.meta.url)(modulePath);
const images = inputs.flatMap((input) => fs.statSync(input).isDirectory()
  ? fs.readdirSync(input).filter((name) => name.endsWith('.d88')).sort()
    .map((name) => path.join(input, name))
  : [input]);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'dorvex-probe-json-'));
// Each run of the module listens to the process anew.
process.setMaxListeners(0);

// What the page makes of `image`: its JSON, and its salvaged zip's files
// (name to bytes) for each language, as the worker gathers them.
async function pageRun(image) {
  const disks = [];
  const salvaged = [];
  const doubtful = [];
  let pending = [];
  let dorvex = null;
  // The image in memory, as the page's worker lends it to the program.
  const bytes = fs.readFileSync(image);
  const reader = imageReader(partsOf(bytes), newCounts());
  dorvex = await createDorvex({
    print: () => {},
    printErr: () => {},
    readImage: reader.readImage,
    onSalvage: (file, pointer, length) => {
      pending.push({ file, bytes: dorvex.HEAPU8.slice(pointer, pointer + length) });
    },
    onDisk: () => {
      const read = readDisk(dorvex);
      const disk = diskOf(read);
      disks.push(disk);
      if (isDoubtful(read)) doubtful.push(disk);
      for (const part of pending) salvaged.push({ disk, file: disk.files[part.file], bytes: part.bytes });
      pending = [];
    },
  });
  reader.attach(dorvex);
  const status = runOn(dorvex, '/image/' + path.basename(image), bytes.length);
  assert.equal(status, 0, `${image} opens`);
  const zips = {};
  for (const lang of ['en', 'ja']) {
    const files = {};
    if (salvaged.length > 0 || doubtful.length > 0) {
      for (const { file, bytes } of salvaged) files[file.salvage] = Buffer.from(bytes);
      files['MISSING.txt'] = Buffer.from(missingText(salvaged, lang, doubtful), 'utf8');
    }
    zips[lang] = files;
  }
  return { json: probeJson(path.basename(image), bytes.length, disks), zips };
}

// What dorvex-probe --salvage writes for `image` in the locale `lang`.
function probeSalvage(image, lang) {
  const into = fs.mkdtempSync(path.join(scratch, 'salvage-'));
  const env = { ...process.env, LC_ALL: lang, LC_MESSAGES: '', LANG: lang };
  const run = spawnSync(probe, ['--salvage', into, image], { env });
  assert.equal(run.status, 0, `${image} salvaged: ${run.stderr}`);
  const dir = path.join(into, path.basename(image));
  const files = {};
  if (fs.existsSync(dir)) {
    for (const name of fs.readdirSync(dir)) files[name] = fs.readFileSync(path.join(dir, name));
  }
  fs.rmSync(into, { recursive: true, force: true });
  return files;
}

let failed = 0;
for (const image of images) {
  const native = spawnSync(probe, [path.basename(image)], { cwd: path.dirname(image) });
  const want = JSON.parse(native.stdout.toString('utf8'));
  const got = await pageRun(image);
  try {
    assert.deepStrictEqual(got.json, want);
    assert.deepStrictEqual(probeSalvage(image, 'C.UTF-8'), got.zips.en, 'salvaged, in English');
    assert.deepStrictEqual(probeSalvage(image, 'ja_JP.UTF-8'), got.zips.ja, 'salvaged, in Japanese');
    const parts = Object.keys(got.zips.en).length;
    console.log(`same      ${path.basename(image)}: ${want.disks.length} disks, ` +
                `its salvaged zip ${parts} files`);
  } catch (error) {
    failed += 1;
    console.error(`DIFFERS   ${path.basename(image)}: ${error.message.slice(0, 2000)}`);
  }
}
fs.rmSync(scratch, { recursive: true, force: true });
console.log(`${images.length - failed} of ${images.length} images alike`);
process.exitCode = failed === 0 && images.length > 0 ? 0 : 1;
