// The three browser engines, each driven as its own driver allows, behind
// one small interface for the browser test:
//   open(url)            loads the page in a fresh tab
//   evaluate(body)       runs the body of an async function in the page and
//                        returns its result (plain data)
//   give(file)           hands a file to the page's file input
//   press(key)           presses 'Tab', 'Enter', 'Space', 'ArrowRight' or
//                        'ArrowDown'
//   problems()           the console's errors and warnings so far, the
//                        page's and its worker's, and its uncaught errors,
//                        where the driver can see them (none in WebKit)
//   requests()           the URLs the page asked for, where the driver can
//                        see them (null in WebKit)
//   language             the page's language in it: Japanese in Chromium (the
//                        browser's), English in Firefox (the browser's), and
//                        Japanese in WebKit too, whose languages follow the
//                        locale, here C: neither, which the page answers in
//                        Japanese
//   pid                  the process under which every browser process runs
//   download(selector)   (Chromium alone) the bytes a link saves
//   screenshot(file, selector)  (Chromium alone) a picture of the whole
//                        page, or of the element that `selector` finds
//   close()
// Chromium (Debian's chromium) through Playwright; Firefox (Debian's
// firefox-esr) through Puppeteer over WebDriver BiDi; WebKit (WebKitGTK's
// MiniBrowser, under the X server the caller provides) through
// WebKitWebDriver and Selenium.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';

const asyncBody = (body) => `(async () => { ${body} })()`;

async function chromium() {
  const { chromium: engine } = await import('playwright-core');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'dorvex-chromium-'));
  const context = await engine.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    locale: 'ja-JP',
    acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
           '--disable-background-networking', '--disable-component-update',
           '--disable-sync'],
  });
  const version = /[\d.]+/.exec(await versionOf('/usr/bin/chromium'))[0];
  let page = null;
  let problems = [];
  let requests = [];
  const watchConsole = (source) => (message) => {
    if (message.type() === 'error' || message.type() === 'warning') {
      problems.push(`${source} ${message.type()}: ${message.text()}`);
    }
  };
  return {
    name: 'Chromium', version, language: 'ja', pid: process.pid,
    async open(url) {
      if (page) await page.close();
      problems = [];
      requests = [];
      page = await context.newPage();
      page.on('console', watchConsole('page'));
      page.on('pageerror', (error) => problems.push(`page error: ${error}`));
      page.on('worker', (worker) => worker.on('console', watchConsole('worker')));
      page.on('request', (request) => requests.push(request.url()));
      await page.goto(url);
    },
    evaluate: (body) => page.evaluate(asyncBody(body)),
    give: (file) => page.setInputFiles('#pick', file),
    press: (key) => page.keyboard.press(key),
    problems: () => problems,
    requests: () => requests,
    // The one engine whose downloads the test can take: the link saved as a
    // user saves it.
    async download(selector) {
      const [download] = await Promise.all([page.waitForEvent('download'),
                                            page.click(selector)]);
      return fs.readFileSync(await download.path());
    },
    screenshot: (file, selector) => (selector
      ? page.locator(selector).screenshot({ path: file })
      : page.screenshot({ path: file, fullPage: true })),
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

async function firefox() {
  const puppeteer = (await import('puppeteer-core')).default;
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: true,
    extraPrefsFirefox: { 'intl.accept_languages': 'en-US' },
  });
  const version = (await browser.version()).replace(/^firefox\//i, '');
  let page = null;
  let problems = [];
  let requests = [];
  return {
    name: 'Firefox', version, language: 'en', pid: process.pid,
    async open(url) {
      if (page) await page.close();
      problems = [];
      requests = [];
      page = await browser.newPage();
      page.on('console', (message) => {
        if (message.type() === 'error' || message.type() === 'warn') {
          problems.push(`${message.type()}: ${message.text()}`);
        }
      });
      page.on('pageerror', (error) => problems.push(`page error: ${error}`));
      page.on('request', (request) => requests.push(request.url()));
      await page.goto(url);
    },
    evaluate: (body) => page.evaluate(asyncBody(body)),
    give: async (file) => (await page.$('#pick')).uploadFile(file),
    press: (key) => page.keyboard.press(key === 'Space' ? ' ' : key),
    problems: () => problems,
    requests: () => requests,
    close: () => browser.close(),
  };
}

// WebKitGTK's MiniBrowser, in the library directory of this machine's
// architecture.
function miniBrowser() {
  for (const dir of fs.readdirSync('/usr/lib')) {
    const program = path.join('/usr/lib', dir, 'webkit2gtk-4.1', 'MiniBrowser');
    if (fs.existsSync(program)) return program;
  }
  throw new Error('no MiniBrowser: install webkit2gtk-driver');
}

async function freePort() {
  const server = net.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  await new Promise((resolve) => server.close(resolve));
  return port;
}

async function webkit() {
  const { Builder, By, Key } = await import('selenium-webdriver');
  const port = await freePort();
  const driverProcess = spawn('WebKitWebDriver', [`--port=${port}`], {
    stdio: ['ignore', 'ignore', 'pipe'],
    // The C locale: the page hears of no language, and speaks Japanese.
    env: { ...process.env, LANGUAGE: '', LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8' },
  });
  let output = '';
  driverProcess.stderr.on('data', (chunk) => { output += chunk; });
  for (let tries = 0; ; ++tries) {
    try {
      if ((await fetch(`http://127.0.0.1:${port}/status`)).ok) break;
    } catch (error) {
      if (tries === 100) {
        driverProcess.kill();
        throw new Error(`WebKitWebDriver did not start: ${error} ${output}`);
      }
    }
    await sleep(100);
  }
  let driver;
  try {
    driver = await new Builder()
      .usingServer(`http://127.0.0.1:${port}`)
      .withCapabilities({
        browserName: 'MiniBrowser',
        'webkitgtk:browserOptions': { binary: miniBrowser(), args: ['--automation'] },
      })
      .build();
  } catch (error) {
    driverProcess.kill();
    throw error;
  }
  const capabilities = await driver.getCapabilities();
  const version = capabilities.get('browserVersion');
  const keys = { Tab: Key.TAB, Enter: Key.ENTER, Space: Key.SPACE,
                 ArrowRight: Key.ARROW_RIGHT, ArrowDown: Key.ARROW_DOWN };
  return {
    name: 'WebKit', version, language: 'ja', pid: process.pid,
    open: (url) => driver.get(url),
    evaluate: (body) => driver.executeScript(`return ${asyncBody(body)};`),
    give: async (file) => driver.findElement(By.id('pick')).sendKeys(file),
    press: (key) => driver.actions().sendKeys(keys[key]).perform(),
    // WebKitWebDriver shows no console: the test's hooks in the page and
    // in a worker see what goes wrong there.
    problems: () => [],
    requests: () => null,
    async close() {
      await driver.quit();
      driverProcess.kill();
    },
  };
}

async function versionOf(program) {
  const child = spawn(program, ['--version'], { stdio: ['ignore', 'pipe', 'ignore'] });
  let text = '';
  for await (const chunk of child.stdout) text += chunk;
  return text.trim();
}

export const kEngines = { chromium, firefox, webkit };
