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
  // of each disk reads what the console's run reads, each sector's marks
  // noted while its header is at hand: 1.00 pass on the intact image, 1.84
  // on the crafted one, whose walks run on through the file.
  imagePasses: 2,
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
// a view of the module's memory, valid until the module runs again, and
// `crc` their CRC-32, which the program reckons faster than this script.
export function filesOf(dorvex) {
  const fields = dorvex._dorvex_output_fields();
  if (fields !== 4) throw new Error(`the program gives ${fields} figures a file, the page reads 4`);
  const count = dorvex._dorvex_output_count();
  const at = dorvex._dorvex_output_table() >> 2;
  const table = dorvex.HEAP32;
  const files = [];
  for (let i = 0; i < count; ++i) {
    const [name, data, length, crc] = table.subarray(at + 4 * i, at + 4 * i + 4);
    files.push({ name: dorvex.UTF8ToString(name), bytes: dorvex.HEAPU8.subarray(data, data + length),
                 crc: crc >>> 0 });
  }
  return files.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
}

// The CRC-32 of zip members, eight bytes a step (a table for each byte of
// the step), for a file whose CRC the program has not given: a byte at a
// time, it took a third of the zip's time.
const kCrcTables = (() => {
  const tables = Array.from({ length: 8 }, () => new Int32Array(256));
  for (let i = 0; i < 256; ++i) {
    let c = i;
    for (let k = 0; k < 8; ++k) c = (c & 1) ? (c >>> 1) ^ 0xedb88320 : c >>> 1;
    tables[0][i] = c;
  }
  for (let t = 1; t < 8; ++t) {
    for (let i = 0; i < 256; ++i) {
      const before = tables[t - 1][i];
      tables[t][i] = (before >>> 8) ^ tables[0][before & 255];
    }
  }
  return tables;
})();

export function crc32(bytes) {
  const [t0, t1, t2, t3, t4, t5, t6, t7] = kCrcTables;
  let c = -1;
  let i = 0;
  for (const end = bytes.length - 7; i < end; i += 8) {
    const a = c ^ (bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) | (bytes[i + 3] << 24));
    c = t7[a & 255] ^ t6[(a >>> 8) & 255] ^ t5[(a >>> 16) & 255] ^ t4[a >>> 24] ^
        t3[bytes[i + 4]] ^ t2[bytes[i + 5]] ^ t1[bytes[i + 6]] ^ t0[bytes[i + 7]];
  }
  for (; i < bytes.length; ++i) c = t0[(c ^ bytes[i]) & 255] ^ (c >>> 8);
  return ~c >>> 0;
}

// The zip of `files` (each its `name`, `bytes` and, when known, `crc`),
// each stored as it is at the local time `mtime`, as
// fflate's zipSync (level 0, no comment, no extra field) makes it, byte for
// byte: its members in the order an object's keys take (names that read as
// integers first), each a local header (30 bytes) and the name, then the
// bytes; then the central directory (46 bytes and the name a member) and its
// end (22 bytes). Returns the zip and the files again, each now a view of
// its own bytes inside the zip: the zip is their one copy out of the
// module. Counts those bytes.
export function zipOut(files, mtime, counts) {
  const members = {};
  for (const file of files) members[file.name] = file;
  const encoder = new TextEncoder();
  const entries = [];
  let size = 22;
  for (const name in members) {
    const encoded = encoder.encode(name);
    if (encoded.length > 65535) throw new Error(`a name too long for a zip: ${name}`);
    entries.push({ name, encoded, bytes: members[name].bytes, crc: members[name].crc,
                   utf8: encoded.length !== name.length });
    size += 76 + 2 * encoded.length + members[name].bytes.length;
  }
  const year = mtime.getFullYear() - 1980;
  if (year < 0 || year > 119) throw new Error('a time a zip cannot hold');
  const dosTime = ((year << 25) | ((mtime.getMonth() + 1) << 21) | (mtime.getDate() << 16) |
                   (mtime.getHours() << 11) | (mtime.getMinutes() << 5) | (mtime.getSeconds() >> 1)) >>> 0;
  const zip = new Uint8Array(size);
  const view = new DataView(zip.buffer);
  // The fields a local header and a central one share, from `at`.
  const common = (at, entry, crc) => {
    view.setUint16(at, 20, true);  // the version needed
    zip[at + 3] = entry.utf8 ? 8 : 0;  // the name is UTF-8
    view.setUint32(at + 6, dosTime, true);
    view.setUint32(at + 10, crc, true);
    view.setUint32(at + 14, entry.bytes.length, true);
    view.setUint32(at + 18, entry.bytes.length, true);
    view.setUint16(at + 22, entry.encoded.length, true);
  };
  let at = 0;
  const stored = new Map();
  for (const entry of entries) {
    entry.offset = at;
    entry.crc ??= crc32(entry.bytes);
    view.setUint32(at, 0x04034b50, true);
    common(at + 4, entry, entry.crc);
    zip.set(entry.encoded, at + 30);
    const start = at + 30 + entry.encoded.length;
    zip.set(entry.bytes, start);
    stored.set(entry.name, zip.subarray(start, start + entry.bytes.length));
    counts.bytesOut += entry.bytes.length;
    at = start + entry.bytes.length;
  }
  const directory = at;
  for (const entry of entries) {
    view.setUint32(at, 0x02014b50, true);
    zip[at + 4] = 20;  // made by
    common(at + 6, entry, entry.crc);
    view.setUint32(at + 42, entry.offset, true);
    zip.set(entry.encoded, at + 46);
    at += 46 + entry.encoded.length;
  }
  view.setUint32(at, 0x06054b50, true);
  view.setUint16(at + 8, entries.length, true);
  view.setUint16(at + 10, entries.length, true);
  view.setUint32(at + 12, at - directory, true);
  view.setUint32(at + 16, directory, true);
  return { zip, files: files.map((file) => ({ name: file.name, bytes: stored.get(file.name) })) };
}
