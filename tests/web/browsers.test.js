// browsers.test.js -- the page as a person meets it, in the engine chosen by
// DEMO_ENGINE (chromium, firefox, webkit; see harness.js): the click, the
// music's clock, a hidden page, Esc, leaving full screen, the line of news
// when the music is off or slow, the drawing size on a dense screen, a
// browser without WebGL 2. The page's own records (demoLog, demoErrors) are
// read, so that every engine is asked the same way.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const h = require('./harness');

const block = /^\*{21}\nFrames (\d+)\nTime   ([0-9.e+]+)\nFps    ([0-9.e+]+)\n\*{21}\n$/;
const only = (...engines) => (engines.includes(h.engine) ? {} : { skip: `not run in ${h.engine}` });

let server;
async function withPage(query, options, body, serverOptions) {
  const own = serverOptions ? await h.serveWith(serverOptions) : null;
  if (!own && !server) server = await h.serve();
  const s = await h.open((own || server).url + query, options);
  try {
    return await body(s, (own || server).url);
  } finally {
    await s.close();
    if (own) own.close();
  }
}

const clock = (s) => s.evaluate(() => {
  const c = DemoMusic.context();
  return c ? { state: c.state, time: c.currentTime } : null;
});

// The line under the show: its text, and whether a person sees it (laid out,
// inside the window, not hidden).
const line = (s) => s.evaluate(() => {
  const m = document.getElementById('message');
  const r = m.getBoundingClientRect(), st = getComputedStyle(m);
  return { text: m.textContent, seen: r.width > 0 && r.height > 0 && r.top >= 0 && r.bottom <= innerHeight &&
           st.visibility === 'visible' && st.display !== 'none' && Number(st.opacity) > 0 };
});

async function endBlock(s) {
  await s.waitFor('window.demoEnded === true', 30000);
  const m = block.exec(await s.evaluate(() => document.getElementById('statistics').textContent));
  assert.ok(m, 'the statistics block');
  return Number(m[1]);
}

// A hidden page (another tab in front, the window minimised) as the page
// learns of it.
const setHidden = (s, hidden) => s.evaluate((value) => {
  Object.defineProperty(document, 'hidden', { configurable: true, get: () => value });
  Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => (value ? 'hidden' : 'visible') });
  document.dispatchEvent(new Event('visibilitychange'));
}, hidden);

test('the click runs the frames and the music together, a hidden page pauses both, Esc ends the show', { timeout: 150000 }, () =>
  withPage('', {}, async (s) => {
    await s.start();
    await s.waitFor('window.demoFrame >= 30 && !!document.fullscreenElement', 60000);
    // The music's clock runs: it moves on by a second, never back, however
    // long a busy machine takes for it (the looks stop after a minute,
    // only so that a clock that stands still ends the test).
    const early = await clock(s);
    assert.ok(early, 'the page has an audio output');
    let later = early;
    for (let look = 0; look < 600 && later.time - early.time <= 1; look++) {
      await h.sleep(100);
      const now = await clock(s);
      assert.ok(now && now.time >= later.time, `the music's clock went back from ${later.time} s to ${now && now.time} s`);
      later = now;
    }
    assert.ok(later.time - early.time > 1, `the music's clock moved only ${later.time - early.time} s`);
    assert.strictEqual(later.state, 'running');

    await setHidden(s, true);
    await s.waitFor('DemoMusic.context().state === "suspended"', 10000);
    const paused = await clock(s);
    await h.sleep(1000);
    assert.strictEqual((await clock(s)).time, paused.time, 'the music waits while the page is hidden');
    await setHidden(s, false);
    await s.waitFor('DemoMusic.context().state === "running"', 10000);
    const before = await s.evaluate(() => window.demoFrame);

    await s.key('Escape');
    const frames = await endBlock(s);
    assert.ok(frames >= before && frames < 2152, `frames ${frames}`);
    assert.deepStrictEqual(await s.errors(), [], 'page errors');
    assert.deepStrictEqual((await line(s)).text, '', 'no line: the music played');
    if (s.consoleLines) {
      // A plain run says nothing but its own lines: no warning from the browser.
      const noisy = s.consoleLines.filter((l) => !l.startsWith('log: '));
      assert.deepStrictEqual(noisy, [], 'console warnings');
    }
  }));

test('leaving full screen during the frames ends the show the same way', { timeout: 120000 }, () =>
  withPage('', {}, async (s) => {
    await s.start();
    await s.waitFor('window.demoFrame >= 30 && !!document.fullscreenElement', 60000);
    await s.evaluate(() => document.exitFullscreen());
    const frames = await endBlock(s);
    assert.ok(frames >= 30 && frames < 2152, `frames ${frames}`);
  }));

test('without the module the music-off line is in view during the show and on the end screen', { timeout: 120000 }, () =>
  withPage('', {}, async (s) => {
    await s.start();
    await s.waitFor('window.demoFrame >= 10', 60000);
    const during = await line(s);
    assert.deepStrictEqual(during, { text: 'music off: demomain.xm: No such file or directory', seen: true });
    await s.key('Escape');
    await endBlock(s);
    assert.deepStrictEqual(await line(s), during, 'on the end screen');
  }, { omit: ['demomain.xm'] }));

test('a slow module: the page says how far it is, Esc goes back to the start, the time limit is said', { timeout: 120000 }, () =>
  withPage('', {}, async (s, url) => {
    await s.start();
    await s.waitFor('/^Loading the music: \\d+ %$/.test(document.getElementById("message").textContent)', 20000);
    assert.strictEqual((await line(s)).seen, true, 'the loading line is in view');
    await s.key('Escape');
    await s.waitFor('!document.getElementById("start").disabled && !document.fullscreenElement', 20000);
    assert.deepStrictEqual(await s.evaluate(() => [window.demoFrame === undefined,
                                                   getComputedStyle(document.getElementById('startscreen')).display]),
                           [true, 'flex'], 'back at the start screen, no show');
    // The time limit (shortened in the address) ends the wait; the show runs silently.
    await s.goto(url + '?musicwait=1500');
    await s.start();
    await s.waitFor('window.demoFrame >= 10', 60000);
    assert.deepStrictEqual(await line(s), { text: 'music off: demomain.xm: not fetched within 1.5 s', seen: true });
    assert.deepStrictEqual(await s.errors(), [], 'page errors');
  }, { stall: ['demomain.xm'] }));

test('a sound the browser keeps suspended is said in the line', { timeout: 120000, ...only('chromium') }, () =>
  withPage('', {}, async (s) => {
    await s.evaluate(() => {
      const Real = window.AudioContext;
      window.AudioContext = class extends Real {
        get state() { return 'suspended'; }
        resume() { return new Promise(() => {}); }
      };
    });
    await s.start();
    // The show does not wait for the sound: the line comes once the page has
    // given up waiting for it.
    await s.waitFor('window.demoFrame >= 10 && document.getElementById("message").textContent !== ""', 60000);
    assert.deepStrictEqual(await line(s), { text: 'music off: audio: the browser kept the sound suspended', seen: true });
  }));

// The frame's drawing size for the page's size in CSS pixels and the
// screen's density: a picture pixel is at least a CSS pixel, a frame at most
// 1920 x 1080 pixels, and the canvas still fills the page.
test('a dense or very large screen gets a frame of CSS pixels, at most 1920 x 1080', { timeout: 180000, ...only('chromium') }, async () => {
  const cases = [
    [390, 844, 3, [390, 844]],          // a phone
    [2560, 1440, 1, [1920, 1080]],      // a large monitor
  ];
  for (const [width, height, scale, drawn] of cases) {
    await withPage('', { width, height, scale }, async (s) => {
      await s.start();
      await s.waitFor('window.demoFrame >= 3', 60000);
      const got = await s.evaluate(() => {
        const c = document.getElementById('canvas'), r = c.getBoundingClientRect();
        return [[c.width, c.height], [r.width, r.height]];
      });
      assert.deepStrictEqual(got, [drawn, [width, height]], `${width} x ${height} at ${scale}`);
    });
  }
});

test('without WebGL 2 the page says what is known and what the user can do', { timeout: 60000, ...only('chromium', 'firefox') }, () =>
  withPage('', { chromiumArgs: ['--disable-webgl2'], firefoxPrefs: { 'webgl.disabled': true } }, async (s) => {
    await s.waitFor('window.demoNoWebGL === true', 20000);
    const said = await line(s);
    assert.ok(said.seen);
    assert.match(said.text, /^WebGL 2 is not available here/);
    assert.match(said.text, /turned off|driver/);
    assert.doesNotMatch(said.text, /try a current/);
    assert.strictEqual(await s.evaluate(() => document.getElementById('start').offsetParent === null), true,
                       'no start button');
  }));
