// The page: takes D88 images dropped on it or picked, reads each, has the
// worker run dorvex on it, one image a run, and shows what the program says
// and writes. It decides nothing about images: every message, every file
// and every figure comes from the program. An ES module, inline: the page
// fetches nothing.

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
    reading: 'reading',
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
  const table = make('table', 'files');
  const save = make('p', 'save');
  section.append(heading, progress, messages, summary, word, table, save);
  $('#runs').append(section);
  return { section, progress, messages, summary, word, table, save };
}

function showLine(run, stream, line) {
  run.messages.append(make('span', stream === 'err' ? 'err' : 'out', line + '\n'));
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

function showFiles(run, files) {
  // Built apart and added at once: one layout for a thousand rows.
  const rows = document.createDocumentFragment();
  const head = make('tr');
  head.append(make('th', '', text.name), make('th', '', text.size));
  for (const cell of head.children) cell.scope = 'col';
  rows.append(head);
  for (const file of files) {
    const row = make('tr');
    row.append(make('td', 'name', file.name),
               make('td', 'size', String(file.bytes.length)));
    rows.append(row);
  }
  run.table.append(rows);
}

async function finish(run, name, result) {
  const figures = result.figures;
  run.progress.textContent = text.progress(figures.disks, figures.disks);
  run.summary.textContent = text.summary(figures);
  if (result.status !== 0) {
    run.word.textContent = text.cannotOpen;
  } else if (figures.disks === 0) {
    run.word.textContent = text.noDisk;
  } else if (figures.dataDisks === 0) {
    run.word.textContent = text.noDataDisk;
  }
  if (result.files.length === 0) return;
  showFiles(run, result.files);
  await saveFiles(run, name, result.files, result.zip);
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
      stop();
      if (data.kind === 'done') resolve(data);
      else reject(new Error(data.reason));
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
    worker.postMessage({ id, name, image }, [image]);
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
    const image = await readBytes(file);
    await finish(run, file.name, await runInWorker(run, id, file.name, image));
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
