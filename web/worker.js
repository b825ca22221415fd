// The worker that runs dorvex for the page, off its main thread. It is
// joined after fflate and the WebAssembly build (createDorvex) into one
// script. For each image it makes a fresh instance of the program, mounts
// the user's file read-only through WORKERFS (read in slices, never copied
// whole), runs the command into an empty directory in memory and hands back
// every message as it is written, then the files the run left there.
/* global createDorvex, fflate, WORKERFS */
'use strict';

// The figures of the run so far, each read from the program's function of
// the same name.
function figuresOf(dorvex) {
  return {
    disks: dorvex._dorvex_disks(),
    disksReached: dorvex._dorvex_disks_reached(),
    dataDisks: dorvex._dorvex_data_disks(),
    filesWritten: dorvex._dorvex_files_written(),
    filesFailed: dorvex._dorvex_files_failed(),
  };
}

// A fixed time for every zip member, so that one image gives one zip.
const kZipTime = new Date(1980, 0, 1, 0, 0, 0);

async function extract(id, file) {
  let dorvex = null;
  const message = (stream) => (line) => {
    // Every line is written after the run counted the image's disks.
    const figures = figuresOf(dorvex);
    self.postMessage({ id, kind: 'line', stream, line,
                       disks: figures.disks, reached: figures.disksReached });
  };
  dorvex = await createDorvex({
    print: message('out'),
    printErr: message('err'),
  });
  const FS = dorvex.FS;
  FS.mkdir('/image');
  FS.mount(dorvex.WORKERFS, { files: [file] }, '/image');
  FS.mkdir('/out');
  FS.chdir('/out');
  const path = '/image/' + file.name;
  const status = dorvex.ccall('dorvex_run', 'number', ['string'], [path]);

  // The files the run left, in name order: a later disk's file has already
  // replaced an earlier one of the same name, as on a console.
  const files = {};
  const listed = [];
  for (const name of FS.readdir('/out').sort()) {
    if (name === '.' || name === '..') continue;
    const bytes = FS.readFile('/out/' + name);
    files[name] = [bytes, { mtime: kZipTime }];
    listed.push({ name, bytes });
  }
  const zip = fflate.zipSync(files, { level: 6 });
  self.postMessage({
    id, kind: 'done', status,
    summary: figuresOf(dorvex),
    files: listed, zip,
  }, [zip.buffer, ...listed.map((f) => f.bytes.buffer)]);
}

self.onmessage = (event) => {
  const { id, file } = event.data;
  extract(id, file).catch((error) => {
    self.postMessage({ id, kind: 'failed', reason: String(error && error.message || error) });
  });
};
