// start.test.js -- what the page gets ready while its start screen is up, in
// the engine DEMO_ENGINE names (see harness.js): the start screen, the
// module and the music's player fetched before the click, how far it is said
// in the line, no audio context before the click, after the click nothing
// fetched again, and what the press and the click do in which order.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const h = require('./harness');

const withPage = (query, body, serverOptions) => h.withPage(query, { width: 640, height: 480 }, body, serverOptions);

// The page's own record of what it fetched (Resource Timing, in every
// engine): for each of the site's files, when each fetch of it began (ms on
// the page's clock).
const fetched = (s) => s.evaluate(() => {
  const out = {};
  for (const e of performance.getEntriesByType('resource')) {
    const name = new URL(e.name).pathname.slice(1);
    (out[name] = out[name] || []).push(e.startTime);
  }
  return out;
});

// The start screen: the title picture and the start button, no line once
// the program and the module are here, no sound; Esc and a hidden page
// change nothing there.
test('the module and the music\'s player are fetched before the click, and not again after it', { timeout: 120000 }, () =>
  withPage('?size=640x480', async (s) => {
    await s.waitFor('window.demoReady === true && window.demoMusicReady === true', 60000);
    const startScreen = [['startscreen', 'title', 'start'], { text: '', seen: false }, null];
    assert.deepStrictEqual([await s.screen(), await s.line(), await s.clock()], startScreen, 'the start screen');
    await s.key('Escape');
    await s.hidden(true);
    await s.hidden(false);
    assert.deepStrictEqual([await s.screen(), await s.line(), await s.clock()], startScreen, 'after Esc and a hidden page');
    await s.click('#start');
    await s.waitFor('window.demoFrame >= 30', 60000);
    const click = await s.evaluate(() => window.demoTimes.click);
    const got = await fetched(s);
    for (const f of ['demomain.xm', 'music.worklet.js', 'libopenmpt.worklet.js'])
      assert.ok((got[f] || []).some((t) => t < click), `${f} fetched before the click`);
    assert.deepStrictEqual((got['demomain.xm'] || []).filter((t) => t >= click), [], 'the module is not fetched after the click');
    assert.deepStrictEqual(await s.errors(), []);
  }));

test('while the module is on its way the start screen says how far it is', { timeout: 120000 }, () =>
  withPage('', async (s) => {
    await s.waitFor('/^Loading the music: \\d+ %$/.test(document.getElementById("message").textContent)', 30000);
    assert.deepStrictEqual(await s.evaluate(() => [window.demoMusicReady === true, DemoMusic.context(),
                                                   getComputedStyle(document.getElementById('startscreen')).display]),
                           [false, null, 'flex'], 'still on the start screen, no audio context');
  }, { stall: ['demomain.xm'] }));

// Chromium tells where each answer came from.
test('after the click every file of the music comes from the browser\'s cache or the service worker', { timeout: 120000,
  ...(h.engine === 'chromium' ? {} : { skip: 'Chromium says where an answer came from' }) }, () =>
  withPage('?size=640x480', async (s) => {
    await s.waitFor('window.demoReady === true && window.demoMusicReady === true', 60000);
    const after = [];
    s.page.on('response', (r) => after.push({ file: new URL(r.url()).pathname.slice(1), cached: r.fromCache() || r.fromServiceWorker() }));
    await s.click('#start');
    await s.waitFor('window.demoFrame >= 30', 60000);
    const music = after.filter((r) => /^(demomain\.xm|music\.worklet\.js|libopenmpt\.worklet\.js)$/.test(r.file));
    assert.deepStrictEqual(music.filter((r) => !r.cached), [], 'fetched from the server after the click');
    assert.ok(!music.some((r) => r.file === 'demomain.xm'), 'the module is not asked for again');
  }));

// The show starts before the music's player is ready; the show's call to
// play, made in the meantime, is carried out once it is.
test('the music the show asked for before its player was ready plays', { timeout: 120000 }, () =>
  withPage('?size=640x480', async (s) => {
    await s.start();
    await s.waitFor('window.demoFrame >= 30', 60000);
    await s.waitFor(async () => (await DemoMusic.position()) > 0.5, 30000);
    assert.deepStrictEqual(await s.evaluate(() => document.getElementById('message').textContent), '');
  }));

// The sound is made as the button goes down, so that the click waits for
// no audio output; the click draws the first frame and asks for full
// screen; the music's player loads once the frame is drawn, so that it does
// not share the processor with the drawing. Started from the keyboard there
// is no press: the click makes the sound, after the frame and before full
// screen, all inside the gesture.
for (const { how, start, sound } of [
  { how: 'a press and release', start: (s) => s.press('#start', 100), sound: 'sound at the press' },
  { how: 'the keyboard', start: async (s) => { await s.evaluate(() => document.getElementById('start').focus()); await s.key('Enter'); },
    sound: 'sound after frame 1' },
]) {
  test(`started by ${how}: the sound, the first frame, full screen, then the music's player`, { timeout: 120000 }, () =>
    withPage('?size=640x480', async (s) => {
      await s.waitFor('window.demoReady === true && window.demoMusicReady === true', 60000);
      await s.evaluate(() => {
        window.demoOrder = [];
        const frame = () => (window.demoFrame === undefined ? 'at the press' : 'after frame ' + window.demoFrame);
        const Real = window.AudioContext;
        window.AudioContext = class extends Real {
          constructor(...args) {
            demoOrder.push('sound ' + frame());
            super(...args);
          }
        };
        const addModule = AudioWorklet.prototype.addModule;
        AudioWorklet.prototype.addModule = function (...args) {
          demoOrder.push(window.demoTimes.firstFrame > 0 ? 'player after the first frame drawn' : 'player before the first frame drawn');
          return addModule.apply(this, args);
        };
        const root = document.documentElement, real = root.requestFullscreen;
        if (real) {
          root.requestFullscreen = function (...args) {
            demoOrder.push('full screen ' + frame());
            return real.apply(this, args);
          };
        }
        document.getElementById('start').addEventListener('click', () =>
          demoOrder.push(DemoMusic.context() ? 'click over, the music has the sound' : 'click over, the music has no sound'));
      });
      await start(s);
      await s.waitFor('window.demoFrame >= 30', 60000);
      await s.waitFor(async () => (await DemoMusic.position()) > 0.5, 30000);
      assert.deepStrictEqual(await s.evaluate(() => window.demoOrder),
                             [sound, 'full screen after frame 1', 'click over, the music has the sound',
                              'player after the first frame drawn']);
      assert.deepStrictEqual(await s.errors(), []);
    }));
}
