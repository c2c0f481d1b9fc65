// course.test.js -- the show's course in a real browser, frame for frame, in
// the engine DEMO_ENGINE names (see harness.js), and its slideshow as the
// viewer meets it.
//
// One run at 640 x 480 with the frames drawn back to back and the
// slideshow's own waits; the page reads back the reference frames and every
// picture, and logs the frame in which each scene begins. The expected
// frames and pictures come from the desktop (tests/reference, drawn by
// Mesa) and from the PNGs the pictures are made from (assets/). During the
// slideshow the page is hidden for a while, Esc is pressed and full screen
// left: the slideshow keeps its time and its music, and reads no key.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const path = require('path');
const h = require('./harness');

const shots = [1000, 2250, 2400, 2600, 2722];
const runTimeout = 480000;

// A promise's outcome, to be asserted by the test it belongs to.
const outcome = (p) => p.then((value) => ({ value }), (error) => ({ error }));
const get = (o) => { if (o.error) throw o.error; return o.value; };

const showRun = () => h.withPage('?fast&log&pictures&size=640x480&shots=' + shots.join(','), {}, async (s) => {
  await s.start();
  await s.waitFor('(window.demoTimes.pictures || []).length >= 2', 400000);
  const slideshow = { screen: await s.screen(), line: await s.line(), full: await s.evaluate(() => !!document.fullscreenElement) };
  await s.hidden(true);
  slideshow.hidden = await outcome(h.playsOn(s));
  await s.hidden(false);
  await s.key('Escape');
  await s.evaluate(() => document.fullscreenElement && document.exitFullscreen());
  const end = await outcome(h.ended(s, 120000));
  const frames = {};
  for (const f of shots) frames[f] = await s.pixels('frame' + f);
  const pictures = [];
  for (let k = 1; k <= 5; k++) pictures.push(await s.pixels('picture' + k));
  const times = await s.evaluate(() => [...window.demoTimes.pictures, window.demoTimes.end]);
  return { consoleLines: await s.lines(), errors: await s.errors(), frames, pictures, slideshow, end, times,
           line: await s.line() };
});

// One run for all the tests below.
let pending;
function course() {
  if (!pending) pending = showRun();
  return pending;
}

test('the scenes begin in frames 2152, 2352, 2503 and 2723', { timeout: runTimeout }, async () => {
  const run = await course();
  const begun = run.consoleLines.filter((l) => l.startsWith('scene '));
  assert.deepStrictEqual(begun, ['scene 1 in frame 2152', 'scene 2 in frame 2352', 'scene 3 in frame 2503',
                                 'scene 4 in frame 2723']);
});

test('the slideshow shows five pictures for 5, 5, 5, 10 and 5 seconds, then the statistics', { timeout: runTimeout }, async () => {
  const run = await course();
  const showings = run.consoleLines.filter((l) => l.startsWith('picture '));
  assert.deepStrictEqual(showings, ['picture 1 for 5 s', 'picture 2 for 5 s', 'picture 3 for 5 s',
                                    'picture 4 for 10 s', 'picture 5 for 5 s']);
  // No picture leaves the screen before its time (a lower bound: a busy
  // machine may only hold them longer); the last until the end of the show.
  [5, 5, 5, 10, 5].forEach((seconds, k) => {
    const held = run.times[k + 1] - run.times[k];
    assert.ok(held >= seconds * 1000 - 5, `picture ${k + 1} held ${held.toFixed(0)} ms of ${seconds} s`);
  });
  const { frames, seconds } = get(run.end);
  assert.strictEqual(frames, 2722, 'Esc and leaving full screen did not end the slideshow');
  assert.ok(seconds >= 30, `time ${seconds}`);
  assert.ok(run.consoleLines.includes('Frames 2722'), 'the block in the console too');
  assert.deepStrictEqual(run.line, { text: '', seen: false }, 'no line: the music played');
  assert.deepStrictEqual(run.errors, [], 'page errors');
});

test('during the slideshow the picture is in view and its music plays on, the page hidden or not', { timeout: runTimeout }, async () => {
  const run = await course();
  assert.deepStrictEqual([run.slideshow.screen, run.slideshow.line.text, run.slideshow.full], [['canvas'], '', true]);
  get(run.slideshow.hidden);
});

test('frames 1000, 2250, 2400, 2600 and 2722 look like the desktop\'s', { timeout: runTimeout }, async () => {
  const run = await course();
  for (const f of shots) {
    const img = run.frames[f];
    assert.ok(img, `frame ${f} was read back`);
    const ref = h.readPngBottomUp(path.join(h.root, 'tests', 'reference', `frame${f}.png`));
    assert.strictEqual(img.width, ref.width);
    assert.strictEqual(img.height, ref.height);
    const share = h.neighbourhoodMismatch(img, ref, 8);
    if (share > 0.005 && process.env.DEMO_KEEP_FRAMES)
      h.writePngBottomUp(path.join(process.env.DEMO_KEEP_FRAMES, `web-frame${f}.png`), img);
    assert.ok(share <= 0.005, `frame ${f}: ${(share * 100).toFixed(3)} % of the pixels differ`);
  }
});

test('each picture is on screen pixel for pixel from the lower-left corner', { timeout: runTimeout }, async () => {
  const run = await course();
  h.showings.forEach((name, k) => {
    const screen = run.pictures[k];
    assert.ok(screen, `picture ${k + 1} was read back`);
    const { wrong, notBlack } = h.pictureOnScreen(screen, name);
    assert.strictEqual(wrong, 0, `${name}: pixels that differ from the picture`);
    if (k > 0) assert.strictEqual(notBlack, 0, `${name}: the rest of the canvas is not black`);
  });
});
