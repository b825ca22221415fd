// One run of the WebAssembly program in memory, as the page's worker and
// the Node.js runner (run_core.mjs) both make it: the image kept here and
// each part copied into the module as the command reads it, each file the
// run left taken once from the module's memory, and every crossing between
// JavaScript and the module counted. The page's build puts it, without its `export`s, ahead of the
// worker's script.

// What a run may cost in crossings, whatever its image: the counts repeat
// on any machine, so CI gates on them (web/core_test.mjs, on every image it
// runs); docs/performance.md gives each budget's reason and today's counts.
export const kBudgets = {
  // The image's bytes into the module: only those the program reads, each
  // copied once as it reads it, and never the whole image ahead. A run told
  // of each disk reads a disk's headers again at its end (its sectors'
  // marks): about 2.2 passes on the benchmark's images, against 1 for the
  // console's run; a small image is read twice over from its start.
  imagePasses: 2.5,
  imageSlack: 128 * 1024,
  // The files' bytes out of it: each file the run left once, and each
  // readable part of a failed file once.
  filePasses: 1,
  // Calls between JavaScript and the module, either way: a run's own few;
  // per message line its printing and the page's one look at the figures;
  // per disk the page's reading of what the run found (some 20 calls, the
  // tables one call each); per 64 KiB the program reads, a copy of a part
  // of the image (its buffer fills 96 to 128 KiB at a time).
  callsPerRun: 16,
  callsPerLine: 2,
  callsPerDisk: 24,
  callsPerImageBlock: 1,
  imageBlock: 64 * 1024,
};

// The counts of a run so far.
export function newCounts() {
  return { calls: 0, bytesIn: 0, bytesOut: 0, lines: 0, disks: 0 };
}

// Each count's most for a run over `disks` disks that wrote `lines` lines,
// read `bytesIn` bytes of an image of `imageBytes` and left `fileBytes`
// bytes of files (readable parts included).
export function budgetOf({ lines, disks, bytesIn, imageBytes, fileBytes }) {
  const b = kBudgets;
  return {
    calls: b.callsPerRun + b.callsPerLine * lines + b.callsPerDisk * disks +
           b.callsPerImageBlock * Math.ceil(bytesIn / b.imageBlock),
    bytesIn: Math.floor(b.imagePasses * imageBytes) + b.imageSlack,
    bytesOut: b.filePasses * fileBytes,
  };
}

// Makes every function the module exports count a call in `counts`. The
// module's calls into JavaScript (print, onDisk, onSalvage) are counted by
// the hooks that take them. The runtime puts each function in place at its
// first call, over what stood there: that goes behind the count too.
export function countCalls(dorvex, counts) {
  for (const name of Object.keys(dorvex)) {
    if (!name.startsWith('_dorvex_') || typeof dorvex[name] !== 'function') continue;
    let call = dorvex[name];
    const counted = (...args) => { counts.calls += 1; return call(...args); };
    Object.defineProperty(dorvex, name, {
      get: () => counted,
      set: (replaced) => { call = replaced; },
    });
  }
}

// The module's option readImage, for an image whose part from `offset`
// `copyPart(offset, target)` copies into `target` (a view of the module's
// memory) and counts: the page's copies from the bytes it read, the
// Node.js runner's reads the file itself.
export function imageReader(copyPart, counts) {
  let dorvex = null;
  const readImage = (offset, dst, length) => {
    counts.calls += 1;
    const copied = copyPart(offset, dorvex.HEAPU8.subarray(dst, dst + length));
    counts.bytesIn += copied;
    return copied;
  };
  return { readImage, attach: (module) => { dorvex = module; } };
}

// copyPart for an image held in `bytes`.
export function partsOf(bytes) {
  return (offset, target) => {
    const part = bytes.subarray(offset, offset + target.length);
    target.set(part);
    return part.length;
  };
}

// Runs the command on the image of `size` bytes that the module's
// readImage copies in, under `path`, as `dorvex path` would. Returns its
// exit status.
export function runOn(dorvex, path, size) {
  const status = dorvex.ccall('dorvex_run', 'number', ['string', 'number'], [path, size]);
  if (status < 0) throw new Error('no room in the program\'s memory for its files');
  return status;
}

// The files the last run left, in name order (a later disk's file has
// replaced an earlier one of the same name, as on a console), each `bytes`
// a view of the module's memory: valid until the module runs again.
export function filesOf(dorvex) {
  const fields = dorvex._dorvex_output_fields();
  if (fields !== 3) throw new Error(`the program gives ${fields} figures a file, the page reads 3`);
  const count = dorvex._dorvex_output_count();
  const at = dorvex._dorvex_output_table() >> 2;
  const table = dorvex.HEAP32;
  const files = [];
  for (let i = 0; i < count; ++i) {
    const [name, data, length] = table.subarray(at + 3 * i, at + 3 * i + 3);
    files.push({ name: dorvex.UTF8ToString(name), bytes: dorvex.HEAPU8.subarray(data, data + length) });
  }
  return files.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
}

// The zip of `files` (each stored as it is, at the time `mtime`, by
// fflate), and the files again, each now a view of its own bytes inside the
// zip: the zip is their one copy out of the module. Counts those bytes.
export function zipOut(fflate, files, mtime, counts) {
  const members = {};
  for (const file of files) members[file.name] = [file.bytes, { mtime }];
  const zip = fflate.zipSync(members, { level: 0 });
  const view = new DataView(zip.buffer, zip.byteOffset, zip.byteLength);
  // A stored member's bytes follow its local header (30 bytes), its name
  // and its extra field, in the order the object's keys take (names that
  // read as integers first).
  const decoder = new TextDecoder();
  const stored = new Map();
  for (let offset = 0; stored.size < files.length;) {
    if (view.getUint32(offset, true) !== 0x04034b50) throw new Error('the zip is not as made');
    const nameLength = view.getUint16(offset + 26, true);
    const name = decoder.decode(zip.subarray(offset + 30, offset + 30 + nameLength));
    const start = offset + 30 + nameLength + view.getUint16(offset + 28, true);
    const length = view.getUint32(offset + 18, true);
    stored.set(name, zip.subarray(start, start + length));
    offset = start + length;
  }
  const inZip = files.map((file) => {
    const bytes = stored.get(file.name);
    if (bytes?.length !== file.bytes.length) throw new Error('the zip stored a file otherwise');
    counts.bytesOut += bytes.length;
    return { name: file.name, bytes };
  });
  return { zip, files: inZip };
}
