// Times the WebAssembly build under Node.js against the native program on
// one image, side by side in one run: each into an empty directory, in
// turn. Prints the medians, the median of each pair of runs' ratio, both
// for the whole Node.js process and for the core in memory alone (the
// module's start, the run and its files taken, as in the page's worker),
// and the Node.js process's peak resident memory; exits 1 when the
// process's ratio exceeds 2, the core's 0.5, or the memory exceeds the
// image's size plus 32 MiB.
//   node web/core_bench.mjs NATIVE MODULE IMAGE [RUNS]
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import process from 'node:process';
import { fileURLToPath } from 'node:url';

const [nativeArg, modulePath, image, runsArg] = process.argv.slice(2);
const native = path.resolve(nativeArg);
const runs = Number(runsArg ?? 5);
const runner = path.join(path.dirname(fileURLToPath(import.meta.url)),
                         'run_core.mjs');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'dorvex-web-bench-'));
const out = path.join(scratch, 'out');

// Runs `command` in an empty directory; returns seconds and standard error.
function timed(command, args, env = {}) {
  fs.rmSync(out, { recursive: true, force: true });
  fs.mkdirSync(out);
  const start = process.hrtime.bigint();
  const result = spawnSync(command, args, {
    cwd: out, env: { ...process.env, ...env },
    stdio: ['ignore', 'ignore', 'pipe'],
  });
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  if (result.status !== 0) {
    console.error(`core_bench: ${command} failed (${result.status})`);
    process.exit(2);
  }
  return { seconds, stderr: result.stderr.toString() };
}

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const nativeArgs = [path.resolve(image)];
const coreArgs = [runner, path.resolve(modulePath), path.resolve(image)];
timed(native, nativeArgs);  // warms the page cache
const nativeTimes = [], coreTimes = [], ratios = [], memoryTimes = [], memoryRatios = [];
let peakKiB = 0;
for (let i = 0; i < runs; ++i) {
  const n = timed(native, nativeArgs).seconds;
  const core = timed(process.execPath, coreArgs, { DORVEX_REPORT_RSS: '1' });
  const match = core.stderr.match(/peak-rss-kib (\d+)/);
  peakKiB = Math.max(peakKiB, match ? Number(match[1]) : Infinity);
  const inMemory = core.stderr.match(/core-ms ([\d.]+)/);
  const memorySeconds = inMemory ? Number(inMemory[1]) / 1e3 : Infinity;
  memoryTimes.push(memorySeconds);
  memoryRatios.push(memorySeconds / n);
  nativeTimes.push(n);
  coreTimes.push(core.seconds);
  ratios.push(core.seconds / n);
}
fs.rmSync(scratch, { recursive: true, force: true });

const imageMiB = fs.statSync(image).size / (1 << 20);
const ratio = median(ratios);
const memoryRatio = median(memoryRatios);
const memoryTarget = imageMiB + 32;
const peakMiB = peakKiB / 1024;
console.log(`image ${path.basename(image)}: ${imageMiB.toFixed(1)} MiB, ${runs} runs of each, in turn`);
console.log(`native          median ${(median(nativeTimes) * 1e3).toFixed(1)} ms`);
console.log(`WebAssembly     median ${(median(coreTimes) * 1e3).toFixed(1)} ms (Node.js ${process.version})`);
console.log(`  wall time ratio  ${ratio.toFixed(3)}, median of the runs' (target <= 2): ${ratio <= 2 ? 'met' : 'MISSED'}`);
console.log(`  in memory        median ${(median(memoryTimes) * 1e3).toFixed(1)} ms: the module's start, the run, its files taken`);
console.log(`  in memory ratio  ${memoryRatio.toFixed(3)}, median of the runs' (target <= 0.5): ${memoryRatio <= 0.5 ? 'met' : 'MISSED'}`);
console.log(`  peak RSS         ${peakMiB.toFixed(1)} MiB (target <= ${memoryTarget.toFixed(1)} MiB, the image + 32): ${peakMiB <= memoryTarget ? 'met' : 'MISSED'}`);
process.exitCode = ratio <= 2 && memoryRatio <= 0.5 && peakMiB <= memoryTarget ? 0 : 1;
