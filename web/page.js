// The page: takes D88 images dropped on it or picked, reads each, has the
// worker run dorvex on it, one image a run, and shows what the program says
// and writes: under each failure line why it failed, a map of each disk,
// the readable parts of the files that failed, and a look inside any file.
// It decides nothing about images: every message, every file and every
// figure comes from the program, and explain.js (put ahead of this by the
// build) words them. An ES module, inline: the page fetches nothing.
/* global diskSummary, diskHeadLine, directoryNote, fileReason, verdictReason, mapLayout,
   cellWords, pieceOf, missingRanges, previewLines, kCylinders, diskOf, blockDoubts, fileDoubt,
   doubtfulFiles, probeJson */

const kTexts = {
  ja: {
    title: 'dorvex: D88 イメージからファイルを取り出す',
    lead: 'D88 イメージファイルをここにドロップするか、ボタンで選んでください。' +
          'ファイルはこのコンピューターの中だけで取り出します。どこにも送りません。',
    pick: 'イメージファイルを選ぶ',
    folder: '保存先のフォルダーを選ぶ',
    folderChosen: (name) => `保存先: ${name}`,
    zipNote: '取り出したファイルは、イメージごとに zip ファイルで保存します。',
    progress: (done, all) => `ディスク ${done} / ${all}`,
    reading: '読み込み中',
    waiting: '待機中',
    summary: (s) => `データディスク ${s.dataDisks} 枚、取り出したファイル ${s.filesWritten} 個、失敗したファイル ${s.filesFailed} 個`,
    summaryDoubtful: (count) => `、疑わしいファイル ${count} 個`,
    note: '注意',
    noDisk: 'このファイルには、D88 イメージとして読めるディスクがありません。',
    noDataDisk: 'このイメージには、データディスクがありません。',
    cannotOpen: 'このファイルは開けませんでした。',
    failed: (reason) => `取り出しの途中で問題が起きました: ${reason}`,
    save: (name) => `${name} を保存`,
    saved: (count, folder) => `${count} 個のファイルを ${folder} に保存しました。`,
    name: '名前', size: 'バイト数',
    saveSalvaged: (name) => `読めた部分 ${name} を保存`,
    savedSalvaged: (count, folder) => `読めた部分 ${count} 個と MISSING.txt を ${folder}/salvaged に保存しました。`,
    saveJson: (name) => `${name} を保存（dorvex-probe の JSON）`,
    saveReport: (name) => `疑わしいファイルの一覧 ${name} を保存`,
    savedReport: (folder) => `疑わしいファイルの一覧 MISSING.txt を ${folder}/salvaged に保存しました。`,
    maps: (count) => `ディスクの地図（${count} 枚）`,
    mapLabel: (position) => `ディスク ${position} 枚目の地図`,
    mapHelp: '横がシリンダー、縦がヘッドとセクター番号です。矢印キーで動かすと、そこが何かをここに表示します。' +
             'Enter でそのファイルを選びます。',
    legend: [['file', 'ファイルのセクター（色はファイルごと）'], ['bad', '読めなかったセクター'],
             ['sys', 'ディレクトリと識別ブロック'], ['absent', '読めないトラック'],
             ['chosen', '選んだファイル']],
    legendDoubt: ['doubt', '読めたが、ダンプが不良と記録したセクター（バイトが正しくないかもしれません）'],
    otherRecords: '他',
    showOnMap: '地図で見る',
    part: '読めた部分', missingBytes: '欠けたバイト数', from: '元のファイル',
    fromFile: (position, name) => `ディスク ${position} 枚目の ${name}`,
    look: (name) => `${name} の中身`,
    lookShown: (shown, all) => `${all} バイトのうち先頭 ${shown} バイト`,
    lookGaps: (ranges) => `欠けたところ（0 で埋めてあり、「··」で表示）: ${ranges}`,
    lookMore: '続きを 4 KiB 表示',
  },
  en: {
    title: 'dorvex: take the files out of D88 images',
    lead: 'Drop D88 image files here, or pick them with the button. ' +
          'Everything happens on this computer; nothing is sent anywhere.',
    pick: 'Pick image files',
    folder: 'Choose a folder to save into',
    folderChosen: (name) => `Saving into: ${name}`,
    zipNote: 'The files of each image are saved as one zip file.',
    progress: (done, all) => `disk ${done} of ${all}`,
    reading: 'reading',
    waiting: 'waiting',
    summary: (s) => `${s.dataDisks} data disks, ${s.filesWritten} files taken out, ${s.filesFailed} files failed`,
    summaryDoubtful: (count) => `, ${count} files doubtful`,
    note: 'note',
    noDisk: 'This file holds no disk that can be read as a D88 image.',
    noDataDisk: 'This image holds no data disk.',
    cannotOpen: 'This file could not be opened.',
    failed: (reason) => `Something went wrong while extracting: ${reason}`,
    save: (name) => `Save ${name}`,
    saved: (count, folder) => `Saved ${count} files into ${folder}.`,
    name: 'name', size: 'bytes',
    saveSalvaged: (name) => `Save the readable parts, ${name}`,
    savedSalvaged: (count, folder) => `Saved ${count} readable parts and MISSING.txt into ${folder}/salvaged.`,
    saveJson: (name) => `Save ${name} (the JSON of dorvex-probe)`,
    saveReport: (name) => `Save the list of doubtful files, ${name}`,
    savedReport: (folder) => `Saved the list of doubtful files, MISSING.txt, into ${folder}/salvaged.`,
    maps: (count) => `Maps of the disks (${count})`,
    mapLabel: (position) => `map of disk ${position}`,
    mapHelp: 'Across: cylinders; down: heads and sector numbers. Move with the arrow keys to hear what is ' +
             'there, here; Enter chooses its file.',
    legend: [['file', 'a file\'s sector (a colour for each file)'], ['bad', 'a sector not read'],
             ['sys', 'the directory and the identification block'], ['absent', 'a track that cannot be read'],
             ['chosen', 'the chosen file']],
    legendDoubt: ['doubt', 'a sector read, but recorded as bad by the dump (its bytes may be wrong)'],
    otherRecords: 'other',
    showOnMap: 'show on the map',
    part: 'readable part', missingBytes: 'bytes missing', from: 'of the file',
    fromFile: (position, name) => `${name} of disk ${position}`,
    look: (name) => `Inside ${name}`,
    lookShown: (shown, all) => `the first ${shown} of ${all} bytes`,
    lookGaps: (ranges) => `missing (zeros, shown as "··"): ${ranges}`,
    lookMore: 'Show 4 KiB more',
  },
};

// Japanese unless the browser prefers English to it.
function chooseLanguage() {
  for (const language of navigator.languages || [navigator.language]) {
    if (language.startsWith('ja')) return 'ja';
    if (language.startsWith('en')) return 'en';
  }
  return 'ja';
}
const lang = chooseLanguage();
const text = kTexts[lang];
document.documentElement.lang = lang;

const $ = (selector) => document.querySelector(selector);
const make = (tag, className, content) => {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (content !== undefined) element.textContent = content;
  return element;
};

document.title = text.title;
$('#title').textContent = text.title;
$('#lead').textContent = text.lead;
$('#zip-note').textContent = text.zipNote;

// The file input stays hidden; a real button opens its picker, so that Tab
// reaches it and Enter or Space opens it in every browser.
const picker = $('#pick');
const pickButton = $('#pick-button');
pickButton.textContent = text.pick;
picker.setAttribute('aria-label', text.pick);
pickButton.addEventListener('click', () => picker.click());

// A folder to save into, shown only where the browser can write to one.
let folder = null;
if (typeof window.showDirectoryPicker === 'function') {
  const button = $('#folder');
  button.hidden = false;
  button.textContent = text.folder;
  button.addEventListener('click', async () => {
    try {
      folder = await window.showDirectoryPicker({ mode: 'readwrite' });
    } catch (error) {
      if (error.name === 'AbortError') return;  // closed: zip files, as before
      throw error;
    }
    $('#zip-note').textContent = text.folderChosen(folder.name);
  });
}

const workerSource = $('#worker-source').textContent;
const worker = new Worker(URL.createObjectURL(
    new Blob([workerSource], { type: 'text/javascript' })));
let nextId = 0;
let queue = Promise.resolve();

// One section of the page for one image, filled in as its run goes; busy
// until the run ends.
function addRun(file) {
  const section = make('section', 'run');
  section.setAttribute('aria-busy', 'true');
  const heading = make('h2', '', file.name);
  heading.id = `run-${nextId}-name`;
  section.setAttribute('aria-labelledby', heading.id);
  const progress = make('p', 'progress', text.waiting);
  progress.setAttribute('role', 'status');
  const messages = make('pre', 'messages');
  const summary = make('p', 'summary');
  const word = make('p', 'word');
  const save = make('p', 'save');
  const maps = make('div', 'maps');
  const table = make('table', 'files');
  const parts = make('table', 'salvaged');
  const look = make('section', 'look');
  look.hidden = true;
  // A thousand rows cost a frame's layout whenever anything above them
  // moves: out of sight, the browser may leave them unlaid. The box joins
  // the section with its rows (showFiles), seen first where they stand.
  const filesBox = make('div', 'files-box');
  filesBox.append(table);
  section.append(heading, progress, messages, summary, word, save, maps, parts, look);
  $('#runs').append(section);
  return { section, progress, messages, summary, word, save, maps, filesBox, table, parts, look,
           disks: [], failures: [], mapOf: new Map(), chosen: [] };
}

function showLine(run, stream, line) {
  run.messages.append(make('span', stream === 'err' ? 'err' : 'out', line + '\n'));
}

// A line of the page's own under a message line (or at the end): why, and
// where the map shows it.
function addWhy(run, after, words, position, file) {
  const line = make('span', 'why', words);
  if (position !== undefined) {
    const button = make('button', 'link', text.showOnMap);
    button.type = 'button';
    button.addEventListener('click', () => showOnMap(run, position, file, true));
    line.append(' ', button);
  }
  line.append('\n');
  if (after) after.after(line);
  else run.messages.append(line);
}

// A disk's run has ended: the reason under each of its failure lines (noted
// as each came), under its verdict's line, and for a directory not read.
function showDisk(run, disk) {
  run.disks.push(disk);
  for (const { file, line } of run.failures) {
    addWhy(run, line, fileReason(disk, disk.files[file], lang), disk.position, file);
  }
  run.failures = [];
  const why = verdictReason(disk, lang);
  if (why) addWhy(run, run.messages.lastElementChild, why, disk.position);
  const note = directoryNote(disk, lang);
  if (note) addWhy(run, null, note, disk.position);
  for (const line of blockDoubts(disk, lang)) addWhy(run, null, line, disk.position);
}

async function writeInto(directory, files) {
  for (const file of files) {
    const handle = await directory.getFileHandle(file.name, { create: true });
    const writable = await handle.createWritable();
    await writable.write(file.bytes);
    await writable.close();
  }
}

function offer(run, className, words, zipName, zip, type = 'application/zip') {
  const link = make('a', className, words);
  link.href = URL.createObjectURL(new Blob([zip], { type }));
  link.download = zipName;
  run.save.append(link);
  return link;
}

// The program's files as it wrote them, and apart from them, never under
// one of their names, the readable parts of the files that failed.
async function saveFiles(run, name, result) {
  const { files, salvaged } = result;
  if (folder) {
    const said = [];
    if (files.length > 0) {
      await writeInto(folder, files);
      said.push(text.saved(files.length, folder.name));
    }
    if (result.missing) {
      const into = await folder.getDirectoryHandle('salvaged', { create: true });
      await writeInto(into, [...salvaged, { name: 'MISSING.txt', bytes: result.missing }]);
      said.push(salvaged.length > 0 ? text.savedSalvaged(salvaged.length, folder.name)
                                    : text.savedReport(folder.name));
    }
    run.save.textContent = said.join(' ');
    return;
  }
  const base = name.replace(/\.[^.]*$/, '');
  if (files.length > 0) offer(run, 'download', text.save(`${base}.zip`), `${base}.zip`, result.zip);
  if (result.salvageZip) {
    if (files.length > 0) run.save.append(' ');
    const words = salvaged.length > 0 ? text.saveSalvaged : text.saveReport;
    offer(run, 'download salvage', words(`${base}-salvaged.zip`), `${base}-salvaged.zip`,
          result.salvageZip);
  }
}

// The disk and file index whose file the program last wrote under each
// name: later disks of the same number write over earlier ones.
function writers(run) {
  const by = new Map();
  for (const disk of run.disks) {
    disk.files.forEach((file, index) => {
      if (file.failed < 0) by.set(file.name, { position: disk.position, index, disk, file });
    });
  }
  return by;
}

function fileButton(words, choose) {
  const button = make('button', 'link', words);
  button.type = 'button';
  button.addEventListener('click', choose);
  return button;
}

function headRow(...names) {
  const head = make('tr');
  for (const name of names) {
    const cell = make('th', '', name);
    cell.scope = 'col';
    head.append(cell);
  }
  return head;
}

// The program's files; choosing one looks inside it and shows its sectors
// on the map of the disk it came from. One click handler for the table.
function showFiles(run, files) {
  // A file read whole from a sector the dump marks carries why, in a column
  // that only a run with such a file has.
  let origins = run.disks.some((disk) => doubtfulFiles(disk).length > 0) ? writers(run) : null;
  const doubtOf = (file) => {
    const origin = origins?.get(file.name);
    return origin && origin.file.doubtful >= 0 ? fileDoubt(origin.disk, origin.file, lang) : '';
  };
  // Built apart and added at once: one layout for a thousand rows.
  const rows = document.createDocumentFragment();
  rows.append(origins ? headRow(text.name, text.size, text.note) : headRow(text.name, text.size));
  for (const file of files) {
    const row = make('tr');
    const name = make('td', 'name');
    name.append(make('button', 'link', file.name));
    row.append(name, make('td', 'size', String(file.bytes.length)));
    if (origins) row.append(make('td', 'doubt', doubtOf(file)));
    rows.append(row);
  }
  run.table.append(rows);
  run.maps.after(run.filesBox);
  run.table.addEventListener('click', (event) => {
    const button = event.target.closest('button');
    if (!button) return;
    const file = files[button.closest('tr').rowIndex - 1];
    lookInside(run, file.name, file.bytes, []);
    origins ??= writers(run);
    const origin = origins.get(file.name);
    if (origin) showOnMap(run, origin.position, origin.index, false);
  });
}

// The readable parts of the files that failed, with how much is missing.
function showSalvaged(run, salvaged) {
  if (salvaged.length === 0) return;
  run.parts.append(headRow(text.part, text.size, text.missingBytes, text.from));
  for (const part of salvaged) {
    const disk = run.disks.find((d) => d.position === part.position);
    const file = disk.files[part.index];
    const gaps = missingRanges(disk, file);
    const row = make('tr');
    const name = make('td', 'name');
    name.append(fileButton(part.name, () => {
      lookInside(run, part.name, part.bytes, gaps);
      showOnMap(run, part.position, part.index, false);
    }));
    const lost = gaps.reduce((sum, gap) => sum + gap.to - gap.from, 0);
    row.append(name, make('td', 'size', String(part.bytes.length)),
               make('td', 'size', String(lost)),
               make('td', '', text.fromFile(part.position, file.name)));
    run.parts.append(row);
  }
}

// A look inside a file: offset, hex and Shift_JIS text, 4 KiB at a time,
// its missing ranges marked.
const kLookStep = 4096;
const sjis = new TextDecoder('shift_jis');
const decodeSjis = (bytes) => sjis.decode(bytes);
function lookInside(run, name, bytes, gaps) {
  const look = run.look;
  look.replaceChildren();
  look.hidden = false;
  const heading = make('h3', '', text.look(name));
  heading.id = `${run.section.getAttribute('aria-labelledby')}-look`;
  look.setAttribute('aria-labelledby', heading.id);
  const shown = make('p', 'look-shown');
  look.append(heading, shown);
  if (gaps.length > 0) {
    const words = gaps.map((gap) => `${gap.from}–${gap.to - 1}`).join(', ');
    look.append(make('p', 'look-gaps', text.lookGaps(words)));
  }
  const view = make('pre', 'hex');
  view.tabIndex = 0;
  view.setAttribute('aria-label', text.look(name));
  const more = make('button', 'button', text.lookMore);
  more.type = 'button';
  look.append(view, more);
  let end = 0;
  const grow = () => {
    const to = Math.min(bytes.length, end + kLookStep);
    const lines = document.createDocumentFragment();
    for (const line of previewLines(bytes, end, to, gaps, decodeSjis)) {
      lines.append(line.offset + '  ');
      for (const piece of line.hex) lines.append(piece.gap ? make('span', 'gap', piece.text) : piece.text);
      lines.append(' '.repeat(line.pad * 3 + 2));
      for (const piece of line.text) lines.append(piece.gap ? make('span', 'gap', piece.text) : piece.text);
      lines.append('\n');
    }
    view.append(lines);
    end = to;
    shown.textContent = text.lookShown(end, bytes.length);
    more.hidden = end >= bytes.length;
  };
  more.addEventListener('click', grow);
  grow();
}

// The maps: one closed section a disk, drawn when first opened, so that a
// run of 64 disks costs 64 lines until one is looked at. Disks with
// something wrong start open.
function showMaps(run) {
  const outer = make('details', 'maps-all');
  outer.append(make('summary', '', text.maps(run.disks.length)));
  let troubled = false;
  for (const disk of run.disks) {
    const failed = disk.files.filter((f) => f.failed >= 0).length;
    const trouble = failed > 0 || disk.verdict !== 'data-disk' || !disk.directoryRead ||
                    doubtfulFiles(disk).length > 0 || blockDoubts(disk, lang).length > 0;
    troubled ||= trouble;
    const details = make('details', 'disk-map');
    details.append(make('summary', '', diskHeadLine(disk, lang)));
    const map = { disk, details, drawn: false };
    run.mapOf.set(disk.position, map);
    details.addEventListener('toggle', () => {
      if (details.open && !map.drawn) drawMap(run, map);
    });
    outer.append(details);
    if (trouble) {
      details.open = true;
      drawMap(run, map);
    }
  }
  outer.open = troubled;
  run.maps.append(outer);
}

// The map of one disk, as a grid: a column a cylinder, a row for each head
// and sector number its pieces ask for; each cell coloured by whose piece
// it is, marked where a piece was not read or the track cannot be read.
// Below it the line that names the chosen cell, the key and the summary.
const kPalette = 8;
function drawMap(run, map) {
  map.drawn = true;
  const { disk, details } = map;
  const layout = mapLayout(disk);
  const table = make('table', 'map');
  table.setAttribute('role', 'grid');
  table.setAttribute('aria-label', text.mapLabel(disk.position));
  const head = make('tr');
  head.append(make('td', 'corner'));
  for (let c = 0; c < kCylinders; ++c) {
    const th = make('th', c % 10 === 0 ? '' : 'quiet', String(c));
    th.scope = 'col';
    head.append(th);
  }
  const body = document.createDocumentFragment();
  body.append(head);
  const cells = [];
  layout.rows.forEach((row, r) => {
    const tr = make('tr');
    tr.dataset.head = row.head;
    tr.dataset.record = row.record;
    const th = make('th', '', `H${row.head} ${row.record < 0 ? text.otherRecords : 'R' + row.record}`);
    th.scope = 'row';
    tr.append(th);
    const line = [];
    for (let c = 0; c < kCylinders; ++c) {
      const td = make('td');
      td.tabIndex = -1;
      const pieces = layout.cells.get(r * kCylinders + c) ?? [];
      const track = c * 2 + row.head;
      const kinds = [];
      if (disk.tracks && disk.tracks[track] !== 0) kinds.push('absent');
      if (pieces.length > 0) {
        const p = pieceOf(disk, pieces[0]);
        kinds.push(p.role === 'file' ? `file f${p.file % kPalette}` : 'sys');
        if (pieces.some((k) => pieceOf(disk, k).state !== 'read')) kinds.push('bad');
        if (pieces.some((k) => isDoubtfulPiece(pieceOf(disk, k)))) {
          kinds.push('doubt');
          map.doubtful = true;
        }
      }
      td.className = kinds.join(' ');
      td.setAttribute('aria-label', cellWords(disk, row, c, pieces, lang));
      tr.append(td);
      line.push({ td, pieces });
    }
    cells.push(line);
    body.append(tr);
  });
  table.append(body);
  map.cells = cells;
  map.layout = layout;
  const status = make('p', 'map-status');
  status.setAttribute('role', 'status');
  map.status = status;
  const first = cells.flat().find((cell) => cell.pieces.length > 0) ?? cells[0]?.[0];
  if (first) first.td.tabIndex = 0;
  table.addEventListener('focusin', (event) => {
    const td = event.target.closest('td');
    if (!td || !td.hasAttribute('aria-label')) return;
    for (const cell of table.querySelectorAll('td[tabindex="0"]')) cell.tabIndex = -1;
    td.tabIndex = 0;
    status.textContent = td.getAttribute('aria-label');
  });
  table.addEventListener('keydown', (event) => moveInMap(run, map, event));
  const scroll = make('div', 'map-scroll');
  scroll.append(table);
  const legend = make('ul', 'legend');
  for (const [kind, words] of map.doubtful ? [...text.legend, text.legendDoubt] : text.legend) {
    const item = make('li');
    item.append(make('span', `swatch ${kind === 'file' ? 'file f0' : kind}`), words);
    legend.append(item);
  }
  const help = make('p', 'map-help', text.mapHelp);
  const summary = make('ul', 'map-text');
  for (const line of diskSummary(disk, lang).slice(1)) summary.append(make('li', '', line));
  details.append(scroll, status, help, legend, summary);
  for (const { position, file } of run.chosen) {
    if (position === disk.position) markFile(map, file);
  }
}

const isDoubtfulPiece = (p) => p.state === 'read' && p.doubt !== 'none';

// Arrow keys, Home and End move in the grid; Enter or Space chooses the
// cell's file.
function moveInMap(run, map, event) {
  const td = event.target.closest('td');
  if (!td) return;
  const r = td.parentElement.rowIndex - 1;
  const c = td.cellIndex - 1;
  const rows = map.cells.length;
  const moves = {
    ArrowLeft: [r, c - 1], ArrowRight: [r, c + 1], ArrowUp: [r - 1, c], ArrowDown: [r + 1, c],
    Home: [r, 0], End: [r, kCylinders - 1],
  };
  if (event.key in moves) {
    const [to, across] = moves[event.key];
    if (to >= 0 && to < rows && across >= 0 && across < kCylinders) map.cells[to][across].td.focus();
    event.preventDefault();
  } else if (event.key === 'Enter' || event.key === ' ') {
    const k = map.cells[r][c].pieces.find((piece) => pieceOf(map.disk, piece).role === 'file');
    if (k !== undefined) chooseOnMap(run, map, pieceOf(map.disk, k).file);
    event.preventDefault();
  }
}

// A file chosen on its map: its sectors marked, and its bytes looked into
// where the page has them (the program's file, or its readable part).
function chooseOnMap(run, map, index) {
  showOnMap(run, map.disk.position, index, false);
  const file = map.disk.files[index];
  if (file.failed >= 0) {
    const part = run.salvagedParts?.find((p) => p.position === map.disk.position && p.index === index);
    if (part) lookInside(run, part.name, part.bytes, missingRanges(map.disk, file));
  } else if (writers(run).get(file.name)?.position === map.disk.position) {
    const written = run.files?.find((f) => f.name === file.name);
    if (written) lookInside(run, written.name, written.bytes, []);
  }
}

function markFile(map, index) {
  for (const line of map.cells) {
    for (const { td, pieces } of line) {
      const mine = pieces.some((k) => {
        const p = pieceOf(map.disk, k);
        return p.role === 'file' && p.file === index;
      });
      td.classList.toggle('chosen', mine);
    }
  }
}

// Shows file `index` of disk `position` on its map, opening and drawing it;
// with `focus`, moves the focus to its first piece not read (or its first).
function showOnMap(run, position, index, focus) {
  const map = run.mapOf.get(position);
  if (!map) return;
  for (const other of run.mapOf.values()) {
    if (other !== map && other.drawn) markFile(other, -1);
  }
  run.chosen = [{ position, file: index }];
  map.details.parentElement.open = true;
  map.details.open = true;
  if (!map.drawn) drawMap(run, map);
  markFile(map, index);
  if (!focus) return;
  const file = map.disk.files[index];
  const target = file?.failed >= 0 ? file.failed : file?.doubtful >= 0 ? file.doubtful : file?.first;
  for (const line of map.cells) {
    for (const cell of line) {
      if (cell.pieces.includes(target)) {
        cell.td.focus();
        return;
      }
    }
  }
}

async function finish(run, name, result) {
  const figures = result.figures;
  run.progress.textContent = text.progress(figures.disks, figures.disks);
  const doubtful = run.disks.reduce((sum, disk) => sum + doubtfulFiles(disk).length, 0);
  run.summary.textContent = text.summary(figures) + (doubtful > 0 ? text.summaryDoubtful(doubtful) : '');
  if (result.status !== 0) {
    run.word.textContent = text.cannotOpen;
  } else if (figures.disks === 0) {
    run.word.textContent = text.noDisk;
  } else if (figures.dataDisks === 0) {
    run.word.textContent = text.noDataDisk;
  }
  run.files = result.files;
  run.salvagedParts = result.salvaged;
  let at = performance.now();
  if (run.disks.length > 0) showMaps(run);
  at = measured('maps', at);
  if (result.files.length > 0) showFiles(run, result.files);
  at = measured('files', at);
  showSalvaged(run, result.salvaged);
  if (result.files.length > 0 || result.salvageZip) await saveFiles(run, name, result);
  if (result.status === 0) offerJson(run, name);
  measured('save', at);
}

// What dorvex-probe would print for the image, as <image>.json.
function offerJson(run, name) {
  const json = JSON.stringify(probeJson(name, run.size, run.disks)) + '\n';
  const base = name.replace(/\.[^.]*$/, '');
  if (run.save.childNodes.length > 0) run.save.append(' ');
  offer(run, 'json', text.saveJson(`${base}.json`), `${base}.json`, json, 'application/json');
}

// Marks the phase `name` of a run as lasting from `start` until now, for
// anyone who times the page (its benchmark); returns now.
function measured(name, start, end = performance.now()) {
  performance.measure(`dorvex ${name}`, { start, end });
  return end;
}

// Hands the image's bytes over to the worker (moved, not copied) and shows
// each message line as it comes; resolves with the run's end.
function runInWorker(run, id, name, image) {
  return new Promise((resolve, reject) => {
    const onMessage = (event) => {
      const data = event.data;
      if (data.id !== id) return;
      if (data.kind === 'line') {
        showLine(run, data.stream, data.line);
        run.progress.textContent =
            text.progress(data.figures.disksReached, data.figures.disks);
        return;
      }
      // Right after a failure line: its file, whose reason comes with the
      // disk's description.
      if (data.kind === 'salvage') {
        run.failures.push({ file: data.file, line: run.messages.lastElementChild });
        return;
      }
      if (data.kind === 'disk') {
        showDisk(run, diskOf(data.disk));
        return;
      }
      stop();
      if (data.kind !== 'done') {
        reject(new Error(data.reason));
        return;
      }
      // The disks with nothing to explain, each in its place among the rest.
      for (const read of data.quiet) run.disks.push(diskOf(read));
      run.disks.sort((a, b) => a.position - b.position);
      resolve(data);
    };
    const onError = (event) => {
      stop();
      reject(new Error(event.message));
    };
    const stop = () => {
      worker.removeEventListener('message', onMessage);
      worker.removeEventListener('error', onError);
    };
    worker.addEventListener('message', onMessage);
    worker.addEventListener('error', onError);
    worker.postMessage({ id, name, image, lang }, [image]);
  });
}

// The bytes of `file`, through a FileReader: Firefox reads a large file
// that way in half the time that file.arrayBuffer() takes (50.8 MiB: 0.43 s
// against 0.85 s), and the other engines as fast.
function readBytes(file) {
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(reader.result);
    reader.onerror = () => reject(reader.error);
    reader.readAsArrayBuffer(file);
  });
}

// Reads the image here, on the page, whose reading every browser allows (a
// worker of a page opened from disk may not read the file in WebKit), and
// runs it to its end. Whatever fails is shown in the image's section.
async function runImage(run, id, file) {
  try {
    run.progress.textContent = text.reading;
    const started = performance.now();
    const image = await readBytes(file);
    run.size = image.byteLength;  // before its bytes move to the worker
    const read = measured('read', started);
    const result = await runInWorker(run, id, file.name, image);
    const ran = measured('worker', read);
    // The worker's own phases, as it timed them, laid end to end.
    let at = read;
    // (Those within the run, "run: ...", are parts of it, not laid after it.)
    for (const [phase, ms] of Object.entries(result.phases)) {
      if (phase.startsWith('run: ')) measured(`worker ${phase}`, at - ms, at);
      else at = measured(`worker ${phase}`, at, at + ms);
    }
    await finish(run, file.name, result);
    measured('shown', ran);
  } catch (error) {
    run.word.textContent = text.failed(String(error?.message ?? error));
  } finally {
    run.section.setAttribute('aria-busy', 'false');
  }
}

// Queues one image: one image is read and run at a time.
function extract(file) {
  const run = addRun(file);
  const id = nextId++;
  queue = queue.then(() => runImage(run, id, file));
}

picker.addEventListener('change', () => {
  for (const file of picker.files) extract(file);
  picker.value = '';
});
const zone = document.body;
zone.addEventListener('dragover', (event) => {
  event.preventDefault();
  zone.classList.add('dragging');
});
zone.addEventListener('dragleave', () => zone.classList.remove('dragging'));
zone.addEventListener('drop', (event) => {
  event.preventDefault();
  zone.classList.remove('dragging');
  for (const file of event.dataTransfer.files) extract(file);
});
