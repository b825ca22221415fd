// core_run.js under Node.js: its zip is fflate's, byte for byte, and the
// files it hands back are the zip's own bytes; its CRC-32 is the standard
// one; its budgets grow with what a run does.
//   node --test web/core_run_test.mjs
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import test from 'node:test';
import { budgetOf, crc32, newCounts, zipOut } from './core_run.js';

const fflate = createRequire(import.meta.url)('fflate');
const kTime = new Date(1980, 0, 1, 0, 0, 0);

const bytesOf = (length, seed) => Uint8Array.from({ length }, (_, i) => (seed + i * 7) & 255);

const kFileSets = [
  ['one file', [['20A', bytesOf(1024, 1)]]],
  // Names that read as integers come first in an object's keys, and so in
  // fflate's zip; the others in the order given.
  ['names as integers', [['0FF', bytesOf(10, 2)], ['100', bytesOf(300, 3)], ['099', bytesOf(7, 4)],
                         ['10A', bytesOf(0, 5)], ['5', bytesOf(1, 6)]]],
  ['a name not ASCII', [['データ', bytesOf(9, 7)], ['a', bytesOf(65535, 8)]]],
  ['no files', []],
];

for (const [what, set] of kFileSets) {
  test(`the zip is fflate's, byte for byte: ${what}`, () => {
    const files = set.map(([name, bytes]) => ({ name, bytes }));
    const members = {};
    for (const file of files) members[file.name] = [file.bytes, { mtime: kTime }];
    const counts = newCounts();
    const { zip, files: inZip } = zipOut(files, kTime, counts);
    assert.deepEqual(zip, fflate.zipSync(members, { level: 0 }));
    assert.equal(counts.bytesOut, files.reduce((sum, file) => sum + file.bytes.length, 0));
    inZip.forEach((file, i) => {
      assert.equal(file.name, files[i].name);
      assert.deepEqual(file.bytes, files[i].bytes);
      assert.equal(file.bytes.buffer, zip.buffer, 'a view of the zip, not a copy');
    });
  });
}

test('the CRC-32 is the standard one, at every length around a step', () => {
  assert.equal(crc32(new TextEncoder().encode('123456789')), 0xcbf43926);
  for (let length = 0; length < 20; ++length) {
    const bytes = bytesOf(length, length);
    let c = -1;  // a byte at a time
    for (const byte of bytes) {
      c ^= byte;
      for (let k = 0; k < 8; ++k) c = (c & 1) ? (c >>> 1) ^ 0xedb88320 : c >>> 1;
    }
    assert.equal(crc32(bytes), ~c >>> 0, `length ${length}`);
  }
});

test('the budgets grow with the lines, the disks, the reads and the files', () => {
  const run = { lines: 64, disks: 64, bytesIn: 117446768, imageBytes: 53232560, fileBytes: 7544107 };
  const budget = budgetOf(run);
  assert.equal(budget.calls, 16 + 2 * 64 + 24 * 64 + Math.ceil(117446768 / 65536));
  assert.equal(budget.bytesIn, Math.floor(2.5 * 53232560) + 128 * 1024);
  assert.equal(budget.bytesOut, 7544107);
  assert.ok(budgetOf({ ...run, disks: 65 }).calls > budget.calls);
});
