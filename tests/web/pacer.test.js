// pacer.test.js -- the page's pace, in the engine DEMO_ENGINE names (see
// harness.js): the pacer (page/pacer.js) fed animation frames of a screen of
// the test's own, at the moments the test chooses; and in Chromium a real
// run with the browser's frame-rate limit off.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const h = require('./harness');

// Animation frames at `times` (ms), each calling back everything asked for
// before it, as a browser does; the program's loop asks again from inside
// each frame it is given. Returns the times of the frames it was given.
function simulate(fps, times) {
  const queue = [];
  const pacer = DemoPacer.create(fps, (callback) => queue.push(callback));
  const drawn = [];
  const loop = (t) => { drawn.push(t); pacer.request(loop); };
  pacer.request(loop);
  for (const t of times) {
    const due = queue.splice(0);
    due.forEach((callback) => callback(t));
  }
  return drawn;
}

// A screen's animation frames: `hz` a second for `seconds`, from `from` ms,
// each moved by up to `jitter` ms either way (a fixed sequence, the same in
// every engine).
function screen(hz, seconds, { from = 1000, jitter = 0 } = {}) {
  const times = [];
  let seed = 12345;
  for (let k = 0; k < Math.round(hz * seconds); k++) {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    const wobble = jitter * (2 * (seed / 2147483648) - 1);
    times.push(from + k * 1000 / hz + wobble);
  }
  return times;
}

let server, s;
test.before(async () => {
  server = await h.serve();
  s = await h.open(server.url);
  await s.waitFor('typeof DemoPacer === "object"', 30000);
}, { timeout: 90000 });
test.after(async () => {
  if (s) await s.close();
  if (server) server.close();
}, { timeout: 30000 });

const run = (fps, times) => s.evaluate(`(${simulate})(${fps}, ${JSON.stringify(times)})`);

// [screen, pace, frames the show draws in that simulated second]
const rates = [
  ['144 Hz', 60, screen(144, 1), 60],
  ['120 Hz', 60, screen(120, 1), 60],
  ['240 Hz', 60, screen(240, 1), 60],
  ['60 Hz, a millisecond of jitter', 60, screen(60, 1, { jitter: 1 }), 60],
  ['59.94 Hz, a millisecond of jitter', 60, screen(59.94, 10, { jitter: 1 }), 599],
  ['30 Hz', 60, screen(30, 1), 30],
  ['144 Hz at ?fps=30', 30, screen(144, 1), 30],
  ['144 Hz at ?fps=144', 144, screen(144, 1), 144],
];
for (const [name, fps, times, expected] of rates) {
  test(`${name}: ${expected} show frames at ${fps} a second`, { timeout: 30000 }, async () => {
    const drawn = await run(fps, times);
    assert.strictEqual(drawn.length, expected);
    // Each show frame was given an animation frame of the screen's.
    assert.ok(drawn.every((t) => times.includes(t)));
  });
}

test('60 Hz: every animation frame draws one show frame', { timeout: 30000 }, async () => {
  const times = screen(60, 3, { jitter: 1 });
  assert.deepStrictEqual(await run(60, times), times);
});

test('after a pause the pace starts again from the next animation frame, it does not catch up', { timeout: 30000 }, async () => {
  // Half a second at 144 Hz, a second without animation frames (a hidden
  // page), then a second at 144 Hz: 30 show frames, then 60, not more.
  const before = screen(144, 0.5, { from: 1000 });
  const after = screen(144, 1, { from: 2500 });
  const drawn = await run(60, before.concat(after));
  assert.strictEqual(drawn.filter((t) => t < 2000).length, 30);
  assert.strictEqual(drawn.filter((t) => t >= 2500).length, 60);
  assert.strictEqual(drawn[30], after[0], 'the first animation frame after the pause draws');
});

test('the moments do not drift: 144 Hz for a minute gives 3600 show frames', { timeout: 30000 }, async () => {
  assert.strictEqual((await run(60, screen(144, 60, { jitter: 0.5 }))).length, 3600);
});

// SwiftShader draws the blast's triangles far faster than 60 a second; with
// the frame-rate limit off the browser gives animation frames as fast as it
// can. The pacer lets a show frame through at most a fifth of a show frame
// before its moment, and the moment after a drawn frame lies after that
// frame: 300 show frames span at least 298.8 show frames' moments, whatever
// the load.
test('with the browser\'s frame-rate limit off, frames 2400 to 2700 take at least 298.8 show frames\' time (4.98 s)', { timeout: 600000,
  ...(h.engine === 'chromium' ? {} : { skip: 'the frame-rate limit is a Chromium switch' }) }, () =>
  h.withPage('?quick&size=320x240', { width: 320, height: 240,
                                      chromiumArgs: ['--disable-frame-rate-limit', '--disable-gpu-vsync'] }, async (unsynced) => {
    await unsynced.start();
    await unsynced.waitFor('window.demoFrame >= 2700', 580000);
    const span = await unsynced.evaluate(() => window.demoTimes.frames[2700] - window.demoTimes.frames[2400]);
    console.log(`frames 2400 to 2700: ${(span / 1000).toFixed(3)} s`);
    assert.ok(span >= (300 - 1 - 1 / 5) * 1000 / 60, `${span.toFixed(0)} ms`);
  }));

// Between show frames the page draws nothing; what the screen shows is the
// last frame drawn, not an empty canvas. At 4 show frames a second most of
// the browser's animation frames are skipped ones.
test('between show frames the canvas keeps the last frame on the screen', { timeout: 120000,
  ...(h.engine === 'chromium' ? {} : { skip: 'the screen is read through Chromium\'s DevTools protocol' }) }, () =>
  h.withPage('?fps=4&size=320x240', { width: 320, height: 240 }, async (slow) => {
    const { PNG } = require('pngjs');
    await slow.start();
    await slow.waitFor('window.demoFrame >= 8', 60000);
    const seen = [];
    for (let k = 0; k < 6; k++) {
      const png = PNG.sync.read(await slow.page.screenshot());
      let lit = 0;
      for (let i = 0; i < png.data.length; i += 4)
        lit += png.data[i] + png.data[i + 1] + png.data[i + 2] > 60 ? 1 : 0;
      seen.push({ frame: await slow.evaluate(() => window.demoFrame), lit });
      await h.sleep(70);
    }
    assert.ok(seen.every((x) => x.lit > 500), `lit pixels on screen: ${JSON.stringify(seen)}`);
  }));
