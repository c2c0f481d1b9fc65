// page.test.js -- the page as a person meets it, in Chromium: Esc and other
// keys during the frames, and the page opened from a file (the start screen,
// the other states and events, and a whole show are browsers.test.js's,
// start.test.js's and course.test.js's, which run here too).
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const path = require('path');
const h = require('./harness');

async function statistics(page) {
  await page.waitForFunction('window.demoEnded === true', { timeout: 20000 });
  return page.$eval('#statistics', (e) => e.textContent);
}

test('Esc during the frames ends the show with the statistics; other keys do not', { timeout: 150000 }, () =>
  h.withChromium(undefined, async (browser, server) => {
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
    const m = h.statisticsBlock.exec(await statistics(page));
    assert.ok(m, 'the statistics block');
    const frames = Number(m[1]);
    assert.ok(frames >= before + 10 && frames < 2152, `frames ${frames}`);
    assert.ok(Math.abs(Number(m[3]) - frames / Number(m[2])) <= 0.01 * Number(m[3]) + 0.01, 'fps is frames / time');
    const still = await page.evaluate(() => window.demoFrame);
    await new Promise((r) => setTimeout(r, 300));
    assert.strictEqual(await page.evaluate(() => window.demoFrame), still, 'no frame after the end');
  }));

test('a page opened from a file says how to serve it', { timeout: 60000 }, () =>
  h.withChromium(undefined, async (browser) => {
    const { page } = await h.openShow(browser, 'file://' + path.join(h.site, 'index.html'), { start: false });
    await page.waitForFunction('document.getElementById("message").textContent !== ""', { timeout: 20000 });
    const line = await page.$eval('#message', (e) => e.textContent);
    assert.match(line, /scripts\/web\.sh/);
    assert.match(line, /http:\/\/127\.0\.0\.1:8000\//);
  }));
