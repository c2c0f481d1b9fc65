// start.test.js -- what the page gets ready while its start screen is up, in
// the engine DEMO_ENGINE names (see harness.js): the module and the music's
// player fetched before the click, how far it is said in the line, no audio
// context before the click, after the click nothing fetched again, and what
// the click does in which order.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const h = require('./harness');

let server;
async function withPage(query, body, serverOptions) {
  const own = serverOptions ? await h.serveWith(serverOptions) : null;
  if (!own && !server) server = await h.serve();
  const s = await h.open((own || server).url + query, { width: 640, height: 480 });
  try {
    return await body(s);
  } finally {
    await s.close();
    if (own) own.close();
  }
}
test.after(() => { if (server) server.close(); });

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

test('the module and the music\'s player are fetched before the click, and not again after it', { timeout: 120000 }, () =>
  withPage('?size=640x480', async (s) => {
    await s.waitFor('window.demoReady === true && window.demoMusicReady === true', 60000);
    const before = await s.evaluate(() => ({ context: DemoMusic.context(), line: document.getElementById('message').textContent }));
    assert.deepStrictEqual(before, { context: null, line: '' }, 'no audio context before the click; the line cleared');
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

// The click starts the show first and opens the sound after it, so that the
// renderer draws the first frame while the browser opens its audio output;
// the sound still comes before full screen, all inside the click.
test('the click draws the first frame, then makes the sound, then asks for full screen', { timeout: 120000 }, () =>
  withPage('?size=640x480', async (s) => {
    await s.waitFor('window.demoReady === true && window.demoMusicReady === true', 60000);
    await s.evaluate(() => {
      window.demoOrder = [];
      const Real = window.AudioContext;
      window.AudioContext = class extends Real {
        constructor(...args) {
          demoOrder.push('sound after frame ' + window.demoFrame);
          super(...args);
        }
      };
      const root = document.documentElement, real = root.requestFullscreen;
      if (real) {
        root.requestFullscreen = function (...args) {
          demoOrder.push('full screen after frame ' + window.demoFrame);
          return real.apply(this, args);
        };
      }
      document.getElementById('start').addEventListener('click', () => demoOrder.push('click over'));
    });
    await s.click('#start');
    await s.waitFor('window.demoFrame >= 30', 60000);
    const order = await s.evaluate(() => window.demoOrder);
    assert.deepStrictEqual(order, ['sound after frame 1', 'full screen after frame 1', 'click over']);
    await s.waitFor(async () => (await DemoMusic.position()) > 0.5, 30000);
    assert.deepStrictEqual(await s.errors(), []);
  }));
