// Runs the WebAssembly build of dorvex under Node.js as the console program
// runs: on the image IMAGE, writing into the current directory, its
// messages (UTF-8) on standard output and error, its status as the exit
// status. MODULE is the Node.js build (dorvex_node.js), run in memory as
// the page's worker runs it (core_run.js), but for where the image's bytes
// come from: each part the program reads is read from the file straight
// into the module's memory, and each file is written out once, straight
// from it.
//   node web/run_core.mjs MODULE IMAGE
// IMAGE must be a file that opens: the runner opens it before the program.
// With DORVEX_OBSERVE set, the run is also told of each disk and reads it
// as the page does (readDisk). With DORVEX_REPORT_COUNTS set to a path, the
// run's crossings (core_run.js) go there as JSON, with the image's and the
// files' sizes and the count of files whose CRC-32 from the program is
// wrong. With DORVEX_REPORT_RSS set, prints the process's peak
// resident memory in KiB on standard error at the end, as "peak-rss-kib N",
// and the time from the module's start to its files taken (what the page's
// worker does, short of the zip), as "core-ms N".
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import process from 'node:process';
import { countCalls, crc32, filesOf, imageReader, newCounts, runOn } from './core_run.js';
import { readDisk } from './explain.js';

const [modulePath, image] = process.argv.slice(2);
if (!modulePath || !image) {
  process.stderr.write('usage: node run_core.mjs MODULE IMAGE\n');
  process.exit(2);
}
const createDorvex = createRequire(import.meta.url)(path.resolve(modulePath));
const counts = newCounts();
const line = (stream) => (text) => {
  counts.calls += 1;
  counts.lines += 1;
  stream.write(text + '\n');
};
let dorvex = null;
let salvageBytes = 0;
const observe = process.env.DORVEX_OBSERVE ? {
  onDisk: () => {
    counts.calls += 1;
    counts.disks += 1;
    readDisk(dorvex);
  },
  onSalvage: (file, pointer, length) => {
    counts.calls += 1;
    counts.bytesOut += length;
    salvageBytes += length;
    dorvex.HEAPU8.slice(pointer, pointer + length);
  },
} : {};
const imagePath = path.resolve(image);
const fd = fs.openSync(imagePath, 'r');
const imageBytes = fs.fstatSync(fd).size;
// A read that fails reads nothing, as a read error does in the program.
const readPart = (offset, target) => {
  try {
    return fs.readSync(fd, target, 0, target.length, offset);
  } catch {
    return 0;
  }
};
const reader = imageReader(readPart, counts);
const started = process.hrtime.bigint();
dorvex = await createDorvex({
  print: line(process.stdout), printErr: line(process.stderr),
  readImage: reader.readImage, ...observe,
});
reader.attach(dorvex);
countCalls(dorvex, counts);
const status = runOn(dorvex, imagePath, imageBytes);
const files = filesOf(dorvex);
const ms = Number(process.hrtime.bigint() - started) / 1e6;
fs.closeSync(fd);
let fileBytes = 0;
counts.crcWrong = 0;  // files whose CRC-32 from the program is not theirs
for (const file of files) {
  if (process.env.DORVEX_REPORT_COUNTS && file.crc !== crc32(file.bytes)) counts.crcWrong += 1;
  fs.writeFileSync(file.name, file.bytes);
  counts.bytesOut += file.bytes.length;
  fileBytes += file.bytes.length;
}
if (process.env.DORVEX_REPORT_COUNTS) {
  fs.writeFileSync(process.env.DORVEX_REPORT_COUNTS, JSON.stringify(
    { ...counts, imageBytes, fileBytes: fileBytes + salvageBytes }));
}
if (process.env.DORVEX_REPORT_RSS) {
  process.stderr.write(`peak-rss-kib ${process.resourceUsage().maxRSS}\n`);
  process.stderr.write(`core-ms ${ms.toFixed(1)}\n`);
}
process.exitCode = status;
