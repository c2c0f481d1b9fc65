// harness.js -- the site on a local server and the page in headless chromium.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const net = require('net');
const path = require('path');
const puppeteer = require('puppeteer-core');
const { PNG } = require('pngjs');

const root = path.resolve(__dirname, '..', '..');
const site = process.env.DEMO_SITE || path.join(root, 'build-web', 'site');
const browserPath = process.env.DEMO_BROWSER || '/usr/bin/chromium-headless-shell';

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
  for (let i = 0; i < 100; i++) {
    try {
      const r = await fetch(url);
      if (r.ok) break;
    } catch (e) { /* not up yet */ }
    await new Promise((r) => setTimeout(r, 100));
  }
  return { url, close: () => server.kill() };
}

async function launch(extraArgs = []) {
  return puppeteer.launch({
    executablePath: browserPath,
    headless: 'shell',
    args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--autoplay-policy=no-user-gesture-required',
           '--no-sandbox', ...extraArgs],
  });
}

// Opens the page, collects its console and the addresses it asks for, and
// clicks start once it is ready.
async function openShow(browser, url, { width = 1280, height = 720, start = true } = {}) {
  const page = await browser.newPage();
  await page.setViewport({ width, height });
  const consoleLines = [], requests = [];
  page.on('console', (m) => consoleLines.push(m.text()));
  page.on('request', (r) => requests.push(r.url()));
  page.on('pageerror', (e) => consoleLines.push('pageerror: ' + e.message));
  await page.goto(url);
  if (start) {
    await page.waitForFunction('window.demoReady === true', { timeout: 30000 });
    await page.click('#start');
  }
  return { page, consoleLines, requests };
}

async function pixels(page, name) {
  const b64 = await page.evaluate((n) => {
    const p = window.demoPixels[n];
    if (!p) return null;
    let s = '';
    for (let i = 0; i < p.rgba.length; i += 0x8000)
      s += String.fromCharCode.apply(null, p.rgba.subarray(i, i + 0x8000));
    return JSON.stringify({ width: p.width, height: p.height, data: btoa(s) });
  }, name);
  if (!b64) return null;
  const o = JSON.parse(b64);
  return { width: o.width, height: o.height, rgba: Buffer.from(o.data, 'base64') };
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

module.exports = { root, site, serve, launch, openShow, pixels, readPngBottomUp, writePngBottomUp,
                   neighbourhoodMismatch, showings, pictureOnScreen };
