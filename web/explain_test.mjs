// explain.js on disks made up as the program's accessors give them: what
// it reads from them, the words of each reason, the missing ranges, the
// map's rows and the look inside a file.
//   node --test web/explain_test.mjs
import assert from 'node:assert/strict';
import test from 'node:test';
import {
  readDisk, diskOf, pieceOf, fileReason, verdictReason, directoryNote, missingRanges,
  missingText, mapLayout, diskSummary, previewLines, kMapRecords,
} from './explain.js';

// The accessors of a run's module for one disk given as plain data; each
// name is a C string in its memory (a number here), each table a run of
// 32-bit words in it.
function fakeCore(disk, { pieceFields = 11 } = {}) {
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
                                                 p.from, p.length, name(p.state), p.held]));
  const files = table(disk.files.map((f) => [f.entry, f.length, f.startTrack, f.startRecord,
                                               f.first, f.count, f.failed]));
  const names = name(disk.files.map((f) => f.name).join(' '));
  return {
    HEAP32: Int32Array.from(words),
    UTF8ToString: (pointer) => strings[pointer - 1],
    _dorvex_disk_position: () => disk.position,
    _dorvex_disk_verdict: () => name(disk.verdict),
    _dorvex_disk_number: () => disk.number,
    _dorvex_disk_mark_offset: () => disk.markOffset ?? -1,
    _dorvex_disk_mark_value: () => disk.markValue ?? -1,
    _dorvex_directory_read: () => (disk.directoryRead ? 1 : 0),
    _dorvex_track_state: (t) => name(disk.absent?.includes(t) ? 'track-absent' : 'present'),
    _dorvex_piece_count: () => disk.pieces.length,
    _dorvex_piece_fields: () => pieceFields,
    _dorvex_piece_table: () => pieces,
    _dorvex_file_count: () => disk.files.length,
    _dorvex_file_fields: () => 7,
    _dorvex_file_table: () => files,
    _dorvex_file_names: () => names,
    _dorvex_file_salvage_name: (i) => name(disk.files[i].salvage),
  };
}
const describeDisk = (core) => diskOf(readDisk(core));

const system = (role, r, state = 'read') =>
  ({ role, file: -1, track: 0, c: 0, h: 0, r, n: 1, from: (r - 1) % 2 * 256, length: 256, state, held: 0 });
// File 105: five pieces on track 37 from R1, of which `states` say how each went.
function diskWith(states, extra = {}) {
  const pieces = [system('identification', 15), system('identification', 16),
                  system('directory', 13), system('directory', 14)];
  states.forEach(([state, held = 0], i) => pieces.push(
    { role: 'file', file: 0, track: 37, c: 18, h: 1, r: i + 1, n: 3, from: i * 1024,
      length: i === 4 ? 500 : 1024, state, held }));
  const failed = states.findIndex(([state]) => state !== 'read');
  return {
    position: 3, verdict: 'data-disk', number: 1, directoryRead: true, absent: [40],
    pieces,
    files: [{ entry: 5, name: '105', length: 4596, startTrack: 37, startRecord: 1, first: 4,
              count: 5, failed: failed < 0 ? -1 : failed + 4, salvage: failed < 0 ? '' : '105.partial' }],
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
