// What the program found on each disk of a run, taken from its accessors
// and put into words, map cells and preview lines. It judges nothing: every
// verdict, state, address and range is the program's; this file only words
// them (Japanese and English) and lays them out. The page's build puts it,
// without its `export`s, ahead of the page's script and of the worker's.

// The program's names of a piece's state, a track's state and a piece's
// role, each kept as its index here.
export const kPieceStates = [
  'read', 'no-image', 'track-out-of-range', 'track-absent', 'track-beyond-disk',
  'track-before-file', 'record-out-of-range', 'no-sector-at-count',
  'no-sector-at-zero-count', 'no-sector-at-file-end', 'sector-short',
  'file-ends-in-data',
];
export const kTrackStates = ['present', 'track-absent', 'track-beyond-disk',
                             'track-before-file'];
export const kRoles = ['identification', 'directory', 'file'];
// The program's names of why a piece read whole may hold the wrong bytes.
export const kDoubts = ['none', 'data-crc-error', 'address-crc-error', 'no-address-mark',
                        'no-data-mark', 'deleted-data', 'other-status', 'twin'];
export const kTrackCount = 164;

// A piece's figures, one Int32Array a disk, this many to a piece; a file's
// in the program's file table.
const kPieceFields = ['role', 'file', 'track', 'c', 'h', 'r', 'n', 'from',
                      'length', 'state', 'held', 'doubt', 'status', 'deleted',
                      'density', 'twin'];
const kStride = kPieceFields.length;
const kDoubtField = kPieceFields.indexOf('doubt');
const kFileFields = ['entry', 'length', 'startTrack', 'startRecord', 'first',
                     'count', 'failed', 'doubtful'];
const kDoubtfulField = kFileFields.indexOf('doubtful');
const kFailedField = kFileFields.indexOf('failed');

function indexOf(list, name, what) {
  const index = list.indexOf(name);
  if (index < 0) throw new Error(`the program named a ${what} the page has no words for: ${name}`);
  return index;
}

// The `count` rows of `fields` numbers of one of the program's tables, at
// the address `at`, copied out of its memory.
function tableOf(dorvex, at, count, fields, kind, what) {
  if (kind !== fields) {
    throw new Error(`the program gives ${kind} figures a ${what}, the page reads ${fields}`);
  }
  return count > 0 ? dorvex.HEAP32.slice(at >> 2, (at >> 2) + count * fields) : new Int32Array(0);
}

// Reads the disk that the program's accessors describe (during its onDisk
// call) as it crosses from the worker to the page: numbers in tables and
// the files' names in one string, which cost the crossing little (a disk
// is read in a few calls, not a few per piece). The names of states and
// roles are the program's constants, read once each by address.
export function readDisk(dorvex) {
  // The same name may stand in two lists ("track-absent"), at two indices.
  const known = dorvex.dorvexNames ??= new Map();
  const constant = (pointer, list, what) => {
    let names = known.get(list);
    if (names === undefined) known.set(list, names = new Map());
    let index = names.get(pointer);
    if (index === undefined) names.set(pointer, index = indexOf(list, dorvex.UTF8ToString(pointer), what));
    return index;
  };
  const verdict = dorvex.UTF8ToString(dorvex._dorvex_disk_verdict());
  let tracks = null;
  if (verdict !== 'cannot-select') {
    const at = dorvex._dorvex_track_table() >> 2;
    tracks = new Uint8Array(kTrackCount);
    for (let t = 0; t < kTrackCount; ++t) {
      tracks[t] = constant(dorvex.HEAP32[at + t], kTrackStates, 'track state');
    }
  }
  const count = dorvex._dorvex_piece_count();
  const pieces = tableOf(dorvex, dorvex._dorvex_piece_table(), count, kStride,
                         dorvex._dorvex_piece_fields(), 'piece');
  for (let at = 0; at < pieces.length; at += kStride) {
    pieces[at] = constant(pieces[at], kRoles, 'piece role');
    pieces[at + 9] = constant(pieces[at + 9], kPieceStates, 'piece state');
    pieces[at + kDoubtField] = constant(pieces[at + kDoubtField], kDoubts, 'doubt');
  }
  const fileCount = dorvex._dorvex_file_count();
  const files = tableOf(dorvex, dorvex._dorvex_file_table(), fileCount, kFileFields.length,
                        dorvex._dorvex_file_fields(), 'file');
  const salvage = [];
  for (let i = 0; i < fileCount; ++i) {
    if (files[i * kFileFields.length + 6] >= 0) {
      salvage[i] = dorvex.UTF8ToString(dorvex._dorvex_file_salvage_name(i));
    }
  }
  return {
    position: dorvex._dorvex_disk_position(),
    name: dorvex.UTF8ToString(dorvex._dorvex_disk_name()),
    media: dorvex._dorvex_disk_media(),
    verdict,
    number: dorvex._dorvex_disk_number(),
    markOffset: dorvex._dorvex_disk_mark_offset(),
    markValue: dorvex._dorvex_disk_mark_value(),
    directoryRead: dorvex._dorvex_directory_read() === 1,
    identificationDoubtful: dorvex._dorvex_identification_doubtful(),
    directoryDoubtful: dorvex._dorvex_directory_doubtful(),
    tracks, pieces, files,
    names: fileCount > 0 ? dorvex.UTF8ToString(dorvex._dorvex_file_names()) : '',
    salvage,
  };
}

// A disk as read (readDisk) with its files as objects, as the page uses it.
export function diskOf(read) {
  const { files: table, names, salvage, ...disk } = read;
  const named = names === '' ? [] : names.split(' ');
  disk.files = named.map((name, i) => {
    const file = { name, salvage: salvage[i] ?? '' };
    kFileFields.forEach((field, f) => { file[field] = table[i * kFileFields.length + f]; });
    return file;
  });
  return disk;
}

// Whether a disk as read (readDisk) has nothing to explain: a data disk,
// its directory and every file read whole, nothing doubtful. Such a disk
// matters to the page only for its map, drawn when it is opened.
export function isQuiet(read) {
  if (read.verdict !== 'data-disk' || !read.directoryRead || isDoubtful(read)) return false;
  for (let at = kFailedField; at < read.files.length; at += kFileFields.length) {
    if (read.files[at] >= 0) return false;
  }
  return true;
}

// Whether a disk as read (readDisk) has a block or file read whole from a
// sector that the dump marks as doubtful.
export function isDoubtful(read) {
  if (read.identificationDoubtful >= 0 || read.directoryDoubtful >= 0) return true;
  for (let at = kDoubtfulField; at < read.files.length; at += kFileFields.length) {
    if (read.files[at] >= 0) return true;
  }
  return false;
}

export const pieceCount = (disk) => disk.pieces.length / kStride;

// Piece k of `disk` as an object, its role and state by name.
export function pieceOf(disk, k) {
  const piece = { k };
  for (let f = 0; f < kStride; ++f) piece[kPieceFields[f]] = disk.pieces[k * kStride + f];
  piece.role = kRoles[piece.role];
  piece.state = kPieceStates[piece.state];
  piece.doubt = kDoubts[piece.doubt];
  piece.twin = piece.twin === 1;
  return piece;
}

const stateAt = (disk, k) => kPieceStates[disk.pieces[k * kStride + 9]];

// The bytes a size code stands for, where it stands for a sector size.
const sizeOf = (n) => (n >= 0 && n <= 8 ? 128 << n : null);

const kWords = {
  ja: {
    track: (p) => `トラック ${p.track}（C${p.c} H${p.h}）`,
    sector: (p) => (sizeOf(p.n) === null ? `セクター ${p.r}（N${p.n}）`
                                         : `セクター ${p.r}（${sizeOf(p.n)} バイト）`),
    states: {
      'no-image': () => 'イメージファイルが開いていません',
      'track-out-of-range': (p) => `トラック ${p.track} は 0〜163 の外です`,
      'track-absent': (p, w) => `${w.track(p)}がありません（トラック表の値が 0）`,
      'track-beyond-disk': (p, w) => `${w.track(p)}のトラック表の値がディスクの大きさを超えています`,
      'track-before-file': (p, w) => `${w.track(p)}のトラック表の値がファイルの先頭より前を指しています`,
      'record-out-of-range': (p) =>
        `C${p.c} H${p.h} R${p.r} N${p.n} はセクターの見出しに書けない値です（0〜255 の外）`,
      'no-sector-at-count': (p, w) =>
        `${w.track(p)}に${w.sector(p)}がありません（見出しのセクター数まで探しました）`,
      'no-sector-at-zero-count': (p, w) =>
        `${w.track(p)}に${w.sector(p)}がありません（セクター数が 0 の見出しで探し終えました）`,
      'no-sector-at-file-end': (p, w) =>
        `${w.track(p)}に${w.sector(p)}がありません（イメージファイルの終わりまで探しました）`,
      'sector-short': (p, w) =>
        `${w.track(p)}のセクター ${p.r} には ${p.held} バイトしかありません（${p.length} バイト必要）`,
      'file-ends-in-data': (p, w) =>
        `イメージファイルが${w.track(p)}のセクター ${p.r} のデータの途中で終わっています` +
        `（${p.length} バイトのうち ${p.held} バイト）`,
    },
    range: (from, to) => `${from}〜${to - 1} バイト目`,
    rangeLength: (from, to) => `${from}〜${to - 1} バイト目（${to - from} バイト）`,
    cannotSelect: 'ディスクの見出しを読めません',
    identificationUnread: (why) => `識別ブロック（トラック 0 のセクター 15、16）を読めません: ${why}`,
    numberTooHigh: (n) => `ディスク番号が ${n} で、9 を超えています`,
    markNotFF: (at, value) => `識別ブロックの ${at} バイト目が 0xFF ではなく 0x${value} です`,
    directoryUnread: (position, why) =>
      `ディスク ${position} 枚目: ディレクトリ（トラック 0 のセクター 13、14）を読み切れませんでした: ` +
      `${why}。読めたエントリーのファイルだけを扱いました。`,
    diskHead: (d, failed) => (d.verdict === 'data-disk'
      ? `ディスク ${d.position} 枚目: データディスク（番号 ${d.number}）、ファイル ${d.files.length} 個、` +
        `うち失敗 ${failed} 個`
      : `ディスク ${d.position} 枚目: データディスクではありません`),
    trackList: {
      'track-absent': 'ないトラック（トラック表の値が 0）',
      'track-beyond-disk': 'ディスクの外を指すトラック',
      'track-before-file': 'ファイルの先頭より前を指すトラック',
    },
    fileRead: (f, last) => `${f.name}: ${f.length} バイト、トラック ${f.startTrack} の` +
      `セクター ${f.startRecord} からトラック ${last} まで ${f.count} セクター、読めました`,
    fileFailed: (f, lost, why) => `${f.name}: 読めませんでした。${f.count} セクターのうち ` +
      `${lost} セクターが読めません。最初は ${why}`,
    missingHead: 'ここにあるのは、dorvex が読み切れなかったファイルの読めた部分です。' +
      '読めなかったバイトは 0 で埋めてあります。',
    missingFile: (name, d, f) =>
      `${name}: ディスク ${d.position} 枚目（番号 ${d.number}）の ${f.name}、${f.length} バイト`,
    missingRange: (range, why) => `  ${range} がありません: ${why}`,
    doubts: {
      'data-crc-error': 'データ部の CRC エラー',
      'address-crc-error': 'ID 部の CRC エラー',
      'no-address-mark': 'アドレスマークなし',
      'no-data-mark': 'データマークなし',
      'deleted-data': '削除データ（デリーテッドデータ）',
    },
    doubtStatus: (hex) => `ステータス 0x${hex}`,
    doubt: (p, w, kind) => `${w.track(p)}のセクター ${p.r} は「${kind}」としてダンプされています。` +
      `この ${p.length} バイトは正しくないかもしれません`,
    twin: (p, w) => `${w.track(p)}には、セクター ${p.r} と同じアドレスのセクターがもう一つあります` +
      `（読んだのは最初のもの）。この ${p.length} バイトは正しくないかもしれません`,
    readButDoubtful: (why) => `読めましたが、${why}`,
    doubtfulHead: 'dorvex は次のファイルを読み切りましたが、ダンプが不良と記録したセクターから読んだ部分があります。' +
      'その部分のバイトは正しくないかもしれません。',
    doubtfulFile: (d, f) =>
      `${f.name}: ディスク ${d.position} 枚目（番号 ${d.number}）の ${f.name}、${f.length} バイト、疑わしい`,
    doubtfulRange: (range, why) => `  ${range}: ${why}`,
    identificationDoubtful: (position, why) =>
      `ディスク ${position} 枚目: 識別ブロック（トラック 0 のセクター 15、16）は読めましたが、${why}。`,
    directoryDoubtful: (position, why) =>
      `ディスク ${position} 枚目: ディレクトリ（トラック 0 のセクター 13、14）は読めましたが、${why}。`,
    headDoubtful: (count) => `、疑わしい ${count} 個`,
    fileDoubtful: (f, last, why) => `${f.name}: ${f.length} バイト、トラック ${f.startTrack} の` +
      `セクター ${f.startRecord} からトラック ${last} まで ${f.count} セクター、読めましたが疑わしい: ${why}`,
  },
  en: {
    track: (p) => `track ${p.track} (C${p.c} H${p.h})`,
    sector: (p) => (sizeOf(p.n) === null ? `sector ${p.r} (N${p.n})`
                                         : `sector ${p.r} of ${sizeOf(p.n)} bytes`),
    states: {
      'no-image': () => 'no image file is open',
      'track-out-of-range': (p) => `track ${p.track} is outside 0 to 163`,
      'track-absent': (p, w) => `${w.track(p)} is absent (its track-table entry is 0)`,
      'track-beyond-disk': (p, w) => `${w.track(p)} has a track-table entry beyond the disk's size`,
      'track-before-file': (p, w) =>
        `${w.track(p)} has a track-table entry before the start of the file`,
      'record-out-of-range': (p) =>
        `no sector header can hold C${p.c} H${p.h} R${p.r} N${p.n} (a value outside 0 to 255)`,
      'no-sector-at-count': (p, w) =>
        `${w.track(p)} holds no ${w.sector(p)} (sought up to the header's sector count)`,
      'no-sector-at-zero-count': (p, w) =>
        `${w.track(p)} holds no ${w.sector(p)} (the search ended at a header whose sector count is 0)`,
      'no-sector-at-file-end': (p, w) =>
        `${w.track(p)} holds no ${w.sector(p)} (sought up to the end of the image file)`,
      'sector-short': (p, w) =>
        `sector ${p.r} of ${w.track(p)} holds ${p.held} bytes where ${p.length} are needed`,
      'file-ends-in-data': (p, w) =>
        `the image file ends inside the data of sector ${p.r} of ${w.track(p)}, ` +
        `after ${p.held} of ${p.length} bytes`,
    },
    range: (from, to) => `bytes ${from}–${to - 1}`,
    rangeLength: (from, to) => `bytes ${from}–${to - 1} (${to - from} bytes)`,
    cannotSelect: 'its disk header cannot be read',
    identificationUnread: (why) =>
      `its identification block (sectors 15 and 16 of track 0) cannot be read: ${why}`,
    numberTooHigh: (n) => `its disk number is ${n}, above 9`,
    markNotFF: (at, value) => `byte ${at} of its identification block holds 0x${value}, not 0xFF`,
    directoryUnread: (position, why) =>
      `disk ${position}: its directory (sectors 13 and 14 of track 0) could not be read whole: ` +
      `${why}; only the entries that could be read were taken.`,
    diskHead: (d, failed) => (d.verdict === 'data-disk'
      ? `disk ${d.position}: data disk (number ${d.number}), ${d.files.length} files, ${failed} failed`
      : `disk ${d.position}: not a data disk`),
    trackList: {
      'track-absent': 'absent tracks (track-table entry 0)',
      'track-beyond-disk': 'tracks whose entry lies beyond the disk',
      'track-before-file': 'tracks whose entry lies before the file',
    },
    fileRead: (f, last) => `${f.name}: ${f.length} bytes, ${f.count} sectors from sector ` +
      `${f.startRecord} of track ${f.startTrack} to track ${last}, read`,
    fileFailed: (f, lost, why) => `${f.name}: not read; ${lost} of its ${f.count} sectors ` +
      `cannot be read, the first: ${why}`,
    missingHead: 'Each file here is the readable part of a file that dorvex could not read ' +
      'whole; the bytes it could not read are zeros.',
    missingFile: (name, d, f) =>
      `${name}: ${f.name} of disk ${d.position} (number ${d.number}), ${f.length} bytes`,
    missingRange: (range, why) => `  ${range} missing: ${why}`,
    doubts: {
      'data-crc-error': 'a CRC error in its data',
      'address-crc-error': 'a CRC error in its address',
      'no-address-mark': 'no address mark',
      'no-data-mark': 'no data mark',
      'deleted-data': 'its data marked deleted',
    },
    doubtStatus: (hex) => `status 0x${hex}`,
    doubt: (p, w, kind) => `sector ${p.r} of ${w.track(p)} was dumped with ${kind}: ` +
      `these ${p.length} bytes may be wrong`,
    twin: (p, w) => `${w.track(p)} holds a second sector with the address of sector ${p.r}, ` +
      `and the first was read: these ${p.length} bytes may be wrong`,
    readButDoubtful: (why) => `read, but ${why}`,
    doubtfulHead: 'dorvex read each of these files whole, but some of its bytes come from sectors ' +
      'that the dump records as bad; those bytes may be wrong.',
    doubtfulFile: (d, f) =>
      `${f.name}: ${f.name} of disk ${d.position} (number ${d.number}), ${f.length} bytes, doubtful`,
    doubtfulRange: (range, why) => `  ${range}: ${why}`,
    identificationDoubtful: (position, why) =>
      `disk ${position}: its identification block (sectors 15 and 16 of track 0) was read, but ${why}.`,
    directoryDoubtful: (position, why) =>
      `disk ${position}: its directory (sectors 13 and 14 of track 0) was read, but ${why}.`,
    headDoubtful: (count) => `, ${count} doubtful`,
    fileDoubtful: (f, last, why) => `${f.name}: ${f.length} bytes, ${f.count} sectors from sector ` +
      `${f.startRecord} of track ${f.startTrack} to track ${last}, read but doubtful: ${why}`,
  },
};

// Why piece `p` (an object of pieceOf) was not read whole, in words.
export function pieceReason(p, lang) {
  const words = kWords[lang];
  const say = words.states[p.state];
  return say ? say(p, words) : p.state;
}

// Why piece `p` (an object of pieceOf), read whole, may hold the wrong
// bytes, in words; '' when its sector was dumped as good.
export function doubtReason(p, lang) {
  const words = kWords[lang];
  if (p.doubt === 'none') return '';
  if (p.doubt === 'twin') return words.twin(p, words);
  const kind = p.doubt === 'other-status'
    ? words.doubtStatus(p.status.toString(16).toUpperCase().padStart(2, '0'))
    : words.doubts[p.doubt] ?? p.doubt;
  return words.doubt(p, words, kind);
}

// Why a file read whole is doubtful: its first doubtful piece, in words.
export function fileDoubt(disk, file, lang) {
  return doubtReason(pieceOf(disk, file.doubtful), lang);
}

// The doubtful files of a disk (each read whole, one of its pieces from a
// sector the dump marks).
export const doubtfulFiles = (disk) => disk.files.filter((f) => f.doubtful >= 0);

// For a disk whose identification block or directory was read whole from a
// sector the dump marks, the lines that say so and why.
export function blockDoubts(disk, lang) {
  const words = kWords[lang];
  const lines = [];
  if (disk.identificationDoubtful >= 0) {
    lines.push(words.identificationDoubtful(
      disk.position, doubtReason(pieceOf(disk, disk.identificationDoubtful), lang)));
  }
  if (disk.directoryDoubtful >= 0) {
    lines.push(words.directoryDoubtful(
      disk.position, doubtReason(pieceOf(disk, disk.directoryDoubtful), lang)));
  }
  return lines;
}

// The line under a file's failure message: the byte range of its first
// failed piece, and why.
export function fileReason(disk, file, lang) {
  return pieceWords(pieceOf(disk, file.failed), lang);
}

// A piece's byte range and why it was not read.
export function pieceWords(p, lang) {
  return `${kWords[lang].range(p.from, p.from + p.length)}: ${pieceReason(p, lang)}`;
}

const firstFailed = (disk, role) => {
  for (let k = 0, n = pieceCount(disk); k < n; ++k) {
    const p = pieceOf(disk, k);
    if (p.role === role && p.state !== 'read') return p;
  }
  return null;
};

// Why a disk is not a data disk, in words; '' for a data disk.
export function verdictReason(disk, lang) {
  const words = kWords[lang];
  switch (disk.verdict) {
    case 'data-disk': return '';
    case 'cannot-select': return words.cannotSelect;
    case 'identification-unread': {
      const p = firstFailed(disk, 'identification');
      return words.identificationUnread(p ? pieceReason(p, lang) : '');
    }
    case 'disk-number-too-high': return words.numberTooHigh(disk.number);
    case 'mark-not-ff':
      return words.markNotFF(disk.markOffset,
                             disk.markValue.toString(16).toUpperCase().padStart(2, '0'));
    default: return disk.verdict;
  }
}

// For a data disk whose directory was not read whole, a line that says so
// and why; else ''.
export function directoryNote(disk, lang) {
  if (disk.verdict !== 'data-disk' || disk.directoryRead) return '';
  const p = firstFailed(disk, 'directory');
  return kWords[lang].directoryUnread(disk.position, p ? pieceReason(p, lang) : '');
}

// The byte ranges of `file` that were not read: its pieces not read whole,
// runs of touching pieces with the same state as one range.
export function missingRanges(disk, file) {
  const ranges = [];
  for (let k = file.first; k < file.first + file.count; ++k) {
    const p = pieceOf(disk, k);
    if (p.state === 'read') continue;
    const last = ranges.at(-1);
    if (last && last.to === p.from && last.piece.state === p.state) {
      last.to = p.from + p.length;
    } else {
      ranges.push({ from: p.from, to: p.from + p.length, piece: p });
    }
  }
  return ranges;
}

// MISSING.txt for the salvaged files `salvaged` ([{ disk, file }]): each
// one's name, where it came from, and every missing range with its reason;
// then, for the disks `doubtful` that have any, each block and file read
// whole from sectors the dump marks, and each such sector's range and why.
export function missingText(salvaged, lang, doubtful = []) {
  const words = kWords[lang];
  const lines = [];
  if (salvaged.length > 0) lines.push(words.missingHead, '');
  for (const { disk, file } of salvaged) {
    lines.push(words.missingFile(file.salvage, disk, file));
    for (const range of missingRanges(disk, file)) {
      lines.push(words.missingRange(words.rangeLength(range.from, range.to),
                                    pieceReason(range.piece, lang)));
    }
  }
  if (doubtful.length > 0) {
    if (lines.length > 0) lines.push('');
    lines.push(words.doubtfulHead, '');
  }
  for (const disk of doubtful) {
    lines.push(...blockDoubts(disk, lang));
    for (const file of doubtfulFiles(disk)) {
      lines.push(words.doubtfulFile(disk, file));
      for (let k = file.first; k < file.first + file.count; ++k) {
        const p = pieceOf(disk, k);
        if (p.doubt === 'none') continue;
        lines.push(words.doubtfulRange(words.rangeLength(p.from, p.from + p.length),
                                       doubtReason(p, lang)));
      }
    }
  }
  return lines.join('\n') + '\n';
}

// "3, 5–9, 12" for a sorted list of numbers.
function spans(numbers) {
  const out = [];
  for (let i = 0; i < numbers.length;) {
    let j = i;
    while (j + 1 < numbers.length && numbers[j + 1] === numbers[j] + 1) ++j;
    out.push(j === i ? `${numbers[i]}` : `${numbers[i]}–${numbers[j]}`);
    i = j + 1;
  }
  return out.join(', ');
}

// The first line of a disk's summary, which names it among the maps: all
// that a map not yet opened costs.
export function diskHeadLine(disk, lang) {
  const words = kWords[lang];
  const doubtful = doubtfulFiles(disk).length;
  return words.diskHead(disk, disk.files.filter((f) => f.failed >= 0).length) +
         (doubtful > 0 ? words.headDoubtful(doubtful) : '');
}

// The text summary of a disk, for a reader without sight and for anyone:
// a line for the disk, its tracks that cannot be walked, then one a file.
export function diskSummary(disk, lang) {
  const words = kWords[lang];
  const lines = [diskHeadLine(disk, lang)];
  const why = verdictReason(disk, lang) || directoryNote(disk, lang);
  if (why) lines.push(why);
  lines.push(...blockDoubts(disk, lang));
  if (disk.tracks) {
    for (let s = 1; s < kTrackStates.length; ++s) {
      const tracks = [];
      disk.tracks.forEach((state, t) => { if (state === s) tracks.push(t); });
      if (tracks.length > 0) lines.push(`${words.trackList[kTrackStates[s]]}: ${spans(tracks)}`);
    }
  }
  for (const file of disk.files) {
    if (file.failed < 0) {
      const last = file.count > 0 ? pieceOf(disk, file.first + file.count - 1).track : file.startTrack;
      lines.push(file.doubtful >= 0 ? words.fileDoubtful(file, last, fileDoubt(disk, file, lang))
                                    : words.fileRead(file, last));
    } else {
      let lost = 0;
      for (let k = file.first; k < file.first + file.count; ++k) lost += stateAt(disk, k) !== 'read';
      lines.push(words.fileFailed(file, lost, fileReason(disk, file, lang)));
    }
  }
  return lines;
}

// The map's layout for a disk: a column for each cylinder (0 to 81), a row
// for each head and record that the disk's pieces ask for (at most
// kMapRecords a head; pieces of any other record share a last row), and
// the pieces in each cell. Pieces of a track outside 0 to 163 have no cell.
export const kCylinders = kTrackCount / 2;
export const kMapRecords = 16;
export function mapLayout(disk) {
  const records = [new Set(), new Set()];
  const n = pieceCount(disk);
  for (let k = 0; k < n; ++k) {
    const at = k * kStride;
    const track = disk.pieces[at + 2];
    if (track >= 0 && track < kTrackCount) records[track & 1].add(disk.pieces[at + 5]);
  }
  const rows = [];
  const rowOf = [new Map(), new Map()];
  for (let head = 0; head < 2; ++head) {
    const sorted = [...records[head]].sort((a, b) => a - b);
    const kept = sorted.slice(0, kMapRecords);
    for (const r of kept) {
      rowOf[head].set(r, rows.length);
      rows.push({ head, record: r });
    }
    if (sorted.length > kept.length) {
      const other = rows.length;
      rows.push({ head, record: -1 });
      for (const r of sorted.slice(kMapRecords)) rowOf[head].set(r, other);
    }
  }
  const cells = new Map();  // row * kCylinders + cylinder → [piece index]
  for (let k = 0; k < n; ++k) {
    const at = k * kStride;
    const track = disk.pieces[at + 2];
    if (track < 0 || track >= kTrackCount) continue;
    const key = rowOf[track & 1].get(disk.pieces[at + 5]) * kCylinders + (track >> 1);
    const list = cells.get(key);
    if (list) list.push(k);
    else cells.set(key, [k]);
  }
  return { rows, cells };
}

// What a map cell says when chosen: the track, the record and each piece
// there, whose it is and whether it was read.
export function cellWords(disk, row, cylinder, pieces, lang) {
  const track = cylinder * 2 + row.head;
  const ja = lang === 'ja';
  const where = ja ? `トラック ${track}（C${cylinder} H${row.head}）` : `track ${track} (C${cylinder} H${row.head})`;
  const record = row.record < 0 ? (ja ? 'その他のセクター' : 'other sectors')
                                : (ja ? `セクター ${row.record}` : `sector ${row.record}`);
  const state = disk.tracks ? kTrackStates[disk.tracks[track]] : 'present';
  const parts = [];
  if (state !== 'present') parts.push(kWords[lang].trackList[state]);
  for (const k of pieces) {
    const p = pieceOf(disk, k);
    const owner = p.role === 'file' ? disk.files[p.file].name
                : p.role === 'directory' ? (ja ? 'ディレクトリ' : 'the directory')
                : (ja ? '識別ブロック' : 'the identification block');
    const range = kWords[lang].range(p.from, p.from + p.length);
    const doubt = p.state === 'read' ? doubtReason(p, lang) : '';
    const read = p.state !== 'read' ? pieceReason(p, lang)
               : doubt ? kWords[lang].readButDoubtful(doubt) : (ja ? '読めました' : 'read');
    parts.push(ja ? `${owner} の ${range}、${read}` : `${owner}, ${range}: ${read}`);
  }
  if (parts.length === 0) parts.push(ja ? '読んでいません' : 'not asked for');
  return `${where} ${record}: ${parts.join(ja ? '。' : '; ')}`;
}

// The lines of a look inside `bytes` from `start` to `end` (16 a line):
// each line's offset, and its hex and its Shift_JIS text as pieces that are
// either all missing (`gaps`, [from, to) ranges) or all not. `decode` turns
// bytes into text (a TextDecoder for shift_jis). A character of two bytes
// shows on the line where it starts.
export const kLineBytes = 16;
const isLead = (b) => (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc);
const isShown = (b) => (b >= 0x20 && b < 0x7f) || (b >= 0xa1 && b <= 0xdf);
export function previewLines(bytes, start, end, gaps, decode) {
  const missing = (i) => gaps.some((g) => i >= g.from && i < g.to);
  const lines = [];
  // Whether the line's first byte ends a character that began on the line
  // before: walked from the start, as the text is read.
  let i = 0;
  while (i < start) i += isLead(bytes[i]) && i + 1 < bytes.length ? 2 : 1;
  for (let line = start; line < end; line += kLineBytes) {
    const stop = Math.min(line + kLineBytes, bytes.length);
    const hex = [], text = [];
    const add = (list, s, gap) => {
      const last = list.at(-1);
      if (last && last.gap === gap) last.text += s;
      else list.push({ text: s, gap });
    };
    for (let b = line; b < stop; ++b) {
      add(hex, (b > line ? ' ' : '') + (missing(b) ? '··' : bytes[b].toString(16).padStart(2, '0')), missing(b));
    }
    if (i > line) add(text, ' ', false);  // the second byte of the line before's last character
    while (i < stop) {
      const b = bytes[i];
      if (missing(i)) {
        add(text, '·', true);
        i += 1;
      } else if (isLead(b) && i + 1 < bytes.length && !missing(i + 1)) {
        // A pair that is no character shows as a dot for each byte.
        const pair = decode(bytes.subarray(i, i + 2));
        add(text, pair.length === 1 && pair !== '\ufffd' ? pair : '..', false);
        i += 2;
      } else {
        add(text, isShown(b) ? decode(bytes.subarray(i, i + 1)) : '.', false);
        i += 1;
      }
    }
    lines.push({ offset: line.toString(16).padStart(8, '0'), hex, text,
                 pad: kLineBytes - (stop - line) });
  }
  return lines;
}
