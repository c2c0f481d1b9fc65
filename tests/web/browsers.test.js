// browsers.test.js -- the page as a person meets it, in the engine chosen by
// DEMO_ENGINE (chromium, firefox, webkit; see harness.js): in each state of
// the page (the start screen, the wait for the module, the frames, the end)
// what the viewer sees, reads and hears, after the click, a hidden page,
// Esc, leaving full screen, the music off or slow, watch again, a dense
// screen and a browser without WebGL 2. The page's own records (demoLog,
// demoErrors) are read, so that every engine is asked the same way.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const h = require('./harness');

const only = (...engines) => (engines.includes(h.engine) ? {} : { skip: `not run in ${h.engine}` });

const withPage = h.withPage;

test('the click runs the frames and the music together, a hidden page pauses both, Esc ends the show, ' +
     'watch again starts over', { timeout: 180000 }, () =>
  withPage('', {}, async (s) => {
    await s.start();
    await s.waitFor('window.demoFrame >= 30 && !!document.fullscreenElement', 60000);
    assert.deepStrictEqual(await s.screen(), ['canvas'], 'the show alone in view');
    await h.playsOn(s);

    await s.hidden(true);
    await s.waitFor('DemoMusic.context().state === "suspended"', 10000);
    const paused = await s.clock();
    await h.sleep(1000);
    assert.strictEqual((await s.clock()).time, paused.time, 'the music waits while the page is hidden');
    await s.hidden(false);
    await s.waitFor('DemoMusic.context().state === "running"', 10000);
    const before = await s.evaluate(() => window.demoFrame);

    await s.key('Escape');
    const { frames } = await h.ended(s);
    assert.ok(frames >= before && frames < 2152, `frames ${frames}`);
    assert.strictEqual((await s.line()).text, '', 'no line: the music played');
    // On the end screen Esc and a hidden page change nothing.
    const statistics = () => s.evaluate(() => document.getElementById('statistics').textContent);
    const shown = await statistics();
    await s.key('Escape');
    await s.hidden(true);
    await s.hidden(false);
    await h.ended(s);
    assert.strictEqual(await statistics(), shown);

    // Watch again: the start screen as at first, ready for the click, silent.
    await s.evaluate(() => { window.demoLeft = true; });
    await s.follow('#again');
    await s.waitFor('window.demoLeft === undefined && window.demoReady === true', 30000);
    assert.deepStrictEqual([await s.screen(), await s.line(), await statistics(), await s.clock()],
                           [['startscreen', 'title', 'start'], { text: '', seen: false }, '', null]);
    assert.deepStrictEqual(await s.errors(), [], 'page errors');
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
    const { frames } = await h.ended(s);
    assert.ok(frames >= 30 && frames < 2152, `frames ${frames}`);
  }));

test('without the module the show is silent and the music-off line is in view during it and on the end screen', { timeout: 120000 }, () =>
  withPage('', {}, async (s) => {
    await s.start();
    await s.waitFor('window.demoFrame >= 10', 60000);
    const during = await s.line();
    assert.deepStrictEqual(during, { text: 'music off: demomain.xm: No such file or directory', seen: true });
    assert.strictEqual(await s.heard(), -1, 'silence');
    await s.key('Escape');
    await h.ended(s);
    assert.deepStrictEqual(await s.line(), during, 'on the end screen');
  }, { omit: ['demomain.xm'] }));

test('a slow module: the page says how far it is, Esc or leaving full screen goes back to the start, ' +
     'the time limit is said', { timeout: 150000 }, () =>
  withPage('', {}, async (s, url) => {
    const leaving = [['Esc', () => s.key('Escape')], ['leaving full screen', () => s.evaluate(() => document.exitFullscreen())]];
    for (const [how, leave] of leaving) {
      await s.start();
      await s.waitFor('/^Loading the music: \\d+ %$/.test(document.getElementById("message").textContent) && ' +
                      '!!document.fullscreenElement', 20000);
      assert.deepStrictEqual([await s.screen(), (await s.line()).seen, await s.heard()],
                             [['startscreen', 'title', 'start disabled'], true, -1], 'waiting: the loading line in view, silence');
      await leave();
      await s.waitFor('!document.getElementById("start").disabled && !document.fullscreenElement', 20000);
      assert.deepStrictEqual([await s.screen(), await s.evaluate(() => window.demoFrame === undefined), await s.clock()],
                             [['startscreen', 'title', 'start'], true, null], `${how}: back at the start screen, no show, no sound`);
    }
    // The time limit (shortened in the address) ends the wait; the show runs silently.
    await s.goto(url + '?musicwait=1500');
    await s.start();
    await s.waitFor('window.demoFrame >= 10', 60000);
    assert.deepStrictEqual(await s.line(), { text: 'music off: demomain.xm: not fetched within 1.5 s', seen: true });
    assert.strictEqual(await s.heard(), -1, 'silence');
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
    assert.deepStrictEqual(await s.line(), { text: 'music off: audio: the browser kept the sound suspended', seen: true });
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
    const said = await s.line();
    assert.ok(said.seen);
    assert.match(said.text, /^WebGL 2 is not available here/);
    assert.match(said.text, /turned off|driver/);
    assert.doesNotMatch(said.text, /try a current/);
    assert.deepStrictEqual(await s.screen(), ['startscreen', 'title'], 'the title, no start button');
  }));
