// offline.test.js -- the page as an installed app, in Chromium (the
// DevTools protocol): the manifest and its icons, the service worker keeping
// every file of the site, the show with its music from that cache with the
// server gone, a new build's cache replacing the old one, and the show in a
// browser without the Fullscreen API (an iPhone's Safari).
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { PNG } = require('pngjs');
const h = require('./harness');

const onlyChromium = h.engine === 'chromium' ? {} : { skip: 'the DevTools protocol is Chromium\'s' };

// A copy of the built site in a folder of the test's own, served by its own
// python server (as web.sh serves the site).
function siteCopy() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'demo-site-'));
  process.on('exit', () => fs.rmSync(dir, { recursive: true, force: true }));
  fs.cpSync(h.site, dir, { recursive: true });
  return dir;
}

// The worker's cache: its names, and for each its files and their bytes.
const caches = (page) => page.evaluate(async () => {
  const out = {};
  for (const name of await window.caches.keys()) {
    const cache = await window.caches.open(name);
    out[name] = {};
    for (const request of await cache.keys()) {
      const body = new Uint8Array(await (await cache.match(request)).arrayBuffer());
      let sum = 0;
      for (let i = 0; i < body.length; i++) sum = (sum * 31 + body[i]) >>> 0;
      out[name][new URL(request.url).pathname.slice(1)] = { length: body.length, sum };
    }
  }
  return out;
});
const sumOf = (bytes) => { let sum = 0; for (const b of bytes) sum = (sum * 31 + b) >>> 0; return sum; };

// Until the page is controlled by a worker that has kept the whole site.
async function installed(page) {
  await page.waitForFunction('window.demoMusicReady === true', { timeout: 60000 });
  await page.waitForFunction('!!navigator.serviceWorker.controller', { timeout: 60000 });
}

async function showToEnd(page) {
  await page.waitForFunction('window.demoReady === true', { timeout: 60000 });
  await page.click('#start');
  await page.waitForFunction('window.demoFrame >= 30', { timeout: 60000 });
  const clock = await page.evaluate(() => DemoMusic.context() && DemoMusic.context().currentTime);
  await page.waitForFunction('window.demoEnded === true', { timeout: 400000, polling: 500 });
  const m = h.statisticsBlock.exec(await page.$eval('#statistics', (e) => e.textContent));
  return { frames: m && Number(m[1]), line: await page.$eval('#message', (e) => e.textContent), clock,
           errors: await page.evaluate(() => window.demoErrors) };
}

test('the manifest makes the page installable, full screen and landscape, with our icon', { timeout: 120000, ...onlyChromium }, () =>
  h.withChromium(undefined, async (browser, server) => {
    const page = await browser.newPage();
    await page.goto(server.url);
    await installed(page);
    const cdp = await page.createCDPSession();
    const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
    assert.deepStrictEqual(installabilityErrors, []);
    const manifest = JSON.parse(fs.readFileSync(path.join(h.site, 'manifest.webmanifest'), 'utf8'));
    assert.strictEqual(manifest.name, 'tha corbanet demo');
    assert.strictEqual(manifest.display, 'fullscreen');
    assert.strictEqual(manifest.orientation, 'landscape');
    assert.ok(manifest.start_url && manifest.theme_color);
    // Each icon is a square PNG of the size it says, as is the home screen's.
    const icons = manifest.icons.map((i) => [i.src, Number(i.sizes.split('x')[0])]).concat([['apple-touch-icon.png', 180]]);
    assert.deepStrictEqual(manifest.icons.map((i) => i.sizes).sort(), ['192x192', '512x512']);
    for (const [src, side] of icons) {
      const png = PNG.sync.read(fs.readFileSync(path.join(h.site, src)));
      assert.deepStrictEqual([png.width, png.height], [side, side], src);
      assert.ok(png.data.some((v, i) => i % 4 === 3 && v === 255), `${src} is not blank`);
    }
    const head = await page.evaluate(() => [
      document.querySelector('link[rel="apple-touch-icon"]').getAttribute('href'),
      document.querySelector('meta[name="apple-mobile-web-app-capable"]').content,
      document.querySelector('link[rel="manifest"]').getAttribute('href')]);
    assert.deepStrictEqual(head, ['apple-touch-icon.png', 'yes', 'manifest.webmanifest']);
  }));

test('after one visit the show plays to its end with its music, the server gone', { timeout: 600000, ...onlyChromium }, () => {
  const dir = siteCopy();
  return h.withChromium(dir, async (browser, server) => {
    const page = await browser.newPage();
    await page.setViewport({ width: 320, height: 240 });
    await page.goto(server.url + '?quick&fast&size=320x240');
    await installed(page);
    // The worker keeps every file of the site, as the build wrote it.
    const kept = Object.values(await caches(page));
    assert.strictEqual(kept.length, 1, 'one cache');
    for (const f of fs.readdirSync(dir).filter((n) => n !== 'sw.js')) {
      const bytes = fs.readFileSync(path.join(dir, f));
      assert.deepStrictEqual(kept[0][f], { length: bytes.length, sum: sumOf(bytes) }, f);
    }

    server.close();
    await page.setOfflineMode(true);
    const failed = [];
    page.on('requestfailed', (r) => failed.push(r.url()));
    await page.reload();
    const run = await showToEnd(page);
    assert.strictEqual(run.frames, 2722);
    assert.strictEqual(run.line, '', 'no line: the music played');
    assert.ok(run.clock > 0, 'the music\'s clock ran');
    assert.deepStrictEqual(run.errors, []);
    assert.deepStrictEqual(failed, [], 'nothing the page asked for was missing');
  });
});

test('a new build\'s cache replaces the old one', { timeout: 180000, ...onlyChromium }, () => {
  const dir = siteCopy();
  return h.withChromium(dir, async (browser, server) => {
    let page = await browser.newPage();
    await page.goto(server.url);
    await installed(page);
    const [first] = Object.keys(await caches(page));

    // A new build: one file changed, the worker written again by the build's
    // own generator.
    fs.appendFileSync(path.join(dir, 'style.css'), '/* a later build */\n');
    const files = fs.readFileSync(path.join(dir, 'sw.js'), 'utf8').match(/^ {4}'([^']+)',$/gm)
      .map((l) => l.trim().slice(1, -2)).filter((f) => f !== './');
    execFileSync('cmake', ['-DSITE_DIR=' + dir, '-DTEMPLATE=' + path.join(h.root, 'src/web/page/sw.js.in'),
                           '-DFILES=' + files.join(';'), '-P', path.join(h.root, 'src/web/page/service_worker.cmake')]);

    // The browser finds the new worker on the next visit; it takes over once
    // no page of the old build is open.
    await page.reload();
    await page.waitForFunction(async () => !!(await navigator.serviceWorker.getRegistration()).waiting ||
                                            !!(await navigator.serviceWorker.getRegistration()).active &&
                                            (await window.caches.keys()).length > 1, { timeout: 60000, polling: 200 });
    await page.close();
    page = await browser.newPage();
    await page.goto(server.url);
    await page.waitForFunction(async () => {
      const names = await window.caches.keys();
      return names.length === 1 && navigator.serviceWorker.controller &&
             (await (await fetch('style.css')).text()).includes('a later build');
    }, { timeout: 60000, polling: 200 });
    const [second] = Object.keys(await caches(page));
    assert.notStrictEqual(second, first, 'the cache is named after the build');
    assert.match(second, /^corbanet-demo-[0-9a-f]{16}$/);
  });
});

test('without the Fullscreen API the show runs in the page to its end', { timeout: 600000, ...onlyChromium }, () =>
  h.withChromium(undefined, async (browser, server) => {
    const page = await browser.newPage();
    await page.setViewport({ width: 320, height: 240 });
    await page.evaluateOnNewDocument(() => {
      delete Element.prototype.requestFullscreen;
      delete Document.prototype.exitFullscreen;
    });
    await page.goto(server.url + '?quick&fast&size=320x240');
    assert.strictEqual(await page.evaluate(() => typeof document.documentElement.requestFullscreen), 'undefined');
    const run = await showToEnd(page);
    assert.strictEqual(run.frames, 2722);
    assert.strictEqual(run.line, '');
    assert.deepStrictEqual(run.errors, []);
  }));
