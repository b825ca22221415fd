// The page: takes D88 images dropped on it or picked, has the worker run
// dorvex on each, one image a run, and shows what the program says and
// writes. It decides nothing about images: every message, every file and
// every figure comes from the program.
'use strict';

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
    waiting: '待機中',
    summary: (s) => `データディスク ${s.dataDisks} 枚、取り出したファイル ${s.filesWritten} 個、失敗したファイル ${s.filesFailed} 個`,
    noDisk: 'このファイルには、D88 イメージとして読めるディスクがありません。',
    noDataDisk: 'このイメージには、データディスクがありません。',
    cannotOpen: 'このファイルは開けませんでした。',
    failed: (reason) => `取り出しの途中で問題が起きました: ${reason}`,
    save: (name) => `${name} を保存`,
    saved: (count, folder) => `${count} 個のファイルを ${folder} に保存しました。`,
    name: '名前', size: 'バイト数',
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
    waiting: 'waiting',
    summary: (s) => `${s.dataDisks} data disks, ${s.filesWritten} files taken out, ${s.filesFailed} files failed`,
    noDisk: 'This file holds no disk that can be read as a D88 image.',
    noDataDisk: 'This image holds no data disk.',
    cannotOpen: 'This file could not be opened.',
    failed: (reason) => `Something went wrong while extracting: ${reason}`,
    save: (name) => `Save ${name}`,
    saved: (count, folder) => `Saved ${count} files into ${folder}.`,
    name: 'name', size: 'bytes',
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
$('#pick-label').textContent = text.pick;
$('#zip-note').textContent = text.zipNote;

// A folder to save into, where the browser can write to one.
let folder = null;
if (typeof window.showDirectoryPicker === 'function') {
  const button = $('#folder');
  button.hidden = false;
  button.textContent = text.folder;
  button.addEventListener('click', async () => {
    try {
      folder = await window.showDirectoryPicker({ mode: 'readwrite' });
      $('#zip-note').textContent = text.folderChosen(folder.name);
    } catch (error) {
      // The user closed the picker: zip files, as before.
    }
  });
}

const workerSource = document.getElementById('worker-source').textContent;
const worker = new Worker(URL.createObjectURL(
    new Blob([workerSource], { type: 'text/javascript' })));
const runs = new Map();
let nextId = 0;
let queue = Promise.resolve();

// One section of the page for one image, filled in as its run goes.
function addRun(file) {
  const section = make('section', 'run');
  section.dataset.state = 'waiting';
  section.append(make('h2', '', file.name));
  const progress = make('p', 'progress', text.waiting);
  const messages = make('pre', 'messages');
  const summary = make('p', 'summary');
  const word = make('p', 'word');
  const table = make('table', 'files');
  const save = make('p', 'save');
  section.append(progress, messages, summary, word, table, save);
  $('#runs').append(section);
  return { section, progress, messages, summary, word, table, save };
}

function showLine(run, stream, line) {
  const element = make('span', stream === 'err' ? 'err' : 'out', line + '\n');
  run.messages.append(element);
}

async function saveFiles(run, name, files, zip) {
  if (folder) {
    for (const file of files) {
      const handle = await folder.getFileHandle(file.name, { create: true });
      const writable = await handle.createWritable();
      await writable.write(file.bytes);
      await writable.close();
    }
    run.save.textContent = text.saved(files.length, folder.name);
    return;
  }
  const zipName = name.replace(/\.[^.]*$/, '') + '.zip';
  const link = make('a', 'download', text.save(zipName));
  link.href = URL.createObjectURL(new Blob([zip], { type: 'application/zip' }));
  link.download = zipName;
  run.save.append(link);
}

function finish(run, name, result) {
  const s = result.summary;
  run.summary.textContent = text.summary(s);
  if (result.status !== 0) {
    run.word.textContent = text.cannotOpen;
  } else if (s.disks === 0) {
    run.word.textContent = text.noDisk;
  } else if (s.dataDisks === 0) {
    run.word.textContent = text.noDataDisk;
  }
  if (result.files.length > 0) {
    // Built apart and added at once: one layout for a thousand rows.
    const rows = document.createDocumentFragment();
    const head = make('tr');
    head.append(make('th', '', text.name), make('th', '', text.size));
    rows.append(head);
    for (const file of result.files) {
      const row = make('tr');
      row.append(make('td', 'name', file.name),
                 make('td', 'size', String(file.bytes.length)));
      rows.append(row);
    }
    run.table.append(rows);
  }
  return result.files.length > 0 ? saveFiles(run, name, result.files, result.zip)
                                 : Promise.resolve();
}

// Runs one image to its end; the next waits for it.
function extract(file) {
  const id = nextId++;
  const run = addRun(file);
  runs.set(id, run);
  document.body.dataset.state = 'working';
  queue = queue.then(() => new Promise((resolve) => {
    run.section.dataset.state = 'working';
    const listener = async (event) => {
      const data = event.data;
      if (data.id !== id) return;
      if (data.kind === 'line') {
        showLine(run, data.stream, data.line);
        run.progress.textContent = text.progress(data.reached, data.disks);
      } else if (data.kind === 'done' || data.kind === 'failed') {
        worker.removeEventListener('message', listener);
        if (data.kind === 'done') {
          run.progress.textContent =
              text.progress(data.summary.disks, data.summary.disks);
          try {
            await finish(run, file.name, data);
          } catch (error) {
            run.word.textContent = text.failed(String(error.message || error));
          }
        } else {
          run.word.textContent = text.failed(data.reason);
        }
        run.section.dataset.state = data.kind;
        resolve();
      }
    };
    worker.addEventListener('message', listener);
    worker.postMessage({ id, file });
  }));
  queue.then(() => {
    if (nextId === runs.size && [...runs.values()].every(
        (r) => r.section.dataset.state !== 'working' &&
               r.section.dataset.state !== 'waiting')) {
      document.body.dataset.state = 'idle';
    }
  });
}

const picker = $('#pick');
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
document.body.dataset.state = 'idle';
