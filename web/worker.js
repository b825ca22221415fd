// The worker that runs dorvex for the page, off its main thread. The page's
// build joins it after fflate, the WebAssembly program's runtime
// (createDorvex) and the program itself (kProgram, its bytes in base64)
// into one script, so that nothing is ever fetched. For each image it makes
// a fresh instance of the program, gives it the image as a read-only file
// whose contents are the very bytes the page read and handed over, runs the
// command into an empty directory in memory and hands back every message as
// it is written, then the files the run left there and their zip. The
// program also tells it what each disk's run found (readDisk, from
// explain.js, which the build puts ahead of this) and hands it the readable
// part of each file that failed: those go to the page as each disk ends,
// and the readable parts into a zip of their own with MISSING.txt.
/* global createDorvex, fflate, kProgram, readDisk, diskOf, isDoubtful, missingText */
'use strict';

// A fixed time for every zip member, so that one image gives one zip.
const kZipTime = new Date(1980, 0, 1, 0, 0, 0);

// The zip holds the files as they are, stored, not deflated: it carries
// them to the user's disk in one piece, and deflating them took longer than
// all the rest of a run (the benchmark's 7.2 MiB of files: 1.2 to 2.1 s in
// Chromium, 0.6 to 0.9 s in Firefox, 1.1 to 1.6 s in WebKit; stored, 0.05
// to 0.2 s).
const kZipLevel = 0;

// Compiled from these bytes by the runtime, which then fetches nothing (a
// page's policy would refuse the fetch, and say so on the console).
const programBytes = Uint8Array.from(atob(kProgram), (c) => c.charCodeAt(0));

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

// Puts `bytes` at `path` as a read-only file that owns them: the program's
// reads copy a slice at a time into its memory, and the image is never
// copied whole. Throws if the file system took a copy after all.
function placeImage(FS, path, bytes) {
  const slash = path.lastIndexOf('/');
  FS.createDataFile(path.slice(0, slash), path.slice(slash + 1), bytes,
                    /* canRead= */ true, /* canWrite= */ false,
                    /* canOwn= */ true);
  if (FS.lookupPath(path).node.contents.buffer !== bytes.buffer) {
    throw new Error('the image was copied into the file system');
  }
}

// Makes the memory file system cut a file where it stands. Left as it is,
// a cut copies the bytes that stay into a new array: the program writes a
// file over a longer one in place and then cuts it (thousands of times on
// an image whose disks share numbers), and those copies, with the garbage
// they leave, took half the program's run. A cut now keeps the array and
// zeroes what is past the new end, so that the bytes past a file's end are
// zero as when it grows (the file system keeps room to spare at the end of
// an array then). Throws if the runtime's file system has no such steps.
function cutFilesInPlace(FS) {
  const MEMFS = FS.filesystems?.MEMFS;
  if (typeof MEMFS?.resizeFileStorage !== 'function' ||
      typeof MEMFS.expandFileStorage !== 'function') {
    throw new Error('the runtime\'s memory file system is not the one expected');
  }
  MEMFS.resizeFileStorage = (node, length) => {
    if (length > node.usedBytes) {
      MEMFS.expandFileStorage(node, length);
    } else if (node.contents) {
      node.contents.fill(0, length, node.usedBytes);
    }
    node.usedBytes = length;
  };
}

// Takes every file the run left in `directory`, in name order: a later
// disk's file has already replaced an earlier one of the same name, as on a
// console. Each file's bytes are seen in the file system's own array (which
// may be an Int8Array, and longer than the file), not copied: reading each
// file through the file system copied them all and took 40 to 170 ms in
// Chromium, against 2 to 7 ms.
function takeFiles(FS, directory) {
  const parent = FS.lookupPath(directory).node;
  const files = [];
  for (const name of FS.readdir(directory).sort()) {
    if (name === '.' || name === '..') continue;
    const node = FS.lookupNode(parent, name);
    if (!FS.isFile(node.mode)) throw new Error(`the program left ${name}, not a file`);
    const array = node.contents ?? new Uint8Array(0);
    files.push({ name, bytes: new Uint8Array(array.buffer, array.byteOffset, node.usedBytes) });
  }
  return files;
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
  const message = (stream) => (line) => {
    self.postMessage({ id, kind: 'line', stream, line,
                       figures: figuresOf(dorvex) });
  };
  // A failed file's readable part comes right after its failure line, and
  // its disk's description once the disk's last line is written.
  let pending = [];
  const salvaged = [];
  const doubtful = [];
  dorvex = await createDorvex({
    wasmBinary: programBytes,
    print: message('out'),
    printErr: message('err'),
    onSalvage: (file, pointer, length) => {
      pending.push({ file, bytes: dorvex.HEAPU8.slice(pointer, pointer + length) });
      self.postMessage({ id, kind: 'salvage', file });
    },
    onDisk: () => {
      const read = readDisk(dorvex);
      if (pending.length > 0 || isDoubtful(read)) {
        const disk = diskOf(read);
        if (isDoubtful(read)) doubtful.push(disk);
        for (const part of pending) {
          salvaged.push({ disk, file: disk.files[part.file], index: part.file, bytes: part.bytes });
        }
        pending = [];
      }
      self.postMessage({ id, kind: 'disk', disk: read });
    },
  });
  const FS = dorvex.FS;
  cutFilesInPlace(FS);
  FS.mkdir('/image');
  const path = '/image/' + name;
  placeImage(FS, path, new Uint8Array(image));
  image = null;  // the file holds the bytes now, and alone
  FS.mkdir('/out');
  FS.chdir('/out');
  const status = dorvex.ccall('dorvex_run', 'number', ['string'], [path]);
  FS.unlink(path);  // the image's bytes go before the zip is made

  const files = takeFiles(FS, '/out');
  const members = {};
  for (const file of files) members[file.name] = [file.bytes, { mtime: kZipTime }];
  const zip = fflate.zipSync(members, { level: kZipLevel });
  const saved = salvage(salvaged, doubtful, lang);
  const parts = saved.salvaged.map((part) => ({ position: part.disk.position, index: part.index,
                                                name: part.file.salvage, bytes: part.bytes }));
  self.postMessage({ id, kind: 'done', status, figures: figuresOf(dorvex),
                     files, zip, salvaged: parts, missing: saved.missing,
                     salvageZip: saved.zip },
                   [zip.buffer, ...files.map((file) => file.bytes.buffer),
                    ...parts.map((part) => part.bytes.buffer),
                    ...(saved.zip ? [saved.zip.buffer, saved.missing.buffer] : [])]);
}

self.onmessage = (event) => {
  const { id, name, image, lang } = event.data;
  extract(id, name, image, lang).catch((error) => {
    self.postMessage({ id, kind: 'failed', reason: String(error?.message ?? error) });
  });
};
