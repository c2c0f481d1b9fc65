// page.test.js -- the page as a person meets it, in Chromium: Esc and other
// keys during the frames, and the page opened from a file (the start screen,
// the other states and events, and a whole show are browsers.test.js's,
// start.test.js's and course.test.js's, which run here too).
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const path = require('path');
const h = require('./harness');

test('Esc during the frames ends the show with the statistics; other keys do not', { timeout: 150000 }, () =>
  h.withPage('', {}, async (s, url) => {
    await s.start();
    await s.waitFor('window.demoFrame >= 30', 30000);
    // The site loads nothing from anywhere else.
    const elsewhere = s.requests.filter((u) => !u.startsWith(url) && !u.startsWith('data:'));
    assert.deepStrictEqual(elsewhere, []);
    for (const f of ['index.html', 'page.js', 'music.js', 'start.js', 'start.wasm', 'title.png'])
      assert.ok(s.requests.some((u) => u === url + f || (f === 'index.html' && u === url)), f);
    for (const key of ['a', 'Enter', ' ', 'ArrowLeft', 'F1'])
      await s.key(key);
    const before = await s.evaluate(() => window.demoFrame);
    await s.waitFor((n) => window.demoFrame >= n + 10, 60000, before);
    assert.strictEqual(await s.evaluate(() => window.demoEnded === true), false, 'other keys went unnoticed');
    await s.key('Escape');
    await s.waitFor('window.demoEnded === true', 20000);
    const m = h.statisticsBlock.exec(await s.evaluate(() => document.getElementById('statistics').textContent));
    assert.ok(m, 'the statistics block');
    const frames = Number(m[1]);
    assert.ok(frames >= before + 10 && frames < 2152, `frames ${frames}`);
    assert.ok(Math.abs(Number(m[3]) - frames / Number(m[2])) <= 0.01 * Number(m[3]) + 0.01, 'fps is frames / time');
    const still = await s.evaluate(() => window.demoFrame);
    await h.sleep(300);
    assert.strictEqual(await s.evaluate(() => window.demoFrame), still, 'no frame after the end');
  }));

test('a page opened from a file says how to serve it', { timeout: 60000 }, async () => {
  const s = await h.open('file://' + path.join(h.site, 'index.html'));
  try {
    await s.waitFor('document.getElementById("message").textContent !== ""', 20000);
    const line = await s.evaluate(() => document.getElementById('message').textContent);
    assert.match(line, /scripts\/web\.sh/);
    assert.match(line, /http:\/\/127\.0\.0\.1:8000\//);
  } finally {
    await s.close();
  }
});
