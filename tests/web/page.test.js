// page.test.js -- the page as a person meets it, in a real browser.
//
// The start screen; Esc and other keys during the frames; the page opened
// from a file; and one whole show at real speed through the start button
// (leaving full screen and a browser without WebGL 2 are browsers.test.js's,
// which runs here too).
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const path = require('path');
const h = require('./harness');

const block = /^\*{21}\nFrames (\d+)\nTime   ([0-9.e+]+)\nFps    ([0-9.e+]+)\n\*{21}\n$/;

let server;          // one local server for every test of this file
async function site() {
  if (!server) server = await h.serve();
  return server;
}

async function withBrowser(args, body) {
  await site();
  const browser = await h.launch(args);
  try {
    return await body(browser);
  } finally {
    await browser.close();
  }
}

async function statistics(page) {
  await page.waitForFunction('window.demoEnded === true', { timeout: 20000 });
  return page.$eval('#statistics', (e) => e.textContent);
}

test('the start screen shows the title picture and the start button', { timeout: 60000 }, () =>
  withBrowser([], async (browser) => {
    const { page } = await h.openShow(browser, server.url, { start: false });
    // The program and the music fetched, the line that said how far they were is cleared.
    await page.waitForFunction('window.demoReady === true && window.demoMusicReady === true', { timeout: 30000 });
    const title = await page.$eval('#title', (e) => [e.complete, e.naturalWidth, e.naturalHeight]);
    assert.deepStrictEqual(title, [true, 640, 301]);
    assert.strictEqual(await page.$eval('#start', (e) => e.disabled), false);
    assert.strictEqual(await page.$eval('#message', (e) => e.textContent), '');
  }));

test('Esc during the frames ends the show with the statistics; other keys do not', { timeout: 150000 }, () =>
  withBrowser([], async (browser) => {
    const { page, requests } = await h.openShow(browser, server.url);
    await page.waitForFunction('window.demoFrame >= 30', { timeout: 30000 });
    // The site loads nothing from anywhere else.
    const elsewhere = requests.filter((u) => !u.startsWith(server.url) && !u.startsWith('data:'));
    assert.deepStrictEqual(elsewhere, []);
    for (const f of ['index.html', 'page.js', 'music.js', 'start.js', 'start.wasm', 'title.png'])
      assert.ok(requests.some((u) => u === server.url + f || (f === 'index.html' && u === server.url)), f);
    for (const key of ['a', 'Enter', ' ', 'ArrowLeft', 'F1'])
      await page.keyboard.press(key);
    const before = await page.evaluate(() => window.demoFrame);
    await page.waitForFunction((n) => window.demoFrame >= n + 10, { timeout: 60000 }, before);
    assert.strictEqual(await page.evaluate(() => window.demoEnded === true), false, 'other keys went unnoticed');
    await page.keyboard.press('Escape');
    const m = block.exec(await statistics(page));
    assert.ok(m, 'the statistics block');
    const frames = Number(m[1]);
    assert.ok(frames >= before + 10 && frames < 2152, `frames ${frames}`);
    assert.ok(Math.abs(Number(m[3]) - frames / Number(m[2])) <= 0.01 * Number(m[3]) + 0.01, 'fps is frames / time');
    assert.strictEqual(await page.$eval('#again', (e) => e.offsetParent !== null), true, 'watch-again button');
    const still = await page.evaluate(() => window.demoFrame);
    await new Promise((r) => setTimeout(r, 300));
    assert.strictEqual(await page.evaluate(() => window.demoFrame), still, 'no frame after the end');
  }));

test('a page opened from a file says how to serve it', { timeout: 60000 }, () =>
  withBrowser([], async (browser) => {
    const { page } = await h.openShow(browser, 'file://' + path.join(h.site, 'index.html'), { start: false });
    await page.waitForFunction('document.getElementById("message").textContent !== ""', { timeout: 20000 });
    const line = await page.$eval('#message', (e) => e.textContent);
    assert.match(line, /scripts\/web\.sh/);
    assert.match(line, /http:\/\/127\.0\.0\.1:8000\//);
  }));

// The canvas is read back at each picture (?pictures), which changes
// nothing else: the frames and the waits are the show's own, at the page's
// full-screen size.
test('a whole show at real speed through the start button ends with the statistics', { timeout: 400000 }, () =>
  withBrowser([], async (browser) => {
    const { page, consoleLines } = await h.openShow(browser, server.url + '?pictures');
    // The music plays through the page's own player while the frames run.
    const clock = () => page.evaluate(() => {
      const c = DemoMusic.context();
      return c ? { state: c.state, time: c.currentTime } : null;
    });
    const early = await clock();
    const wallEarly = Date.now();
    assert.ok(early, 'the page has an audio output');
    // It moves on by a second however long a busy machine takes for it; the
    // looks stop after a minute only so that a clock standing still ends the test.
    let later = early;
    for (let look = 0; look < 600 && later.time - early.time <= 1; look++) {
      await new Promise((done) => setTimeout(done, 100));
      later = await clock();
    }
    assert.strictEqual(later.state, 'running');
    assert.ok(later.time - early.time > 1, `the music's clock moved only ${later.time - early.time} s`);
    // The music's clock against the wall clock until the last picture.
    await page.waitForFunction('(window.demoTimes.pictures || []).length === 5', { timeout: 380000, polling: 200 });
    const last = await clock();
    const drift = (last.time - early.time) - (Date.now() - wallEarly) / 1000;
    console.log(`music clock - wall clock over ${(last.time - early.time).toFixed(1)} s: ${(drift * 1000).toFixed(0)} ms`);
    await page.waitForFunction('window.demoEnded === true', { timeout: 380000, polling: 1000 });
    assert.strictEqual(await page.$eval('#message', (e) => e.textContent), '', 'no line: the music played');
    assert.strictEqual(await page.evaluate(() => DemoMusic.context()), null, 'the audio output is closed at the end');
    const text = await page.$eval('#statistics', (e) => e.textContent);
    const m = block.exec(text);
    assert.ok(m, text);
    assert.strictEqual(m[1], '2722');
    // The slideshow alone holds its pictures for 30 seconds.
    assert.ok(Number(m[2]) >= 30, `time ${m[2]}`);
    assert.ok(consoleLines.includes('Frames 2722'), 'the block in the console too');
    // No picture leaves the screen before its time (a lower bound: a busy
    // machine may only hold them longer). Each is shown until the next one,
    // the last until the end of the show.
    const times = await page.evaluate(() => [...window.demoTimes.pictures, window.demoTimes.end]);
    [5, 5, 5, 10, 5].forEach((seconds, k) => {
      const held = times[k + 1] - times[k];
      assert.ok(held >= seconds * 1000 - 5, `picture ${k + 1} held ${held.toFixed(0)} ms of ${seconds} s`);
    });
    assert.strictEqual(await page.evaluate(() => document.fullscreenElement), null, 'full screen is left at the end');
    for (let k = 0; k < 5; k++) {
      const screen = await h.pixels(page, 'picture' + (k + 1));
      assert.ok(screen, `picture ${k + 1} was read back`);
      assert.deepStrictEqual([screen.width, screen.height], [1280, 720], 'the canvas fills the page');
      const { wrong, notBlack } = h.pictureOnScreen(screen, h.showings[k]);
      assert.strictEqual(wrong, 0, `${h.showings[k]}: pixels that differ`);
      if (k > 0) assert.strictEqual(notBlack, 0, `${h.showings[k]}: the rest of the canvas is not black`);
    }
  }));
