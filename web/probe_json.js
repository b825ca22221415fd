// The line dorvex-probe prints for an image, made on the page from the
// disks it read (diskOf of readDisk): the same keys and values, so that a
// script gets the same JSON from the console's probe and from the page.
// Like explain.js, the page's build puts it, without its `import` and
// `export`s, ahead of the page's script. docs/probe.md lists the keys.
import { pieceCount, pieceOf } from './explain.js';

const orNull = (value) => (value < 0 ? null : value);

function pieceJson(p) {
  return {
    track: p.track, c: p.c, h: p.h, r: p.r, n: p.n, from: p.from, length: p.length,
    state: p.state, held: p.held, status: p.status, deleted: p.deleted !== 0,
    twin: p.twin, doubt: p.doubt,
  };
}

// "read", or the state of the first piece of `role` not read whole.
function blockState(disk, role) {
  for (let k = 0, n = pieceCount(disk); k < n; ++k) {
    const p = pieceOf(disk, k);
    if (p.role === role && p.state !== 'read') return p.state;
  }
  return 'read';
}

function fileJson(disk, f, kept) {
  const failed = f.failed >= 0;
  const at = failed ? f.failed : f.doubtful;
  const file = {
    name: f.name, entry: f.entry, length: f.length,
    state: failed ? 'failed' : f.doubtful >= 0 ? 'doubtful' : 'read', kept,
  };
  if (at >= 0) {
    const p = pieceOf(disk, at);
    file.reason = failed ? p.state : p.doubt;
    file.reason_piece = at - f.first;
  }
  if (failed) file.salvage = f.salvage;
  file.start_track = f.startTrack;
  file.start_record = f.startRecord;
  file.pieces = [];
  for (let k = f.first; k < f.first + f.count; ++k) file.pieces.push(pieceJson(pieceOf(disk, k)));
  return file;
}

// For each file of each disk, whether the console program leaves it under
// its name: read whole, and no later data disk of its number reads its
// entry whole.
function keptFiles(disks) {
  const later = new Set();
  const kept = [];
  for (let d = disks.length - 1; d >= 0; --d) {
    const disk = disks[d];
    kept[d] = disk.files.map((f) => {
      if (disk.verdict !== 'data-disk' || f.failed >= 0) return false;
      const name = `${disk.number}:${f.entry}`;
      if (later.has(name)) return false;
      later.add(name);
      return true;
    });
  }
  return kept;
}

function diskJson(disk, kept) {
  const dataDisk = disk.verdict === 'data-disk';
  const out = {
    position: disk.position, name: disk.name, media: orNull(disk.media),
    verdict: disk.verdict, number: orNull(disk.number),
    mark_offset: orNull(disk.markOffset), mark_value: orNull(disk.markValue),
    identification: disk.verdict === 'cannot-select' ? null : blockState(disk, 'identification'),
    directory: dataDisk ? blockState(disk, 'directory') : null,
  };
  if (disk.identificationDoubtful >= 0) {
    out.identification_doubt = pieceOf(disk, disk.identificationDoubtful).doubt;
  }
  if (disk.directoryDoubtful >= 0) {
    out.directory_doubt = pieceOf(disk, disk.directoryDoubtful).doubt;
  }
  out.files = disk.files.map((f, i) => fileJson(disk, f, kept[i]));
  out.pieces = [];
  for (let k = 0, n = pieceCount(disk); k < n; ++k) {
    const p = pieceOf(disk, k);
    if (p.role !== 'file') out.pieces.push({ ...pieceJson(p), role: p.role });
  }
  return out;
}

// The object of the image named `image`, of `size` bytes, whose run read
// `disks`.
export function probeJson(image, size, disks) {
  const kept = keptFiles(disks);
  return { image, size, disks: disks.map((disk, d) => diskJson(disk, kept[d])) };
}
