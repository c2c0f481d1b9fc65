// harness.js -- the site on a local server and the page in a real browser.
//
// DEMO_ENGINE chooses the browser: chromium (headless shell, SwiftShader,
// puppeteer over CDP; the default), firefox (Firefox ESR on a private Xvfb,
// puppeteer over WebDriver BiDi, sound into a private PulseAudio null sink)
// or webkit (MiniBrowser started by WebKitWebDriver on a private Xvfb,
// selenium-webdriver, the same private sound server). open() gives every
// engine the same small surface: goto, evaluate, waitFor, click, follow (a
// click that loads a page), press (a click held down a while), key, lines
// (the page's own log), errors (the page's own record), close; and what the
// viewer sees, reads and hears (below open()). In chromium, requests lists
// the addresses the page asked for.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const net = require('net');
const path = require('path');
const assert = require('node:assert');
const puppeteer = require('puppeteer-core');
const { PNG } = require('pngjs');

const root = path.resolve(__dirname, '..', '..');
const site = process.env.DEMO_SITE || path.join(root, 'build-web', 'site');
const browserPath = process.env.DEMO_BROWSER || '/usr/bin/chromium-headless-shell';
const engine = process.env.DEMO_ENGINE || 'chromium';
const firefoxPath = process.env.DEMO_FIREFOX || '/usr/bin/firefox-esr';
const webkitDriverPath = process.env.DEMO_WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';
const miniBrowserPath = process.env.DEMO_MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.listen(0, '127.0.0.1', () => {
      const port = s.address().port;
      s.close(() => resolve(port));
    });
    s.on('error', reject);
  });
}

// python3's static server on 127.0.0.1, as scripts/web.sh serves the site.
async function serve(dir = site) {
  const port = await freePort();
  const server = spawn('python3', ['-m', 'http.server', String(port), '--bind', '127.0.0.1', '--directory', dir],
                       { stdio: 'ignore' });
  // The server goes with the test process, however that ends.
  server.unref();
  process.on('exit', () => server.kill());
  const url = `http://127.0.0.1:${port}/`;
  await untilUp(url);
  return { url, close: () => server.kill() };
}

// Until a server just started answers `url` (ten seconds at most).
async function untilUp(url) {
  for (let i = 0; i < 100; i++) {
    try {
      if ((await fetch(url)).ok) return;
    } catch (e) { /* not up yet */ }
    await sleep(100);
  }
}

async function launch(extraArgs = []) {
  return puppeteer.launch({
    executablePath: browserPath,
    headless: 'shell',
    // A wait inside the page (waitForFunction) is one protocol call; the
    // tests' own time limits bound it, not puppeteer's default of 180 s,
    // which a whole show on a busy machine outlasts.
    protocolTimeout: 900000,
    args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--autoplay-policy=no-user-gesture-required',
           '--no-sandbox', ...extraArgs],
  });
}

// Runs `body(browser, server)` with the site (or the folder `dir`) on a
// server of its own and Chromium started by launch(); both are gone
// afterwards.
async function withChromium(dir, body) {
  const server = await serve(dir);
  const browser = await launch();
  try {
    return await body(browser, server);
  } finally {
    await browser.close();
    server.close();
  }
}

// A PNG as RGBA rows, bottom row first (as GL reads pixels).
function readPngBottomUp(file) {
  const png = PNG.sync.read(fs.readFileSync(file));
  const { width, height, data } = png;
  const out = Buffer.alloc(width * height * 4);
  for (let y = 0; y < height; y++)
    data.copy(out, (height - 1 - y) * width * 4, y * width * 4, (y + 1) * width * 4);
  return { width, height, rgba: out };
}

function writePngBottomUp(file, img) {
  const png = new PNG({ width: img.width, height: img.height });
  for (let y = 0; y < img.height; y++)
    img.rgba.copy(png.data, (img.height - 1 - y) * img.width * 4, y * img.width * 4, (y + 1) * img.width * 4);
  for (let i = 3; i < png.data.length; i += 4) png.data[i] = 255;
  fs.writeFileSync(file, PNG.sync.write(png));
}

// The share of pixels of `img` that no pixel of `ref` in the same 3 x 3
// neighbourhood matches within `tolerance` on every channel (RGB).
function neighbourhoodMismatch(img, ref, tolerance) {
  const { width, height } = ref;
  let bad = 0;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const i = (y * width + x) * 4;
      let ok = false;
      for (let dy = -1; dy <= 1 && !ok; dy++) {
        const yy = y + dy;
        if (yy < 0 || yy >= height) continue;
        for (let dx = -1; dx <= 1 && !ok; dx++) {
          const xx = x + dx;
          if (xx < 0 || xx >= width) continue;
          const j = (yy * width + xx) * 4;
          ok = Math.abs(img.rgba[i] - ref.rgba[j]) <= tolerance &&
               Math.abs(img.rgba[i + 1] - ref.rgba[j + 1]) <= tolerance &&
               Math.abs(img.rgba[i + 2] - ref.rgba[j + 2]) <= tolerance;
        }
      }
      if (!ok) bad++;
    }
  }
  return bad / (width * height);
}

// The slideshow's pictures in their order, and how a read-back canvas shows
// one: the picture pixel for pixel from the lower-left corner (`wrong`
// counts the pixels that differ) and the rest of the canvas black
// (`notBlack` counts those that are not).
const showings = ['litelogo', 'sidelit', 'spider', 'zorsmall', 'litelogo'];

function pictureOnScreen(screen, name) {
  const pic = readPngBottomUp(path.join(root, 'assets', name + '.png'));
  let wrong = 0, notBlack = 0;
  for (let y = 0; y < screen.height; y++) {
    for (let x = 0; x < screen.width; x++) {
      const i = (y * screen.width + x) * 4;
      if (x < pic.width && y < pic.height) {
        const j = (y * pic.width + x) * 4;
        wrong += screen.rgba[i] !== pic.rgba[j] || screen.rgba[i + 1] !== pic.rgba[j + 1] ||
                 screen.rgba[i + 2] !== pic.rgba[j + 2];
      } else {
        notBlack += screen.rgba[i] || screen.rgba[i + 1] || screen.rgba[i + 2] ? 1 : 0;
      }
    }
  }
  return { wrong, notBlack };
}

// The site from a server of the test's own, for what python's server cannot
// do: `omit` files answer 404, and a file in `stall` is answered with its
// headers and its first tenth, then nothing more until the client gives up.
function serveWith({ omit = [], stall = [] } = {}) {
  const http = require('http');
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
                  '.png': 'image/png' };
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(req.url.split('?')[0]).replace(/^\/+/, '') || 'index.html';
    const file = path.join(site, name);
    if (name.includes('..') || omit.includes(name) || !fs.existsSync(file)) {
      res.writeHead(404).end();
      return;
    }
    const body = fs.readFileSync(file);
    res.writeHead(200, { 'Content-Type': types[path.extname(name)] || 'application/octet-stream',
                         'Content-Length': body.length });
    if (stall.includes(name)) {
      res.write(body.subarray(0, body.length / 10));
      return;
    }
    res.end(body);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
    server.unref();
    resolve({ url: `http://127.0.0.1:${server.address().port}/`,
              close: () => { server.closeAllConnections(); server.close(); } });
  }));
}

// Children of this test process (Xvfb, the sound server, the WebDriver
// server) go with it, however it ends.
const children = new Set();
function child(cmd, args, options = {}) {
  const c = spawn(cmd, args, { stdio: 'ignore', ...options });
  children.add(c);
  c.unref();
  c.on('exit', () => children.delete(c));
  return c;
}
process.on('exit', () => { for (const c of children) c.kill('SIGKILL'); });

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// A private X server; resolves to its display name once it takes clients.
let display;
function xServer() {
  if (!display) {
    display = new Promise((resolve, reject) => {
      const x = child('Xvfb', ['-displayfd', '3', '-screen', '0', '1920x1200x24', '-nolisten', 'tcp'],
                      { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
      let out = '';
      x.stdio[3].on('data', (d) => {
        out += d;
        if (out.includes('\n')) {
          x.stdio[3].destroy();
          resolve(':' + out.trim());
        }
      });
      x.on('exit', (code) => reject(new Error('Xvfb ended with ' + code)));
    });
  }
  return display;
}

// A private PulseAudio server with one null sink, so that a browser's audio
// output opens and its clock runs without a sound card.
let soundServer;
function pulse() {
  if (!soundServer) {
    soundServer = (async () => {
      const dir = fs.mkdtempSync(path.join(require('os').tmpdir(), 'demo-pulse-'));
      process.on('exit', () => fs.rmSync(dir, { recursive: true, force: true }));
      const socket = path.join(dir, 'native');
      const env = { ...process.env, HOME: dir, PULSE_RUNTIME_PATH: dir, PULSE_STATE_PATH: dir, XDG_CONFIG_HOME: dir };
      child('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--use-pid-file=no', '--disable-shm=yes',
                           '--system=no', '--load=module-null-sink sink_name=demo',
                           `--load=module-native-protocol-unix socket=${socket} auth-anonymous=1`],
            { env });
      for (let i = 0; i < 100 && !fs.existsSync(socket); i++) await sleep(100);
      if (!fs.existsSync(socket)) throw new Error('the sound server did not start');
      return 'unix:' + socket;
    })();
  }
  return soundServer;
}

// The session for puppeteer's browsers (chromium over CDP, firefox over
// BiDi).
function puppeteerSession(browser, page, consoleLines) {
  return {
    engine,
    page,
    consoleLines,
    goto: (url) => page.goto(url),
    evaluate: (fn, ...args) => page.evaluate(fn, ...args),
    waitFor: (fn, timeout, ...args) => page.waitForFunction(fn, { timeout, polling: 100 }, ...args),
    click: (selector) => page.click(selector),
    follow: (selector) => Promise.all([page.waitForNavigation({ timeout: 30000 }), page.click(selector)]),
    press: (selector, ms) => page.click(selector, { delay: ms }),
    key: (name) => page.keyboard.press(name),
    close: () => browser.close(),
  };
}

const webdriverKeys = { Escape: 'ESCAPE', Enter: 'ENTER', ArrowLeft: 'ARROW_LEFT', F1: 'F1' };

async function webkitSession(width, height) {
  const { Builder, By, Key } = require('selenium-webdriver');
  const port = await freePort();
  const env = { ...process.env, DISPLAY: await xServer(), PULSE_SERVER: await pulse() };
  const driverProcess = child(webkitDriverPath, ['--port=' + port], { env });
  const url = `http://127.0.0.1:${port}`;
  await untilUp(url + '/status');
  const driver = await new Builder().usingServer(url).withCapabilities({
    browserName: 'MiniBrowser',
    'webkitgtk:browserOptions': { binary: miniBrowserPath, args: ['--automation'] },
  }).build();
  await driver.manage().setTimeouts({ script: 600000 });
  // The window's outer size is set; the page gets what is left inside it.
  await driver.manage().window().setRect({ x: 0, y: 0, width, height });
  const inner = await driver.executeScript('return [innerWidth, innerHeight];');
  await driver.manage().window().setRect({ width: 2 * width - inner[0], height: 2 * height - inner[1] });
  const call = (fn, args) => driver.executeScript(`return (${fn}).apply(null, arguments);`, ...args);
  return {
    engine,
    driver,
    consoleLines: null,
    goto: (u) => driver.get(u),
    evaluate: (fn, ...args) => call(typeof fn === 'string' ? `function () { return ${fn}; }` : fn, args),
    waitFor: async (fn, timeout, ...args) => {
      const until = Date.now() + timeout;
      const f = typeof fn === 'string' ? `function () { return ${fn}; }` : fn;
      for (;;) {
        if (await call(f, args)) return;
        if (Date.now() > until) throw new Error('timed out waiting for ' + String(fn).slice(0, 200));
        await sleep(100);
      }
    },
    click: (selector) => driver.findElement(By.css(selector)).click(),
    follow: (selector) => driver.findElement(By.css(selector)).click(),     // a click waits for the page it loads
    press: async (selector, ms) => driver.actions().move({ origin: await driver.findElement(By.css(selector)) })
      .press().pause(ms).release().perform(),
    key: (name) => driver.actions().sendKeys(webdriverKeys[name] ? Key[webdriverKeys[name]] : name).perform(),
    close: async () => {
      try { await driver.quit(); } finally { driverProcess.kill(); }
    },
  };
}

// Opens the page in the chosen engine at width x height CSS pixels
// (`scale`: device pixels per CSS pixel, chromium only). `chromiumArgs`
// and `firefoxPrefs` change the browser for one test.
async function open(url, { width = 1280, height = 720, scale = 1, chromiumArgs = [], firefoxPrefs = {} } = {}) {
  let s;
  if (engine === 'webkit') {
    s = await webkitSession(width, height);
  } else {
    let browser;
    if (engine === 'firefox') {
      browser = await puppeteer.launch({
        product: 'firefox', protocol: 'webDriverBiDi', executablePath: firefoxPath, headless: false,
        env: { ...process.env, DISPLAY: await xServer(), PULSE_SERVER: await pulse() },
        extraPrefsFirefox: { 'full-screen-api.warning.timeout': 0, 'full-screen-api.transition-duration.enter': '0 0',
                             'full-screen-api.transition-duration.leave': '0 0', ...firefoxPrefs },
      });
    } else {
      browser = await launch(chromiumArgs);
    }
    const page = await browser.newPage();
    await page.setViewport({ width, height, deviceScaleFactor: scale });
    const consoleLines = [], requests = [];
    page.on('console', (m) => consoleLines.push(m.type() + ': ' + m.text()));
    if (engine === 'chromium') page.on('request', (r) => requests.push(r.url()));
    s = { ...puppeteerSession(browser, page, consoleLines), requests };
  }
  try {
    await s.goto(url);
  } catch (e) {
    await s.close();
    throw e;
  }
  s.lines = () => s.evaluate(() => window.demoLog || []);
  s.errors = () => s.evaluate(() => window.demoErrors || []);
  s.start = async () => {
    await s.waitFor('window.demoReady === true', 30000);
    await s.click('#start');
  };
  s.pixels = (name) => pixels(s, name);
  s.screen = () => screen(s);
  s.line = () => line(s);
  s.clock = () => s.evaluate(() => {
    const c = DemoMusic.context();
    return c ? { state: c.state, time: c.currentTime } : null;
  });
  s.heard = () => s.evaluate(() => DemoMusic.position());
  s.hidden = (hidden) => setHidden(s, hidden);
  return s;
}

// Runs `body(session, url)` on the page at the site's address plus `query`,
// opened with open()'s `options`; the site from one server for the whole
// test file, or from a server of its own with `serverOptions` (serveWith's).
// The session, and a server of its own, are closed afterwards.
let sharedServer;
async function withPage(query, options, body, serverOptions) {
  const own = serverOptions ? await serveWith(serverOptions) : null;
  if (!own && !sharedServer) sharedServer = await serve();
  const url = (own || sharedServer).url;
  const s = await open(url + query, options);
  try {
    return await body(s, url);
  } finally {
    await s.close();
    if (own) own.close();
  }
}

// What the viewer sees, reads and hears, asked of a session:
//   screen()  the parts of the page in view: 'startscreen' (the title and
//             the start button, when shown), 'canvas' (the show), 'end'
//             (the statistics and the watch-again button)
//   line()    the line of news: its text, and whether a person sees it (laid
//             out, inside the window, not hidden)
//   clock()   the music's audio output: its state and its clock (s); null
//             without one
//   heard()   how far into the module the music plays (s), -1 while silent
//   hidden(h) the page hidden (another tab in front, the window minimised)
//             or shown again, as the page learns of it
const screen = (s) => s.evaluate(() => {
  const seen = (e) => e.getClientRects().length > 0 && getComputedStyle(e).visibility === 'visible';
  const parts = ['startscreen', 'canvas', 'end'].filter((id) => seen(document.getElementById(id)));
  if (parts[0] === 'startscreen') {
    const title = document.getElementById('title'), start = document.getElementById('start');
    parts.push(title.complete && title.naturalWidth > 0 && seen(title) ? 'title' : 'no title');
    if (seen(start))
      parts.push(start.disabled ? 'start disabled' : 'start');
  }
  return parts;
});

const line = (s) => s.evaluate(() => {
  const m = document.getElementById('message');
  const r = m.getBoundingClientRect(), st = getComputedStyle(m);
  return { text: m.textContent, seen: r.width > 0 && r.height > 0 && r.top >= 0 && r.bottom <= innerHeight &&
           st.visibility === 'visible' && st.display !== 'none' && Number(st.opacity) > 0 };
});

const setHidden = (s, hidden) => s.evaluate((value) => {
  Object.defineProperty(document, 'hidden', { configurable: true, get: () => value });
  Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => (value ? 'hidden' : 'visible') });
  document.dispatchEvent(new Event('visibilitychange'));
}, hidden);

// Until the music has been heard to play on: the player plays, and the
// audio output's clock runs and moves on by more than a second, never back,
// however long a busy machine takes for it (the looks stop after a minute,
// only so that a clock that stands still ends the test).
async function playsOn(s) {
  const early = await s.clock();
  assert.ok(early, 'the page has an audio output');
  let later = early;
  for (let look = 0; look < 600 && later.time - early.time <= 1; look++) {
    await sleep(100);
    const now = await s.clock();
    assert.ok(now, 'the audio output was closed');
    assert.ok(now.time >= later.time, `the music's clock went back from ${later.time} s to ${now.time} s`);
    later = now;
  }
  assert.ok(later.time - early.time > 1, `the music's clock moved only ${later.time - early.time} s`);
  assert.strictEqual(later.state, 'running');
  assert.ok(await s.heard() > 0, 'the player plays');
}

// The statistics block the show ends with.
const statisticsBlock = /^\*{21}\nFrames (\d+)\nTime   ([0-9.e+]+)\nFps    ([0-9.e+]+)\n\*{21}\n$/;

// Until the show has ended; the end screen as the viewer meets it: the
// statistics block and the watch-again button in view, out of full screen,
// the audio output closed. Returns the block's numbers.
async function ended(s, timeout = 30000) {
  await s.waitFor('window.demoEnded === true', timeout);
  const text = await s.evaluate(() => document.getElementById('statistics').textContent);
  const m = statisticsBlock.exec(text);
  assert.ok(m, `the statistics block: ${text}`);
  await s.waitFor('!document.fullscreenElement', 10000)      // left as the show ends, in the browser's time
    .catch(() => assert.fail('full screen is not left at the end'));
  const [again, clock] = await s.evaluate(() => [document.getElementById('again').getClientRects().length > 0,
                                                 DemoMusic.context()]);
  assert.deepStrictEqual({ parts: await screen(s), again, clock }, { parts: ['end'], again: true, clock: null },
                         'the end screen');
  return { frames: Number(m[1]), seconds: Number(m[2]), fps: Number(m[3]) };
}

// A picture the program handed to the page (window.demoPixels), asked of a
// puppeteer page or a session: anything with evaluate().
async function pixels(s, name) {
  const b64 = await s.evaluate((n) => {
    const p = window.demoPixels[n];
    if (!p) return null;
    let t = '';
    for (let i = 0; i < p.rgba.length; i += 0x8000)
      t += String.fromCharCode.apply(null, p.rgba.subarray(i, i + 0x8000));
    return JSON.stringify({ width: p.width, height: p.height, data: btoa(t) });
  }, name);
  if (!b64) return null;
  const o = JSON.parse(b64);
  return { width: o.width, height: o.height, rgba: Buffer.from(o.data, 'base64') };
}

module.exports = { root, site, engine, open, withPage, serve, serveWith, launch, withChromium, pixels, sleep, readPngBottomUp, writePngBottomUp,
                   neighbourhoodMismatch, showings, pictureOnScreen, statisticsBlock, ended, playsOn };
