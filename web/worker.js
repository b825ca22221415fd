// The worker that runs dorvex for the page, off its main thread. The page's
// build joins it after fflate, the WebAssembly program's runtime
// (createDorvex) and the program itself (kProgram, its bytes in base64)
// into one script, so that nothing is ever fetched. For each image it makes
// a fresh instance of the program, runs the command in its memory on the
// very bytes the page read and handed over, each part copied in once as the
// program reads it (core_run.js, which the build puts ahead of this), hands
// back every message as it is written, then the files the run left and
// their zip, the files' bytes copied out once, into the zip. The
// program also tells it what each disk's run found (readDisk, from
// explain.js, which the build puts ahead of this) and hands it the readable
// part of each file that failed: those go to the page as each disk ends,
// and the readable parts into a zip of their own with MISSING.txt.
/* global createDorvex, fflate, kProgram, readDisk, diskOf, isDoubtful, isQuiet, missingText,
   newCounts, countCalls, imageReader, partsOf, runOn, filesOf, zipOut */
'use strict';

// A fixed time for every zip member, so that one image gives one zip.
const kZipTime = new Date(1980, 0, 1, 0, 0, 0);

// The zip holds the files as they are, stored, not deflated: it carries
// them to the user's disk in one piece, and deflating them took longer than
// all the rest of a run (the benchmark's 7.2 MiB of files: 1.2 to 2.1 s in
// Chromium, 0.6 to 0.9 s in Firefox, 1.1 to 1.6 s in WebKit; stored, 0.05
// to 0.2 s).
const kZipLevel = 0;

// Compiled from these bytes, once, as the worker starts (while the user
// picks a file), and instantiated afresh for each image: the runtime then
// fetches nothing (a page's policy would refuse the fetch, and say so on
// the console), and a later image runs the code the engine has already
// optimized.
const program = WebAssembly.compile(Uint8Array.from(atob(kProgram), (c) => c.charCodeAt(0)));

// The figures of the run so far, in one call: it is made for every line.
function figuresOf(dorvex) {
  const at = dorvex._dorvex_figures() >> 2;
  const [disks, disksReached, dataDisks, filesWritten, filesFailed] =
    dorvex.HEAP32.subarray(at, at + 5);
  return { disks, disksReached, dataDisks, filesWritten, filesFailed };
}

// The readable parts of the files that failed, and MISSING.txt (in the
// page's language) that names each one's missing ranges and why, and each
// block and file of the disks `doubtful` read from sectors the dump marks;
// their zip too, or null when every file was read whole and none is doubtful.
function salvage(salvaged, doubtful, lang) {
  if (salvaged.length === 0 && doubtful.length === 0) return { salvaged, missing: null, zip: null };
  const missing = new TextEncoder().encode(missingText(salvaged, lang, doubtful));
  const members = { 'MISSING.txt': [missing, { mtime: kZipTime }] };
  for (const part of salvaged) members[part.file.salvage] = [part.bytes, { mtime: kZipTime }];
  return { salvaged, missing, zip: fflate.zipSync(members, { level: kZipLevel }) };
}

async function extract(id, name, image, lang) {
  let dorvex = null;
  // How long each phase took, in ms, for the page's benchmark.
  const phases = {};
  let at = performance.now();
  const phase = (name) => { const now = performance.now(); phases[name] = now - at; at = now; };
  // Time spent in the program's calls out, within its run.
  const within = { reads: 0, disks: 0, lines: 0 };
  const timed = (what, call) => (...args) => {
    const start = performance.now();
    try {
      return call(...args);
    } finally {
      within[what] += performance.now() - start;
    }
  };
  const counts = newCounts();
  const reader = imageReader(partsOf(new Uint8Array(image)), counts);
  const message = (stream) => (line) => {
    counts.calls += 1;
    counts.lines += 1;
    self.postMessage({ id, kind: 'line', stream, line,
                       figures: figuresOf(dorvex) });
  };
  // A failed file's readable part comes right after its failure line, and
  // its disk's description once the disk's last line is written.
  let pending = [];
  const salvaged = [];
  const doubtful = [];
  const quiet = [];
  const compiled = await program;
  let notMade;
  const failed = new Promise((resolve, reject) => { notMade = reject; });
  dorvex = await Promise.race([failed, createDorvex({
    instantiateWasm: (imports, receive) => {
      WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance), notMade);
      return {};
    },
    readImage: timed('reads', reader.readImage),
    print: timed('lines', message('out')),
    printErr: timed('lines', message('err')),
    onSalvage: (file, pointer, length) => {
      counts.calls += 1;
      counts.bytesOut += length;
      pending.push({ file, bytes: dorvex.HEAPU8.slice(pointer, pointer + length) });
      self.postMessage({ id, kind: 'salvage', file });
    },
    onDisk: timed('disks', () => {
      counts.calls += 1;
      counts.disks += 1;
      const read = readDisk(dorvex);
      // A disk with nothing to explain goes to the page with the run's end,
      // all such in one message: one for each cost the page more than its
      // reading here.
      if (pending.length === 0 && isQuiet(read)) {
        quiet.push(read);
        return;
      }
      if (pending.length > 0 || isDoubtful(read)) {
        const disk = diskOf(read);
        if (isDoubtful(read)) doubtful.push(disk);
        for (const part of pending) {
          salvaged.push({ disk, file: disk.files[part.file], index: part.file, bytes: part.bytes });
        }
        pending = [];
      }
      self.postMessage({ id, kind: 'disk', disk: read });
    }),
  })]);
  reader.attach(dorvex);
  countCalls(dorvex, counts);
  phase('module');
  const status = runOn(dorvex, '/image/' + name, image.byteLength);
  dorvex.readImage = null;
  image = null;  // the image's bytes go before the zip is made
  phase('run');
  for (const [what, ms] of Object.entries(within)) phases[`run: ${what}`] = ms;
  const { zip, files } = zipOut(filesOf(dorvex), kZipTime, counts);
  phase('zip');
  const saved = salvage(salvaged, doubtful, lang);
  phase('salvage');
  const parts = saved.salvaged.map((part) => ({ position: part.disk.position, index: part.index,
                                                name: part.file.salvage, bytes: part.bytes }));
  // The files are views of the zip: its buffer moves once, with them.
  self.postMessage({ id, kind: 'done', status, figures: figuresOf(dorvex),
                     files, zip, salvaged: parts, missing: saved.missing,
                     salvageZip: saved.zip, quiet, counts, phases },
                   [zip.buffer, ...parts.map((part) => part.bytes.buffer),
                    ...(saved.zip ? [saved.zip.buffer, saved.missing.buffer] : [])]);
}

self.onmessage = (event) => {
  const { id, name, image, lang } = event.data;
  extract(id, name, image, lang).catch((error) => {
    self.postMessage({ id, kind: 'failed', reason: String(error?.message ?? error) });
  });
};
