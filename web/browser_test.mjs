// The page in the three browser engines (Chromium, Firefox, WebKit), each
// opening dorvex.html as a user would: from disk (file://) and from a
// static web server on 127.0.0.1. The native program is the oracle: for the
// sample, a damaged image and a file that is no image, what the page shows
// and what it saves must be what the program writes, message for message
// and byte for byte. In each engine and each way of opening, the page must
// also ask for nothing, keep its console clean, show no empty control, be
// usable from the keyboard and pass axe-core's checks in each of its states.
// Images with one known fault each get, under each failure line, the
// reason the program gives, a map per disk that marks the pieces not read
// and the tracks that cannot be read, and a zip of the readable parts whose
// bytes are the ones expected; a look inside shows a file's text and marks
// what is missing; the map is used from the keyboard.
// From disk, each engine also runs a 100 MiB image: progress is shown as it
// goes, a click is answered while it works, its messages and files are the
// program's, and the page takes another image after it. Its time and memory
// are the page benchmark's (page_bench.mjs), never checked here.
//   node web/browser_test.mjs HTML NATIVE SAMPLE IMAGES SCREENSHOT [ENGINE...]
// IMAGES: a directory holding the benchmark's intact.d88 and large.d88, and
// faults/, the fault images with what the page must say of them; the maps of
// two of them are pictured beside SCREENSHOT (NAME-map.png and
// NAME-map-doubtful.png), in Chromium.
// ENGINE: chromium, firefox or webkit (all three when none is named);
// WebKit needs an X server (DISPLAY), as under xvfb-run.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import process from 'node:process';
import { pathToFileURL } from 'node:url';
import { createRequire } from 'node:module';
import { unzipSync } from 'fflate';
import { kEngines } from './browsers.mjs';
import { doubtReason, pieceWords, verdictReason } from './explain.js';

const [htmlArg, nativeArg, sampleArg, imagesArg, screenshotArg, ...engineNames] =
  process.argv.slice(2);
if (!screenshotArg) {
  process.stderr.write('usage: node browser_test.mjs HTML NATIVE SAMPLE IMAGES ' +
                       'SCREENSHOT [ENGINE...]\n');
  process.exit(2);
}
const [html, native, sample, images, screenshot] =
  [htmlArg, nativeArg, sampleArg, imagesArg, screenshotArg].map((p) => path.resolve(p));
const large = path.join(images, 'large.d88');
const faults = path.join(images, 'faults');
const kFaults = ['absent-track', 'changed-record', 'short-sector', 'cut-inside-file',
                 'bad-mark', 'short-directory',
                 // One sector each that the dump marks, in a file or block read whole.
                 'data-crc-error', 'address-crc-error', 'no-address-mark', 'no-data-mark',
                 'deleted-status', 'other-status', 'deleted-mark', 'twin', 'doubtful-directory',
                 'doubtful-identification'];
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'dorvex-browser-'));
const axeSource = fs.readFileSync(
  createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

// The page's own words that the test looks for, in each of its languages.
const kWords = {
  ja: {
    pick: 'イメージファイルを選ぶ',
    sampleSummary: 'データディスク 2 枚、取り出したファイル 6 個、失敗したファイル 0 個',
    doubtfulFiles: (count) => `、疑わしいファイル ${count} 個`,
    noDisk: 'このファイルには、D88 イメージとして読めるディスクがありません。',
    directory: (position) => `ディスク ${position} 枚目: ディレクトリ`,
  },
  en: {
    pick: 'Pick image files',
    sampleSummary: '2 data disks, 6 files taken out, 0 files failed',
    doubtfulFiles: (count) => `, ${count} files doubtful`,
    noDisk: 'This file holds no disk that can be read as a D88 image.',
    directory: (position) => `disk ${position}: its directory`,
  },
};

let failures = 0;
let passes = 0;
let where = '';
function check(condition, what) {
  if (condition) {
    passes += 1;
    return;
  }
  failures += 1;
  console.error(`FAILED: ${where}: ${what}`);
}

// The native program's messages (decoded from Shift_JIS) and files.
function runNative(image) {
  const dir = fs.mkdtempSync(path.join(scratch, 'native-'));
  const result = spawnSync(native, [image], { cwd: dir });
  const decode = (bytes) => new TextDecoder('shift_jis').decode(bytes);
  // A Map keeps the names in order; an object would put "100" before "00A".
  const files = new Map();
  for (const name of fs.readdirSync(dir).sort()) {
    files.set(name, fs.readFileSync(path.join(dir, name)));
  }
  fs.rmSync(dir, { recursive: true, force: true });
  return { status: result.status, out: decode(result.stdout),
           err: decode(result.stderr), files };
}

// The sample with entry 1 of its first disk pointed at sector 6, which no
// file track holds: one read failure, the other files intact.
function damagedSample() {
  const bytes = fs.readFileSync(sample);
  const track0 = bytes.readInt32LE(32);
  let at = track0;
  for (;;) {
    if (bytes[at + 2] === 13) break;  // the directory's first sector
    at += 16 + bytes.readUInt16LE(at + 14);
  }
  bytes[at + 16 + 4] = 6;
  const damaged = path.join(scratch, 'damaged.d88');
  fs.writeFileSync(damaged, bytes);
  return damaged;
}

// A static server of the page alone, on 127.0.0.1, that notes every
// request it gets.
async function serve() {
  const asked = [];
  const page = fs.readFileSync(html);
  const server = http.createServer((request, response) => {
    asked.push(`${request.method} ${request.url}`);
    if (request.url === '/dorvex.html') {
      response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
      response.end(page);
    } else {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { url: `http://127.0.0.1:${server.address().port}/dorvex.html`,
           asked, close: () => new Promise((resolve) => server.close(resolve)) };
}

// Hooks put into the page once it has loaded: which Blobs it makes (the
// zip among them), how often its file input is asked to open its picker
// (the picker itself kept shut), whether a run was under way when it
// answered each click on the licenses, what its document reports as wrong,
// and any fetch it makes.
const kHooks = `
  window.dorvexTest = { blobs: [], pickerOpened: 0, problems: [], clicks: [], urls: {} };
  const make = URL.createObjectURL;
  URL.createObjectURL = (object) => {
    window.dorvexTest.blobs.push(object);
    const url = make.call(URL, object);
    window.dorvexTest.urls[url] = object;
    return url;
  };
  document.querySelector('footer summary').addEventListener('click', () => {
    window.dorvexTest.clicks.push(
        document.querySelector('section.run[aria-busy="true"]') !== null);
  });
  document.getElementById('pick').addEventListener('click', (event) => {
    window.dorvexTest.pickerOpened += 1;
    event.preventDefault();
  });
  document.addEventListener('securitypolicyviolation', (event) => {
    window.dorvexTest.problems.push('refused ' + event.blockedURI);
  });
  window.addEventListener('error', (event) => {
    window.dorvexTest.problems.push('error ' + event.message);
  });
  window.addEventListener('unhandledrejection', (event) => {
    window.dorvexTest.problems.push('unhandled ' + event.reason);
  });
  // Every text each section's progress line shows, in turn, as the page
  // shows it.
  const shown = window.dorvexTest.progressShown = [];
  new MutationObserver(() => {
    document.querySelectorAll('section.run .progress').forEach((line, i) => {
      shown[i] ??= [];
      if (shown[i].at(-1) !== line.textContent) shown[i].push(line.textContent);
    });
  }).observe(document.getElementById('runs'),
             { subtree: true, childList: true, characterData: true });
  const fetchFor = window.fetch;
  window.fetch = (...args) => {
    window.dorvexTest.problems.push('fetch ' + args[0]);
    return fetchFor.apply(window, args);
  };`;

// The page's worker code run in a worker of the test's own, made as the
// page makes its worker and under its policy, with hooks ahead of the code
// that note whatever the engine reports as refused or wrong in the worker,
// which no driver here can see in every engine, and every request it makes
// (WebKit reports none of its refusals there). It runs the sample; returns
// how its run ended and the problems noted.
const workerProblems = (image) => `
  const hooks = \`
    const problems = [];
    self.addEventListener('securitypolicyviolation', (event) => {
      problems.push('refused ' + event.blockedURI);
    });
    self.addEventListener('error', (event) => problems.push('error ' + event.message));
    for (const level of ['error', 'warn']) {
      const write = console[level];
      console[level] = (...args) => {
        problems.push(level + ' ' + args.join(' '));
        write.apply(console, args);
      };
    }
    // Any request at all, whether or not the engine reports its refusal.
    for (const name of ['fetch', 'importScripts']) {
      const call = self[name];
      self[name] = (...args) => {
        problems.push(name + ' ' + args[0]);
        return call.apply(self, args);
      };
    }
    const open = XMLHttpRequest.prototype.open;
    XMLHttpRequest.prototype.open = function (...args) {
      problems.push('XMLHttpRequest ' + args[1]);
      return open.apply(this, args);
    };
    const post = self.postMessage.bind(self);
    self.postMessage = (message, transfer) => post({ ...message, problems }, transfer);
  \`;
  const source = document.getElementById('worker-source').textContent;
  const worker = new Worker(URL.createObjectURL(new Blob([hooks, ';\\n', source])));
  const bytes = Uint8Array.from(atob('${fs.readFileSync(image).toString('base64')}'),
                                (c) => c.charCodeAt(0));
  const end = await new Promise((resolve) => {
    worker.onmessage = (event) => {
      if (event.data.kind === 'done' || event.data.kind === 'failed') resolve(event.data);
    };
    worker.postMessage({ id: 0, name: 'sample.d88', image: bytes.buffer }, [bytes.buffer]);
  });
  worker.terminate();
  return { kind: end.kind, problems: end.problems };`;

// What section `index` shows.
const sectionState = (index) => `
  const section = document.querySelectorAll('section.run')[${index}];
  if (!section) return null;
  const texts = (selector) =>
    [...section.querySelectorAll(selector)].map((element) => element.textContent);
  return {
    busy: section.getAttribute('aria-busy'),
    out: texts('.messages .out').join(''),
    err: texts('.messages .err').join(''),
    summary: section.querySelector('.summary').textContent,
    word: section.querySelector('.word').textContent,
    names: texts('.files td.name'),
    link: section.querySelector('a.download')?.getAttribute('download') ?? null,
  };`;

// The Blob behind the last link that `selector` finds, as base64.
const linkedBlob = (selector) => `
  const links = document.querySelectorAll('${selector}');
  const blob = window.dorvexTest.urls[links[links.length - 1].href];
  const bytes = new Uint8Array(await blob.arrayBuffer());
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(text);`;

// Every control that shows and says nothing: no text, no label.
const kEmptyControls = `
  const empty = [];
  for (const element of document.querySelectorAll(
      'button, a, input, select, textarea, summary, label, [role=button], .button')) {
    const box = element.getBoundingClientRect();
    const shown = box.width > 0 && box.height > 0 &&
                  getComputedStyle(element).visibility !== 'hidden';
    const said = element.textContent.trim() || element.getAttribute('aria-label');
    if (shown && !said) empty.push(element.id || element.tagName);
  }
  return empty;`;

// axe-core's script runs as the driver's own, which no page policy stops
// (an eval in the page would be).
const kAxe = `
  if (!window.axe) {
    ${axeSource}
  }
  const result = await axe.run(document, { resultTypes: ['violations'] });
  return result.violations.map((v) =>
    v.id + ' (' + v.nodes.map((n) => n.target.join(' ')).join(', ') + ')');`;

async function accessible(browser, state) {
  const violations = await browser.evaluate(kAxe);
  check(violations.length === 0, `axe-core finds nothing ${state}: ${violations}`);
  const empty = await browser.evaluate(kEmptyControls);
  check(empty.length === 0, `no empty control shows ${state}: ${empty}`);
}

function sameFiles(got, want, what) {
  const gotNames = Object.keys(got).sort();
  const wantNames = [...want.keys()];
  check(JSON.stringify(gotNames) === JSON.stringify(wantNames),
        `${what}: the zip holds ${gotNames} (the program wrote ${wantNames})`);
  for (const name of wantNames) {
    check(got[name] && Buffer.compare(Buffer.from(got[name]), want.get(name)) === 0,
          `${what}: ${name} holds the program's bytes`);
  }
}

// Gives the page one file and waits for its section to end; returns what
// it shows. `during` is called while it is busy.
async function give(browser, file, index, during = async () => {}) {
  await browser.give(file);
  for (const started = Date.now(); Date.now() - started < 300000;) {
    const state = await browser.evaluate(sectionState(index));
    if (state && state.busy === 'false') return state;
    if (state) await during(state);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  check(false, `${path.basename(file)} ends its run within 5 minutes`);
  return browser.evaluate(sectionState(index));
}

const savedZip = async (browser, selector = 'a.download:not(.salvage)') =>
  unzipSync(Buffer.from(await browser.evaluate(linkedBlob(selector)), 'base64'));

// What section `index` shows of the run's explanations: each line of the
// page's own among the messages, with the message line before it; each
// disk's map, its rows and each cell's marks; the readable parts listed.
const explained = (index) => `
  const section = document.querySelectorAll('section.run')[${index}];
  const whys = [...section.querySelectorAll('.messages .why')].map((why) => ({
    text: why.firstChild.textContent,
    after: why.previousElementSibling?.classList.contains('why') ? null
         : why.previousElementSibling?.textContent.trim() ?? null,
  }));
  const all = [...section.querySelectorAll('details.disk-map')];
  for (const details of all) {
    if (!details.open) details.querySelector('summary').click();
  }
  // A map is drawn when its section opens, on the toggle that follows.
  for (let tries = 0; tries < 100 && all.some((d) => !d.querySelector('table.map')); ++tries) {
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  const maps = all.map((details) => {
    return [...details.querySelectorAll('table.map tr[data-head]')].map((row) => ({
      head: Number(row.dataset.head), record: Number(row.dataset.record),
      cells: [...row.querySelectorAll('td')].map((td) => td.className),
    }));
  });
  return { whys, maps,
           summary: section.querySelector('.summary').textContent,
           legends: all.map((d) => [...d.querySelectorAll('.legend .swatch')].map((s) => s.className)),
           mapTexts: all.map((d) => [...d.querySelectorAll('.map-text li')].map((li) => li.textContent)),
           notes: [...section.querySelectorAll('table.files tr')].slice(1)
             .map((tr) => [tr.cells[0].textContent, tr.cells[2]?.textContent ?? null]),
           parts: [...section.querySelectorAll('.salvaged td.name')].map((td) => td.textContent),
           link: section.querySelector('a.salvage')?.getAttribute('download') ?? null };`;

// Each fault image from section `first` on; returns the next section's index.
async function checkFaults(browser, first, mode) {
  const lang = browser.language;
  let index = first;
  for (const name of kFaults) {
    const image = path.join(faults, `${name}.d88`);
    const want = JSON.parse(fs.readFileSync(path.join(faults, `${name}.json`), 'utf8'));
    const native = runNative(image);
    const shown = await give(browser, image, index);
    const what = `the ${name} image`;
    check(shown.out === native.out && shown.err === native.err,
          `${what}: the program's messages: ${shown.out} / ${shown.err}`);
    const got = await browser.evaluate(explained(index));
    // The reasons, each under its line.
    const wantWhys = [];
    for (const disk of want.disks) {
      if (disk.verdict !== 'data-disk') {
        wantWhys.push({ after: `ディスク ${disk.position} 枚目は正しいディスクではないようです.`,
                        text: verdictReason({ verdict: disk.verdict, number: disk.disk_number,
                                              markOffset: disk.mark_offset,
                                              markValue: disk.mark_value }, lang) });
      }
      for (const failure of want.failures.filter((f) => f.position === disk.position)) {
        wantWhys.push({ after: `${failure.file} の読み込みに失敗しました.`,
                        text: pieceWords({ ...failure, c: failure.cylinder, h: failure.head,
                                           r: failure.record, n: failure.size_code }, lang) });
      }
    }
    // The doubts of each block and file, in words, as the run found them.
    const doubtWords = want.doubts.map((d) => doubtReason(
      { ...d, c: d.cylinder, h: d.head, r: d.record, n: d.size_code }, lang));
    const blockWords = doubtWords.filter((words, i) => !/^\d/.test(want.doubts[i].what));
    const isNote = (why) =>
      want.disks.some((disk) => why.text.startsWith(kWords[lang].directory(disk.position))) ||
      blockWords.some((words) => why.text.endsWith(`${words}。`) || why.text.endsWith(`${words}.`));
    const says = got.whys.filter((why) => why.after !== null && !isNote(why))
      .map((why) => ({ after: why.after, text: why.text }));
    check(JSON.stringify(says) === JSON.stringify(wantWhys),
          `${what}: the reason under each line: ${JSON.stringify(says)}`);
    // Doubts: counted in the summary, each file's beside its name, each
    // block's under the messages, each in its disk's summary; none on a
    // clean image.
    const doubtfulFiles = want.doubts.filter((d) => /^\d/.test(d.what));
    check(got.summary.includes(kWords[lang].doubtfulFiles(doubtfulFiles.length)) ===
          (doubtfulFiles.length > 0), `${what}: the summary counts the doubtful files: ${got.summary}`);
    const wantNotes = doubtfulFiles.map((d) => [d.what, doubtWords[want.doubts.indexOf(d)]]);
    const notes = got.notes.filter(([, note]) => note !== null && note !== '');
    check(JSON.stringify(notes) === JSON.stringify(wantNotes),
          `${what}: the doubtful files carry their reasons: ${JSON.stringify(got.notes)}`);
    check(want.doubts.length > 0 || got.notes.every(([, note]) => note === null),
          `${what}: a clean image has no column of notes`);
    for (const words of blockWords) {
      check(got.whys.some((why) => why.text.includes(words)), `${what}: a doubtful block is said: ${words}`);
    }
    for (const words of doubtWords) {
      check(got.mapTexts.flat().some((line) => line.includes(words)),
            `${what}: the disk's summary tells the doubt: ${words}`);
    }
    check(want.doubts.length > 0 || !got.mapTexts.flat().some((line) => /疑わしい|doubtful|may be wrong/.test(line)),
          `${what}: a clean image tells no doubt`);
    for (const disk of want.disks.filter((d) => d.verdict === 'data-disk' && !d.directory_read)) {
      check(got.whys.some((why) => why.text.startsWith(kWords[lang].directory(disk.position)) &&
                                   /(セクター|sector) 14/.test(why.text)),
            `${what}: disk ${disk.position}'s directory not read whole is said`);
    }
    // The maps: absent tracks marked, and each piece not read.
    check(got.maps.length === want.disks.length, `${what}: a map a disk: ${got.maps.length}`);
    want.disks.forEach((disk, d) => {
      const rows = got.maps[d] ?? [];
      const marked = (cells, mark) => cells.filter((c) => c.split(' ').includes(mark)).length;
      const absentAt = [];
      for (const row of rows) {
        row.cells.forEach((cell, c) => {
          if (cell.includes('absent')) absentAt.push(c * 2 + row.head);
        });
      }
      const present = new Set(disk.present_tracks);
      const absent = [...new Set(absentAt)].sort((a, b) => a - b);
      const wantAbsent = [];
      for (let t = 0; t < 164; ++t) {
        if (!present.has(t) && rows.some((row) => row.head === t % 2)) wantAbsent.push(t);
      }
      check(JSON.stringify(absent) === JSON.stringify(wantAbsent),
            `${what}: disk ${disk.position}'s map marks the tracks that cannot be read: ${absent}`);
      const failures = want.failures.filter((f) => f.position === disk.position);
      const notRead = failures.flatMap((f) => f.piece_states)
        .concat(disk.directory_states).filter((state) => state !== 'read').length;
      const bad = rows.reduce((sum, row) => sum + marked(row.cells, 'bad'), 0);
      check(bad === notRead, `${what}: disk ${disk.position}'s map marks ${bad} pieces not read ` +
                             `(${notRead} expected)`);
      for (const failure of failures) {
        const row = rows.find((r) => r.head === failure.track % 2 && r.record === failure.record);
        check(row?.cells[failure.track >> 1].includes('bad'),
              `${what}: the map marks ${failure.file}'s failed piece`);
      }
      const doubts = want.doubts.filter((dd) => dd.position === disk.position);
      const doubtCells = rows.reduce((sum, row) => sum + marked(row.cells, 'doubt'), 0);
      check(doubtCells === doubts.length,
            `${what}: disk ${disk.position}'s map marks ${doubtCells} doubtful sectors (${doubts.length} expected)`);
      for (const doubt of doubts) {
        const row = rows.find((r) => r.head === doubt.track % 2 && r.record === doubt.record);
        check(row?.cells[doubt.track >> 1].split(' ').includes('doubt'),
              `${what}: the map marks the doubtful sector of ${doubt.what}`);
      }
      check(got.legends[d].some((kind) => kind.includes('doubt')) === (doubts.length > 0),
            `${what}: disk ${disk.position}'s legend names doubtful sectors only where the map has one`);
    });
    // The readable parts: exactly the bytes expected, and MISSING.txt.
    const wantParts = want.failures.map((f) => f.salvage);
    check(JSON.stringify(got.parts) === JSON.stringify(wantParts),
          `${what}: the readable parts listed: ${got.parts}`);
    sameFiles(await savedZip(browser), native.files, `${what}'s program files`);
    if (wantParts.length === 0 && want.doubts.length > 0) {
      // Nothing to salvage: the report alone, listing each doubt.
      check(got.link === `${name}-salvaged.zip`, `${what}: the list of doubts offered: ${got.link}`);
      const zip = await savedZip(browser, 'a.salvage');
      check(JSON.stringify(Object.keys(zip)) === '["MISSING.txt"]', `${what}: the report's zip: ${Object.keys(zip)}`);
      const report = new TextDecoder().decode(zip['MISSING.txt'] ?? new Uint8Array());
      want.doubts.forEach((doubt, i) => {
        check(report.includes(doubtWords[i]) &&
              (!/^\d/.test(doubt.what) || report.includes(`${doubt.from}`)),
              `${what}: MISSING.txt tells the doubt of ${doubt.what}: ${report}`);
      });
      if (name === 'data-crc-error') await accessible(browser, 'with a doubtful file on its map');
    } else if (wantParts.length > 0) {
      const base = name;
      check(got.link === `${base}-salvaged.zip`, `${what}: the readable parts offered: ${got.link}`);
      const zip = await savedZip(browser, 'a.salvage');
      check(JSON.stringify(Object.keys(zip).sort()) ===
            JSON.stringify([...wantParts, 'MISSING.txt'].sort()),
            `${what}: the readable parts' zip holds ${Object.keys(zip)}`);
      for (const failure of want.failures) {
        const expected = fs.readFileSync(path.join(faults, name, failure.salvage));
        check(zip[failure.salvage] && Buffer.compare(Buffer.from(zip[failure.salvage]), expected) === 0,
              `${what}: ${failure.salvage} holds the readable pieces and zeros elsewhere`);
        const missing = new TextDecoder().decode(zip['MISSING.txt'] ?? new Uint8Array());
        for (const [from, to] of failure.missing) {
          check(missing.includes(failure.salvage) && missing.includes(`${from}`) &&
                missing.includes(`${to - 1}`),
                `${what}: MISSING.txt names ${failure.salvage}'s range ${from} to ${to}`);
        }
      }
    } else {
      check(got.link === null, `${what}: no readable parts offered`);
    }
    if (name === 'absent-track') await checkLooks(browser, index);
    const pictured = { 'changed-record': '-map.png', 'data-crc-error': '-map-doubtful.png' }[name];
    if (pictured && browser.screenshot && mode === 'from disk') {
      await browser.screenshot(screenshot.replace(/\.png$/, pictured),
                               `section.run:nth-of-type(${index + 1})`);
    }
    index += 1;
  }
  return index;
}

// On the absent-track image (section `index`): a look inside 100 shows its
// text, one inside 105.partial marks its missing range; the map is used by
// keyboard; every state passes axe-core.
async function checkLooks(browser, index) {
  const section = `document.querySelectorAll('section.run')[${index}]`;
  const look = await browser.evaluate(`
    const section = ${section};
    section.querySelector('.files button').click();
    const text = section.querySelector('.look pre.hex').textContent;
    return { text, chosen: section.querySelectorAll('table.map td.chosen').length };`);
  check(look.text.includes('行 000 テスト') && look.text.startsWith('00000000  8d 73 20 30'),
        `a look inside 100 shows its hex and text: ${look.text.slice(0, 80)}`);
  check(look.chosen === 3, `choosing 100 marks its 3 sectors on the map: ${look.chosen}`);
  await accessible(browser, 'with a map and a look inside a file');
  const part = await browser.evaluate(`
    const section = ${section};
    section.querySelector('.salvaged button').click();
    return { gaps: section.querySelector('.look-gaps')?.textContent ?? '',
             marked: section.querySelectorAll('.look pre.hex .gap').length,
             more: section.querySelector('.look button').hidden };`);
  check(part.gaps.includes('5120–10239') && part.marked === 0 && !part.more,
        `a look inside 105.partial marks its missing bytes: ${JSON.stringify(part)}`);
  await browser.evaluate(`${section}.querySelector('.look button').click(); return null;`);
  const grown = await browser.evaluate(`
    const view = ${section}.querySelector('.look pre.hex');
    return [view.textContent.split('\\n').length, view.querySelectorAll('.gap').length];`);
  check(grown[0] === 8192 / 16 + 1 && grown[1] > 0,
        `"more" shows 4 KiB more, the missing bytes marked: ${grown}`);
  // The keyboard: the map's first cell, down and right, then Enter on a
  // cell of 105 chooses it.
  await browser.evaluate(`${section}.querySelector('table.map td[tabindex="0"]').focus(); return null;`);
  await browser.press('ArrowDown');
  await browser.press('ArrowRight');
  const moved = await browser.evaluate(`
    const cell = document.activeElement;
    const status = cell.closest('details').querySelector('.map-status').textContent;
    return { label: cell.getAttribute('aria-label'), status };`);
  check(moved.label !== null && moved.status === moved.label,
        `the arrow keys move in the map and name the cell: ${moved.status}`);
  await browser.evaluate(`
    ${section}.querySelector('tr[data-head="1"][data-record="1"]').cells[3].focus(); return null;`);
  await browser.press('Enter');
  const chose = await browser.evaluate(`
    return [${section}.querySelectorAll('details.disk-map')[0].querySelectorAll('td.chosen').length,
            ${section}.querySelector('.look h3').textContent];`);
  check(chose[0] === 16 && chose[1].includes('105.partial'),
        `Enter on a cell of 105 chooses it and looks inside: ${chose}`);
  await accessible(browser, 'with a cell of the map chosen by keyboard');
}

// The checks of one page load: the three images and what the page is.
async function checkPage(browser, url, mode) {
  where = `${browser.name} ${browser.version}, ${mode}`;
  await browser.open(url);
  await browser.evaluate(kHooks);
  const words = kWords[browser.language];
  const label = await browser.evaluate(
      "return [document.documentElement.lang, document.querySelector('#pick-button').textContent]");
  check(label[0] === browser.language && label[1] === words.pick,
        `the page speaks the browser's language, ${browser.language}: ${label}`);
  const csp = await browser.evaluate(
      "return document.querySelector('meta[http-equiv=\"Content-Security-Policy\"]').content");
  check(/default-src 'none'/.test(csp) && !/connect-src|https?:|'unsafe-eval'/.test(csp),
        `the policy forbids every request and eval: ${csp}`);
  await accessible(browser, 'on the empty page');
  const inWorker = await browser.evaluate(workerProblems(sample));
  check(inWorker.kind === 'done' && inWorker.problems.length === 0,
        `the worker runs the sample with nothing refused or wrong: ${inWorker.kind}, ` +
        `${inWorker.problems}`);

  // The keyboard alone: Tab reaches the image button first, and Enter or
  // Space opens the picker.
  await browser.evaluate('document.activeElement?.blur(); return null;');
  await browser.press('Tab');
  check(await browser.evaluate('return document.activeElement.id') === 'pick-button',
        'Tab reaches the image button first');
  await browser.press('Enter');
  await browser.press('Space');
  check(await browser.evaluate('return window.dorvexTest.pickerOpened') === 2,
        'Enter and Space on the image button open the picker');

  // The sample: every message and every file as the program's.
  const want = runNative(sample);
  const shown = await give(browser, sample, 0);
  check(shown.out === want.out, `the sample's progress lines: ${shown.out}`);
  check(shown.err === want.err, `the sample's error lines: ${shown.err}`);
  check(shown.summary === words.sampleSummary, `the sample's summary: ${shown.summary}`);
  check(JSON.stringify(shown.names) === JSON.stringify([...want.files.keys()]),
        `the sample's file list: ${shown.names}`);
  check(shown.link === 'sample.zip', `the sample's zip is offered: ${shown.link}`);
  sameFiles(await savedZip(browser), want.files, 'the sample');
  if (browser.download) {
    sameFiles(unzipSync(await browser.download('a.download')), want.files,
              'the sample saved through its link');
  }
  if (browser.screenshot && mode === 'from disk') await browser.screenshot(screenshot);
  // Tab from the image button reaches the save link.
  await browser.evaluate("document.querySelector('#pick-button').focus(); return null;");
  let reached = false;
  for (let i = 0; i < 4 && !reached; ++i) {
    await browser.press('Tab');
    reached = await browser.evaluate(
        "return document.activeElement.matches('a.download')");
  }
  check(reached, 'Tab reaches the save link');
  await accessible(browser, 'after the sample');

  // A damaged image: its read failure shown apart, that file absent, the
  // rest present.
  {
    const damaged = damagedSample();
    const wantDamaged = runNative(damaged);
    check(wantDamaged.err.includes('101 の読み込みに失敗しました.'),
          'the damaged image fails to read 101 natively');
    const shownDamaged = await give(browser, damaged, 1);
    check(shownDamaged.out === wantDamaged.out && shownDamaged.err === wantDamaged.err,
          `the damaged image's messages: ${shownDamaged.out} / ${shownDamaged.err}`);
    const zip = await savedZip(browser);
    check(!('101' in zip), 'the unreadable file is not saved');
    sameFiles(zip, wantDamaged.files, 'the damaged image');
    await accessible(browser, 'after a damaged image');
  }

  // A file that is no image: the program's word, and a clear one.
  {
    const notImage = path.join(scratch, 'notes.txt');
    fs.writeFileSync(notImage, 'not a disk image\n');
    const wantText = runNative(notImage);
    const shownText = await give(browser, notImage, 2);
    check(shownText.out === wantText.out && shownText.err === wantText.err,
          `a text file's messages: ${shownText.out} / ${shownText.err}`);
    check(shownText.word === words.noDisk,
          `a text file gets a clear word: ${shownText.word}`);
    check(shownText.link === null, 'a text file offers no zip');
    await accessible(browser, 'after a file that is no image');
  }
  return checkFaults(browser, 3, mode);
}

// From disk only: the 100 MiB image, with progress shown as it goes, the
// page answering clicks while it works, and the program's messages and
// files at the end, byte for byte: its disks share numbers, so that most of
// its files are written over earlier ones, longer and shorter. Then the
// page takes the sample as it did before.
async function checkLarge(browser, first) {
  const want = runNative(large);
  const earlier = await browser.evaluate('return window.dorvexTest.clicks.length');
  // Enter on the licenses' summary, which has the focus, clicks it: a click
  // the driver makes at once, with no wait for the layout to settle.
  await browser.evaluate("document.querySelector('footer summary').focus(); return null;");
  let clicks = 0;
  const shown = await give(browser, large, first, async () => {
    await browser.press('Enter');  // toggles the licenses
    clicks += 1;
  });
  const progress = await browser.evaluate('return window.dorvexTest.progressShown[' + first + ']');
  check(progress.filter((line) => /\d/.test(line)).length >= 3,
        `progress is shown as the run goes: ${progress.slice(0, 5)}...`);
  const answered = (await browser.evaluate('return window.dorvexTest.clicks'))
      .slice(earlier).filter((during) => during).length;
  check(answered >= 1, `a click is answered while the page works (${answered} of ${clicks})`);
  check(JSON.stringify(shown.names) === JSON.stringify([...want.files.keys()]),
        `the 100 MiB image gives the program's files: ${shown.names.length} of ` +
        `${want.files.size}, ${shown.word}`);
  check(shown.out === want.out && shown.err === want.err,
        'the 100 MiB image gives the program\'s messages');
  sameFiles(await savedZip(browser), want.files, 'the 100 MiB image');

  const wantSample = runNative(sample);
  const again = await give(browser, sample, first + 1);
  check(again.out === wantSample.out && again.err === wantSample.err &&
        again.link === 'sample.zip',
        `the page takes the sample after the 100 MiB image: ${again.out} / ${again.err}`);
  sameFiles(await savedZip(browser), wantSample.files, 'the sample after the 100 MiB image');
}

const server = await serve();
for (const name of engineNames.length > 0 ? engineNames : Object.keys(kEngines)) {
  const started = Date.now();
  const browser = await kEngines[name]();
  try {
    await checkLarge(browser, await checkPage(browser, pathToFileURL(html).href, 'from disk'));
    const fromDisk = browser.requests();
    if (fromDisk !== null) {
      const outside = fromDisk.filter((url) => !/^(file|blob|data):/.test(url));
      check(outside.length === 0, `no request leaves the page: ${outside}`);
    }
    check(browser.problems().length === 0,
          `a clean console: ${browser.problems().join(' | ')}`);
    const hooked = await browser.evaluate('return window.dorvexTest.problems');
    check(hooked.length === 0, `nothing refused, nothing thrown: ${hooked}`);

    const askedBefore = server.asked.length;
    await checkPage(browser, server.url, 'from http://127.0.0.1');
    const asked = server.asked.slice(askedBefore);
    check(JSON.stringify(asked) === JSON.stringify(['GET /dorvex.html']),
          `the server is asked for the page alone: ${asked}`);
    const served = browser.requests();
    if (served !== null) {
      const outside = served.filter((url) => url !== server.url &&
                                             !/^(blob|data):/.test(url));
      check(outside.length === 0, `no request leaves the page: ${outside}`);
    }
    check(browser.problems().length === 0,
          `a clean console: ${browser.problems().join(' | ')}`);
    const hookedServed = await browser.evaluate('return window.dorvexTest.problems');
    check(hookedServed.length === 0, `nothing refused, nothing thrown: ${hookedServed}`);
  } finally {
    await browser.close();
  }
  console.log(`${browser.name} ${browser.version}: checked in ` +
              `${((Date.now() - started) / 1000).toFixed(1)} s`);
}
await server.close();
fs.rmSync(scratch, { recursive: true, force: true });
console.log(`${passes} passed, ${failures} failed`);
process.exitCode = failures > 0 ? 1 : 0;
