// Times the page in each browser engine on one image, beside the native
// program on the same image in the same run: from choosing the file to the
// save link on screen, in a freshly opened page (from disk, as a user opens
// it) each time, each run right after a native run into an empty directory;
// then the same image again in that page, a later image, whose module the
// page has already made once. Prints the medians, the median of each pair
// of runs' ratio, the first map's time after the save link, the page's peak
// memory (the kernel's peak resident size of the process that holds the
// page and its worker, its growth in the first run of a freshly started
// browser and its highest in any run), and where the time went: the
// median of each phase the page and its worker measure (performance.measure,
// "dorvex ..."). The first run, not timed, warms the browser and counts how
// many clicks the page answers while it works (Enter on the focused
// licenses, as often as the driver can, every 100 ms at the most); the
// timed runs are left alone, since each click costs the browser work on a
// machine that may have none to spare. The targets, printed with "met" or
// "missed": the page at most 1.5 times the native program, the first map at
// most 50 ms after the save link, the memory at most the image's size plus
// 64 MiB above the page's size at rest. No time fails it: it exits non-zero
// only when a run goes wrong (the page shows other files than the native
// program wrote, or fails).
//   node web/page_bench.mjs HTML NATIVE IMAGE [RUNS] [ENGINE...]
// ENGINE: chromium, firefox or webkit (all three when none is named);
// WebKit needs an X server (DISPLAY), as under xvfb-run.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import process from 'node:process';
import { setTimeout as sleep } from 'node:timers/promises';
import { pathToFileURL } from 'node:url';
import { kEngines } from './browsers.mjs';

const [htmlArg, nativeArg, imageArg, runsArg, ...engineNames] = process.argv.slice(2);
if (!imageArg) {
  process.stderr.write('usage: node page_bench.mjs HTML NATIVE IMAGE [RUNS] [ENGINE...]\n');
  process.exit(2);
}
const [html, native, image] = [htmlArg, nativeArg, imageArg].map((p) => path.resolve(p));
const runs = Math.max(1, Number(runsArg ?? 5));
const kTarget = 1.5;
const kMapTarget = 50;  // ms after the save link
const kMemoryTarget = 64;  // MiB above the image's size
const kClickEvery = 100;  // ms between the driver's clicks, at the most
const kRunLimit = 120000;  // ms: a run that takes longer has gone wrong
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'dorvex-page-bench-'));
const out = path.join(scratch, 'out');

// The native program into an empty directory; returns seconds and the
// number of files it left.
function runNative() {
  fs.rmSync(out, { recursive: true, force: true });
  fs.mkdirSync(out);
  const start = process.hrtime.bigint();
  const result = spawnSync(native, [image], { cwd: out, stdio: 'ignore' });
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  if (result.status !== 0) {
    console.error(`page_bench: ${native} failed (${result.status})`);
    process.exit(2);
  }
  return { seconds, files: fs.readdirSync(out).length };
}

// Put into the page once it has loaded: the time the file is chosen (the
// input's change, seen before the page's own handler), the end of the first
// frame drawn with the save link (`ended` resolves then), and each click on
// the licenses: when it was made and when the page answered it.
const kHooks = `
  const bench = window.dorvexBench = { clicks: [] };
  bench.ended = new Promise((resolve) => {
    window.addEventListener('change', () => { bench.chosen = performance.now(); }, true);
    const observer = new MutationObserver(() => {
      if (!document.querySelector('a.download')) return;
      observer.disconnect();
      requestAnimationFrame(() => setTimeout(() => {
        bench.shown = performance.now();
        resolve();
      }));
    });
    observer.observe(document.getElementById('runs'), { subtree: true, childList: true });
  });
  document.querySelector('footer summary').addEventListener('click', (event) => {
    bench.clicks.push({ made: event.timeStamp, answered: performance.now() });
  });
  return null;`;

// The image given again to the same page: resolves once the second save
// link is on screen.
const kLater = `
  const bench = window.dorvexBench;
  bench.later = new Promise((resolve) => {
    const observer = new MutationObserver(() => {
      if (document.querySelectorAll('a.download').length < 2) return;
      observer.disconnect();
      requestAnimationFrame(() => setTimeout(() => {
        bench.laterShown = performance.now();
        resolve();
      }));
    });
    observer.observe(document.getElementById('runs'), { subtree: true, childList: true });
  });
  return null;`;

// The phases the page measured so far, in ms, each name once a run; and
// for the first run, the time from choosing the file to its reading
// ("before") and from the page's last phase to the frame drawn with the
// save link ("frame": style, layout and paint).
const kPhases = `
  const measures = performance.getEntriesByType('measure').filter((e) => e.name.startsWith('dorvex '));
  const phases = measures.map((e) => [e.name.slice(7), e.duration]);
  const { chosen, shown } = window.dorvexBench;
  const read = measures.find((e) => e.name === 'dorvex read');
  const last = measures.find((e) => e.name === 'dorvex shown');
  if (read && last && shown !== undefined && window.dorvexBench.laterShown === undefined) {
    phases.unshift(['before', read.startTime - chosen]);
    phases.push(['frame', shown - (last.startTime + last.duration)]);
  }
  return phases;`;

// What the run's section shows at its end, to tell a run that failed.
const kShown = `
  const section = document.querySelector('section.run');
  return { word: section.querySelector('.word').textContent,
           files: section.querySelectorAll('.files td.name').length };`;

// The first disk's map, opened once the save link shows: the time from
// choosing the file to the first frame drawn with it.
const kFirstMap = `
  document.querySelector('details.maps-all').open = true;
  const first = document.querySelector('details.disk-map');
  first.open = true;
  while (!first.querySelector('table.map')) await new Promise((resolve) => setTimeout(resolve));
  await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
  return (performance.now() - window.dorvexBench.chosen) / 1000;`;

// The processes below `pid`, from /proc.
function processesBelow(pid) {
  const parents = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      parents.set(Number(entry), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch {
      // Ended while it was read: not one of the browser's any more.
    }
  }
  return [...parents.keys()].filter((child) => {
    for (let up = parents.get(child); up !== undefined; up = parents.get(up)) {
      if (up === pid) return true;
    }
    return false;
  });
}

// A figure in KiB from /proc/PID/status (VmRSS, VmHWM); null when unknown.
function statusKiB(pid, field) {
  try {
    const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
    const match = new RegExp(`^${field}:\\s+(\\d+)`, 'm').exec(status);
    return match ? Number(match[1]) : null;
  } catch {
    return null;
  }
}

// The kernel's count of each browser process's peak resident memory,
// started afresh for a run. A process's growth is counted from its size
// when it was first seen before a run (`sizes`, kept from run to run): an
// engine that keeps its process from page to page may keep what an earlier
// run freed, ready for the next. Returns a function that tells, after the
// run, the peak of the process that grew most (the one that holds the page
// and its worker) and its growth, in KiB; null where the kernel cannot tell.
function watchMemory(pid, sizes) {
  const watched = [];
  for (const child of processesBelow(pid)) {
    try {
      fs.writeFileSync(`/proc/${child}/clear_refs`, '5');  // peak := now
    } catch {
      continue;  // no peak of its own to be had: left out
    }
    const resident = statusKiB(child, 'VmRSS');
    if (resident === null) continue;
    if (!sizes.has(child)) sizes.set(child, resident);
    watched.push(child);
  }
  return () => {
    let most = null;
    for (const child of watched) {
      const peak = statusKiB(child, 'VmHWM');
      const growth = peak - sizes.get(child);
      if (peak !== null && (most === null || growth > most.growth)) {
        most = { peak, growth };
      }
    }
    return most;
  };
}

// One run in a fresh page: chooses the image and waits for the save link
// on screen, clicking the licenses meanwhile when `clicking`. Returns the
// seconds, the memory and the clicks made while the page worked.
async function runPage(browser, files, sizes, clicking) {
  await browser.open(pathToFileURL(html).href);
  await browser.evaluate(kHooks);
  const memory = watchMemory(browser.pid, sizes);
  if (clicking) {
    // Enter on the focused summary clicks it, with no wait for the layout
    // to settle.
    await browser.evaluate("document.querySelector('footer summary').focus(); return null;");
    await browser.give(image);
    for (const started = Date.now(); ; await sleep(kClickEvery)) {
      if (await browser.evaluate('return window.dorvexBench.shown !== undefined')) break;
      if (Date.now() - started > kRunLimit) throw new Error('the page did not end its run');
      await browser.press('Enter');
    }
  } else {
    await browser.give(image);
    await browser.evaluate('await window.dorvexBench.ended; return null;');
  }
  const peak = memory();
  const bench = await browser.evaluate(
    'const { chosen, shown, clicks } = window.dorvexBench; return { chosen, shown, clicks };');
  const shown = await browser.evaluate(kShown);
  if (shown.word !== '' || shown.files !== files) {
    throw new Error(`the page's run went wrong: ${shown.files} files, "${shown.word}"`);
  }
  const firstMap = await browser.evaluate(kFirstMap);
  const phases = await browser.evaluate(kPhases);
  // The same image again, in the same page.
  await browser.evaluate(kLater);
  await browser.give(image);
  await browser.evaluate('await window.dorvexBench.later; return null;');
  const later = await browser.evaluate(
    'const { chosen, laterShown } = window.dorvexBench; return (laterShown - chosen) / 1000;');
  const laterPhases = (await browser.evaluate(kPhases))
    .slice(phases.filter(([name]) => name !== 'before' && name !== 'frame').length);
  const during = bench.clicks.filter((click) => click.made >= bench.chosen &&
                                                click.made <= bench.shown);
  const answered = during.filter((click) => click.answered <= bench.shown);
  return {
    seconds: (bench.shown - bench.chosen) / 1000,
    later,
    firstMap,
    phases,
    laterPhases,
    peak,
    clicks: during.length,
    answered: answered.length,
    longestWait: Math.max(0, ...answered.map((click) => click.answered - click.made)),
  };
}

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const mib = (kib) => (kib / 1024).toFixed(0);
const imageMiB = fs.statSync(image).size / (1 << 20);
const files = runNative().files;  // warms the page cache
console.log(`image ${path.basename(image)}: ${imageMiB.toFixed(1)} MiB, ${files} files ` +
            `left; ${runs} runs in each engine, each right after a native run\n`);
// Each phase's median over `runs` (lists of [name, ms]), in the order met.
function phaseMedians(runs) {
  const all = new Map();
  for (const run of runs) {
    for (const [name, ms] of run) {
      if (!all.has(name)) all.set(name, []);
      all.get(name).push(ms);
    }
  }
  return [...all].map(([name, times]) => `${name} ${median(times).toFixed(0)}`).join(', ');
}

const verdict = (met) => (met ? 'met' : 'missed');
for (const name of engineNames.length > 0 ? engineNames : Object.keys(kEngines)) {
  const browser = await kEngines[name]();
  const nativeTimes = [], pageTimes = [], ratios = [], mapTimes = [], laterTimes = [],
    laterRatios = [], phases = [], laterPhases = [];
  const sizes = new Map();
  let first = null, peak = null;
  try {
    first = await runPage(browser, files, sizes, /* clicking= */ true);
    peak = first.peak;
    for (let i = 0; i < runs; ++i) {
      const n = runNative().seconds;
      const page = await runPage(browser, files, sizes, /* clicking= */ false);
      nativeTimes.push(n);
      pageTimes.push(page.seconds);
      mapTimes.push(page.firstMap - page.seconds);
      ratios.push(page.seconds / n);
      laterTimes.push(page.later);
      laterRatios.push(page.later / n);
      phases.push(page.phases);
      laterPhases.push(page.laterPhases);
      if (page.peak && (!peak || page.peak.peak > peak.peak)) peak = page.peak;
    }
  } finally {
    await browser.close();
  }
  const ratio = median(ratios);
  const laterRatio = median(laterRatios);
  const mapAfter = median(mapTimes) * 1e3;
  const each = pageTimes.map((t, i) => `${(t * 1e3).toFixed(0)}/${(nativeTimes[i] * 1e3).toFixed(0)}`);
  console.log(`${browser.name} ${browser.version}`);
  console.log(`  native           median ${(median(nativeTimes) * 1e3).toFixed(1)} ms`);
  console.log(`  page             median ${(median(pageTimes) * 1e3).toFixed(1)} ms, ` +
              'from choosing the file to the save link on screen, the first image');
  console.log(`  later image      median ${(median(laterTimes) * 1e3).toFixed(1)} ms, ` +
              'the same image again in the same page');
  console.log(`  first map        median ${mapAfter.toFixed(1)} ms after the save link ` +
              `(target <= ${kMapTarget}): ${verdict(mapAfter <= kMapTarget)}`);
  console.log(`  each run, page/native ms: ${each.join(' ')}`);
  console.log(`  wall time ratio  ${ratio.toFixed(2)} first, ${laterRatio.toFixed(2)} later, ` +
              `medians of the runs' (target <= ${kTarget}, not a gate): ` +
              `${verdict(ratio <= kTarget)}, ${verdict(laterRatio <= kTarget)}`);
  console.log(`  phases, first    ${phaseMedians(phases)} (ms, medians)`);
  console.log(`  phases, later    ${phaseMedians(laterPhases)} (ms, medians)`);
  console.log('  peak memory      ' + (first.peak && peak
    ? `the page's process ${mib(first.peak.growth)} MiB above its size at rest in the ` +
      `first run (target <= ${(imageMiB + kMemoryTarget).toFixed(0)}: ` +
      `${verdict(first.peak.growth / 1024 <= imageMiB + kMemoryTarget)}), to ` +
      `${mib(first.peak.peak)} MiB resident (${mib(peak.peak)} MiB at the most of all runs)`
    : 'not reported'));
  console.log(`  clicks           ${first.answered} of the ${first.clicks} made during the ` +
              `first run answered before its end, the slowest in ` +
              `${first.longestWait.toFixed(0)} ms\n`);
}
fs.rmSync(scratch, { recursive: true, force: true });
