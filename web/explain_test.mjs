// explain.js on disks made up as the program's accessors give them: what
// it reads from them, the words of each reason, the missing ranges, the
// map's rows and the look inside a file.
//   node --test web/explain_test.mjs
import assert from 'node:assert/strict';
import test from 'node:test';
import {
  readDisk, diskOf, pieceOf, fileReason, verdictReason, directoryNote, missingRanges,
  missingText, mapLayout, diskSummary, previewLines, kMapRecords, fileDoubt, blockDoubts,
  isDoubtful, isQuiet, cellWords,
} from './explain.js';

// The accessors of a run's module for one disk given as plain data; each
// name is a C string in its memory (a number here), each table a run of
// 32-bit words in it.
function fakeCore(disk, { pieceFields = 16 } = {}) {
  const strings = [];
  const name = (s) => {
    if (!strings.includes(s)) strings.push(s);
    return 1 + strings.indexOf(s);
  };
  const words = [0];
  const table = (rows) => {
    const at = words.length * 4;
    for (const row of rows) words.push(...row);
    return at;
  };
  const pieces = table(disk.pieces.map((p) => [name(p.role), p.file, p.track, p.c, p.h, p.r, p.n,
                                                 p.from, p.length, name(p.state), p.held,
                                                 name(p.doubt), p.status, p.deleted, p.density,
                                                 p.twin ? 1 : 0]));
  const files = table(disk.files.map((f) => [f.entry, f.length, f.startTrack, f.startRecord,
                                               f.first, f.count, f.failed, f.doubtful]));
  const names = name(disk.files.map((f) => f.name).join(' '));
  const tracks = table([Array.from({ length: 164 },
    (_, t) => name(disk.absent?.includes(t) ? 'track-absent' : 'present'))]);
  return {
    HEAP32: Int32Array.from(words),
    UTF8ToString: (pointer) => strings[pointer - 1],
    _dorvex_disk_position: () => disk.position,
    _dorvex_disk_name: () => name(disk.name ?? ''),
    _dorvex_disk_media: () => disk.media ?? 0,
    _dorvex_disk_verdict: () => name(disk.verdict),
    _dorvex_disk_number: () => disk.number,
    _dorvex_disk_mark_offset: () => disk.markOffset ?? -1,
    _dorvex_disk_mark_value: () => disk.markValue ?? -1,
    _dorvex_directory_read: () => (disk.directoryRead ? 1 : 0),
    _dorvex_identification_doubtful: () => disk.identificationDoubtful ?? -1,
    _dorvex_directory_doubtful: () => disk.directoryDoubtful ?? -1,
    _dorvex_track_table: () => tracks,
    _dorvex_piece_count: () => disk.pieces.length,
    _dorvex_piece_fields: () => pieceFields,
    _dorvex_piece_table: () => pieces,
    _dorvex_file_count: () => disk.files.length,
    _dorvex_file_fields: () => 8,
    _dorvex_file_table: () => files,
    _dorvex_file_names: () => names,
    _dorvex_file_salvage_name: (i) => name(disk.files[i].salvage),
  };
}
const describeDisk = (core) => diskOf(readDisk(core));

const kClean = { doubt: 'none', status: 0, deleted: 0, density: 0, twin: false };
const system = (role, r, state = 'read') =>
  ({ role, file: -1, track: 0, c: 0, h: 0, r, n: 1, from: (r - 1) % 2 * 256, length: 256, state, held: 0,
     ...kClean });
// File 105: five pieces on track 37 from R1, of which `states` say how each
// went ([state, held] or [state, held, doubt and marks]).
function diskWith(states, extra = {}) {
  const pieces = [system('identification', 15), system('identification', 16),
                  system('directory', 13), system('directory', 14)];
  states.forEach(([state, held = 0, marks = {}], i) => pieces.push(
    { role: 'file', file: 0, track: 37, c: 18, h: 1, r: i + 1, n: 3, from: i * 1024,
      length: i === 4 ? 500 : 1024, state, held, ...kClean, ...marks }));
  const failed = states.findIndex(([state]) => state !== 'read');
  const doubtful = failed >= 0 ? -1 : states.findIndex(([, , marks]) => marks?.doubt);
  return {
    position: 3, verdict: 'data-disk', number: 1, directoryRead: true, absent: [40],
    pieces,
    files: [{ entry: 5, name: '105', length: 4596, startTrack: 37, startRecord: 1, first: 4,
              count: 5, failed: failed < 0 ? -1 : failed + 4,
              doubtful: doubtful < 0 ? -1 : doubtful + 4, salvage: failed < 0 ? '' : '105.partial' }],
    ...extra,
  };
}

test('reads what the accessors say, names by their index', () => {
  const made = diskWith([['read'], ['read'], ['no-sector-at-count'], ['read'], ['read']]);
  const disk = describeDisk(fakeCore(made));
  assert.equal(disk.position, 3);
  assert.equal(disk.verdict, 'data-disk');
  assert.equal(disk.tracks[40], 1);
  assert.equal(disk.tracks[41], 0);
  assert.deepEqual(pieceOf(disk, 6), { k: 6, ...made.pieces[6] });
  assert.deepEqual(disk.files, made.files);
  assert.throws(() => describeDisk(fakeCore({ ...made, verdict: 'data-disk',
    pieces: [{ ...made.pieces[0], state: 'melted' }] })), /melted/);
  assert.throws(() => describeDisk(fakeCore(made, { pieceFields: 12 })), /12 figures a piece/);
});

// Each reason, under the failure line, in both languages.
const kReasons = [
  ['no-sector-at-count', 0,
   '2048〜3071 バイト目: トラック 37（C18 H1）にセクター 3（1024 バイト）がありません（見出しのセクター数まで探しました）',
   'bytes 2048–3071: track 37 (C18 H1) holds no sector 3 of 1024 bytes (sought up to the header\'s sector count)'],
  ['no-sector-at-zero-count', 0, /セクター数が 0 の見出し/, /header whose sector count is 0/],
  ['no-sector-at-file-end', 0, /イメージファイルの終わりまで/, /up to the end of the image file/],
  ['sector-short', 512,
   '2048〜3071 バイト目: トラック 37（C18 H1）のセクター 3 には 512 バイトしかありません（1024 バイト必要）',
   'bytes 2048–3071: sector 3 of track 37 (C18 H1) holds 512 bytes where 1024 are needed'],
  ['file-ends-in-data', 100, /データの途中で終わっています（1024 バイトのうち 100 バイト）/,
   /ends inside the data of sector 3 of track 37 \(C18 H1\), after 100 of 1024 bytes/],
  ['track-absent', 0, /トラック 37（C18 H1）がありません（トラック表の値が 0）/, /track 37 \(C18 H1\) is absent/],
  ['track-beyond-disk', 0, /ディスクの大きさを超えて/, /beyond the disk's size/],
  ['track-before-file', 0, /ファイルの先頭より前/, /before the start of the file/],
  ['track-out-of-range', 0, /トラック 37 は 0〜163 の外/, /track 37 is outside 0 to 163/],
  ['record-out-of-range', 0, /C18 H1 R3 N3 はセクターの見出しに書けない/, /no sector header can hold C18 H1 R3 N3/],
];
for (const [state, held, ja, en] of kReasons) {
  test(`words ${state}`, () => {
    const disk = describeDisk(fakeCore(diskWith([['read'], ['read'], [state, held], ['read'], ['read']])));
    for (const [lang, want] of [['ja', ja], ['en', en]]) {
      const said = fileReason(disk, disk.files[0], lang);
      if (typeof want === 'string') assert.equal(said, want);
      else assert.match(said, want);
    }
  });
}

const kVerdicts = [
  [{ verdict: 'cannot-select' }, 'ディスクの見出しを読めません', 'its disk header cannot be read'],
  [{ verdict: 'disk-number-too-high', number: 12 }, 'ディスク番号が 12 で、9 を超えています',
   'its disk number is 12, above 9'],
  [{ verdict: 'mark-not-ff', markOffset: 402, markValue: 0x7 },
   '識別ブロックの 402 バイト目が 0xFF ではなく 0x07 です',
   'byte 402 of its identification block holds 0x07, not 0xFF'],
];
test('words why a disk is not a data disk', () => {
  for (const [extra, ja, en] of kVerdicts) {
    const disk = describeDisk(fakeCore(diskWith([], extra)));
    assert.equal(verdictReason(disk, 'ja'), ja);
    assert.equal(verdictReason(disk, 'en'), en);
  }
  const unread = diskWith([], { verdict: 'identification-unread' });
  unread.pieces[1] = system('identification', 16, 'track-absent');
  assert.match(verdictReason(describeDisk(fakeCore(unread)), 'en'),
               /^its identification block .*: track 0 \(C0 H0\) is absent/);
  assert.equal(verdictReason(describeDisk(fakeCore(diskWith([]))), 'en'), '');
});

test('says when a data disk\'s directory was not read whole', () => {
  const made = diskWith([], { directoryRead: false });
  made.pieces[3] = system('directory', 14, 'no-sector-at-count');
  const disk = describeDisk(fakeCore(made));
  assert.match(directoryNote(disk, 'ja'), /^ディスク 3 枚目: ディレクトリ.*セクター 14（256 バイト）がありません/);
  assert.equal(directoryNote(describeDisk(fakeCore(diskWith([]))), 'ja'), '');
});

test('missing ranges join touching pieces that failed alike, and MISSING.txt names them', () => {
  const disk = describeDisk(fakeCore(diskWith(
    [['read'], ['track-absent'], ['track-absent'], ['sector-short', 10], ['sector-short', 10]])));
  const ranges = missingRanges(disk, disk.files[0]).map((r) => [r.from, r.to, r.piece.state]);
  assert.deepEqual(ranges, [[1024, 3072, 'track-absent'], [3072, 4596, 'sector-short']]);
  const text = missingText([{ disk, file: disk.files[0] }], 'en');
  assert.match(text, /^105.partial: 105 of disk 3 \(number 1\), 4596 bytes$/m);
  assert.match(text, /^ {2}bytes 1024–3071 \(2048 bytes\) missing: track 37 \(C18 H1\) is absent/m);
  assert.match(text, /^ {2}bytes 3072–4595 \(1524 bytes\) missing: sector 4 of track 37/m);
});

test('the map has a row for each head and record asked for, and an other row past the limit', () => {
  const disk = describeDisk(fakeCore(diskWith([['read'], ['read'], ['read'], ['read'], ['read']])));
  const { rows, cells } = mapLayout(disk);
  assert.deepEqual(rows.map((r) => `${r.head}:${r.record}`),
                   ['0:13', '0:14', '0:15', '0:16', '1:1', '1:2', '1:3', '1:4', '1:5']);
  assert.deepEqual(cells.get(4 * 82 + 18), [4]);  // row 1:1, cylinder 18: piece 4
  const many = diskWith([]);
  for (let r = 1; r <= kMapRecords + 3; ++r) {
    many.pieces.push({ ...system('file', r), file: 0, track: 3, c: 1, h: 1 });
  }
  many.pieces.push({ ...system('file', 1), file: 0, track: 170, c: 85, h: 0 });  // no cell
  const wide = mapLayout(describeDisk(fakeCore(many)));
  assert.equal(wide.rows.filter((r) => r.head === 1).length, kMapRecords + 1);
  assert.deepEqual(wide.rows.at(-1), { head: 1, record: -1 });
  assert.equal(wide.cells.get((wide.rows.length - 1) * 82 + 1).length, 3);
  assert.equal([...wide.cells.values()].flat().length, many.pieces.length - 1);
});

test('the summary names every file, the absent tracks and each failure', () => {
  const disk = describeDisk(fakeCore(diskWith([['read'], ['track-absent'], ['read'], ['read'], ['read']])));
  assert.deepEqual(diskSummary(disk, 'en'), [
    'disk 3: data disk (number 1), 1 files, 1 failed',
    'absent tracks (track-table entry 0): 40',
    '105: not read; 1 of its 5 sectors cannot be read, the first: bytes 1024–2047: ' +
      'track 37 (C18 H1) is absent (its track-table entry is 0)',
  ]);
});

// Each kind of doubt, for piece 3 of 105 (sector 3 of track 37, 1024
// bytes) read whole, in both languages.
const kDoubtWords = [
  [{ doubt: 'data-crc-error', status: 0xB0 },
   'トラック 37（C18 H1）のセクター 3 は「データ部の CRC エラー」としてダンプされています。' +
     'この 1024 バイトは正しくないかもしれません',
   'sector 3 of track 37 (C18 H1) was dumped with a CRC error in its data: these 1024 bytes may be wrong'],
  [{ doubt: 'address-crc-error', status: 0xA0 }, /「ID 部の CRC エラー」/, /with a CRC error in its address:/],
  [{ doubt: 'no-address-mark', status: 0xE0 }, /「アドレスマークなし」/, /with no address mark:/],
  [{ doubt: 'no-data-mark', status: 0xF0 }, /「データマークなし」/, /with no data mark:/],
  [{ doubt: 'deleted-data', deleted: 0x10 }, /「削除データ/, /with its data marked deleted:/],
  [{ doubt: 'other-status', status: 0x3 }, /「ステータス 0x03」/, /with status 0x03:/],
  [{ doubt: 'twin', twin: true }, /同じアドレスのセクターがもう一つあります/,
   /^track 37 \(C18 H1\) holds a second sector with the address of sector 3, and the first was read: these 1024/],
];
for (const [marks, ja, en] of kDoubtWords) {
  test(`words the doubt ${marks.doubt}`, () => {
    const read = readDisk(fakeCore(diskWith([['read'], ['read'], ['read', 0, marks], ['read'], ['read']])));
    assert.ok(isDoubtful(read));
    const disk = diskOf(read);
    assert.equal(disk.files[0].doubtful, 6);
    for (const [lang, want] of [['ja', ja], ['en', en]]) {
      const said = fileDoubt(disk, disk.files[0], lang);
      if (typeof want === 'string') assert.equal(said, want);
      else assert.match(said, want);
    }
  });
}

// A disk with anything to explain is not quiet: the page must hear of it
// as its run ends.
const kNotQuiet = [
  ['a file failed', [['read'], ['no-sector-at-count'], ['read'], ['read'], ['read']], {}],
  ['a file doubtful', [['read'], ['read', 0, { doubt: 'twin', twin: true }], ['read'], ['read'], ['read']], {}],
  ['the directory doubtful', [['read'], ['read'], ['read'], ['read'], ['read']], { directoryDoubtful: 2 }],
  ['the directory unread', [['read'], ['read'], ['read'], ['read'], ['read']], { directoryRead: false }],
  ['not a data disk', [['read'], ['read'], ['read'], ['read'], ['read']], { verdict: 'mark-not-ff' }],
];
for (const [what, states, extra] of kNotQuiet) {
  test(`a disk is not quiet when ${what}`, () => {
    assert.ok(!isQuiet(readDisk(fakeCore(diskWith(states, extra)))));
  });
}

test('a doubtful file is told in the summary, a map cell and MISSING.txt; a clean one is not', () => {
  const marks = { doubt: 'data-crc-error', status: 0xB0 };
  const disk = describeDisk(fakeCore(diskWith([['read'], ['read', 0, marks], ['read'], ['read'], ['read']],
                                              { directoryDoubtful: 2 })));
  disk.pieces[2 * 16 + 11] = 1;  // the directory's first piece: a data CRC error too
  disk.pieces[2 * 16 + 12] = 0xB0;
  const summary = diskSummary(disk, 'en');
  assert.equal(summary[0], 'disk 3: data disk (number 1), 1 files, 0 failed, 1 doubtful');
  assert.match(summary[1], /^disk 3: its directory \(sectors 13 and 14 of track 0\) was read, but sector 13 of track 0/);
  assert.match(summary.at(-1), /^105: 4596 bytes, 5 sectors .* read but doubtful: sector 2 of track 37/);
  const row = { head: 1, record: 2 };
  assert.match(cellWords(disk, row, 18, [5], 'en'), /105, bytes 1024–2047: read, but sector 2 of track 37/);
  const text = missingText([], 'en', [disk]);
  assert.match(text, /^dorvex read each of these files whole/);
  assert.match(text, /^disk 3: its directory .* was read, but /m);
  assert.match(text, /^105: 105 of disk 3 \(number 1\), 4596 bytes, doubtful$/m);
  assert.match(text, /^ {2}bytes 1024–2047 \(1024 bytes\): sector 2 of track 37 \(C18 H1\) was dumped/m);

  const clean = readDisk(fakeCore(diskWith([['read'], ['read'], ['read'], ['read'], ['read']])));
  assert.ok(!isDoubtful(clean));
  assert.ok(isQuiet(clean));
  const cleanDisk = diskOf(clean);
  assert.deepEqual(blockDoubts(cleanDisk, 'ja'), []);
  assert.ok(!diskSummary(cleanDisk, 'ja').some((line) => /疑わしい/.test(line)));
  assert.doesNotMatch(missingText([{ disk: cleanDisk, file: cleanDisk.files[0] }], 'en', []), /doubtful/);
});

test('the look inside shows offset, hex and Shift_JIS, and marks what is missing', () => {
  const decoder = new TextDecoder('shift_jis');
  const decode = (b) => decoder.decode(b);
  // "行 000 テスト\r\n" from byte 8, so that テ crosses into the second line.
  const bytes = new Uint8Array(40);
  bytes.set([0x8d, 0x73, 0x20, 0x30, 0x30, 0x30, 0x20, 0x83, 0x65, 0x83, 0x58, 0x83, 0x67, 0x0d, 0x0a], 8);
  const lines = previewLines(bytes, 0, 40, [{ from: 32, to: 36 }], decode);
  const join = (pieces) => pieces.map((p) => p.text).join('');
  assert.deepEqual(lines.map((l) => l.offset), ['00000000', '00000010', '00000020']);
  assert.equal(join(lines[0].text), '........行 000 テ');
  assert.equal(join(lines[1].text), ' スト' + '.'.repeat(11));
  assert.equal(join(lines[0].hex).slice(24, 29), '8d 73');
  assert.deepEqual(lines[2].hex.map((p) => p.gap), [true, false]);
  assert.equal(lines[2].hex[0].text, '·· ·· ·· ··');
  assert.equal(join(lines[2].text), '····....');
  assert.equal(lines[2].pad, 8);
  // From the middle, a line still starts where a character does.
  assert.equal(join(previewLines(bytes, 16, 32, [], decode)[0].text), ' スト' + '.'.repeat(11));
});
