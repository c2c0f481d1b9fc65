// web.js -- the web edition's figures in the browsers, on the local server,
// after ./scripts/test-web.sh (or web.sh --build and setup-web.sh --tests):
//
//   NODE_PATH=/usr/share/nodejs node bench/web.js MODE [--reps N] [--press MS] [ENGINE... | WxH]
//
//   click [ENGINE...]    click to first frame, the figure the page's start is
//                        made for (at most 100 ms), --reps times per engine,
//                        a fresh browser each, the page at 640x480. The click
//                        comes 3 s after the page has its program and its
//                        music, as a person reads the start screen first,
//                        the button held down --press ms (100), as a person's
//                        click; timed from the click's event (the release) to
//                        the first frame's fence signalled (page.js,
//                        main.cpp), and from the handler's start and the press
//   blast                frames 2400 to 2700 (5 s at the page's pace) in
//                        Chromium with its frame-rate limit off, canvas 320x240
//   engines [ENGINE...]  one whole show at real speed, 1280x720, per engine:
//                        click to first frame, frames a second over the 2722
//                        (one per animation frame, as a person sees them), and
//                        the music clock's drift from the page's own clock
//   first-frame          for bench/web.py, in Chromium: click to first frame
//   frames WxH           for bench/web.py, in Chromium: the whole course,
//                        frames back to back, each made to finish (a one-pixel
//                        read) before the next starts, the slideshow not waiting
//
// ENGINEs: chromium, firefox, webkit (all three by default); --reps: 5 by
// default. Markdown on standard output; first-frame and frames print one
// line of JSON for bench/web.py.
'use strict';

const [mode, ...args] = process.argv.slice(2);
let reps = 5, pressMs = 100;
const names = [];
for (let i = 0; i < args.length; i++) {
  if (args[i] === '--reps') reps = Number(args[++i]);
  else if (args[i] === '--press') pressMs = Number(args[++i]);
  else names.push(args[i]);
}
const engines = names.length ? names : ['chromium', 'firefox', 'webkit'];

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const median = (xs) => { const v = [...xs].sort((a, b) => a - b); return v[Math.floor(v.length / 2)]; };
const spread = (xs, digits) =>
  `${median(xs).toFixed(digits)} (${Math.min(...xs).toFixed(digits)}–${Math.max(...xs).toFixed(digits)})`;

// The page at `query` in `engine`'s browser, on a fresh local server:
// fn(session), then the browser and the server closed.
async function onPage(engine, query, options, fn) {
  process.env.DEMO_ENGINE = engine;       // the harness reads it as it loads
  delete require.cache[require.resolve('../tests/web/harness')];
  const h = require('../tests/web/harness');
  const server = await h.serve();
  try {
    const s = await h.open(server.url + query, options);
    try {
      return await fn(s);
    } finally {
      await s.close();
    }
  } finally {
    server.close();
  }
}

// The page's record of the music's clock beside its own, taken in the page.
const sample = () => {
  const c = DemoMusic.context();
  return { music: c ? c.currentTime : null, state: c ? c.state : null, wall: performance.now(),
           times: window.demoTimes };
};

const modes = {
  async click() {
    // A page that records no press or click event (an older build, for
    // comparison) gets "none" there.
    const cell = (xs) => (xs.some((x) => x < 0) ? 'none' : spread(xs, 0));
    console.log(`| engine | click to first frame, median of ${reps} (ms) | each | from the handler | from the press |`);
    console.log('|---|---|---|---|---|');
    for (const engine of engines) {
      const t = [];
      for (let r = 0; r < reps; r++) {
        t.push(await onPage(engine, '', { width: 640, height: 480 }, async (s) => {
          await s.waitFor('window.demoReady === true && window.demoMusicReady === true', 60000);
          await sleep(3000);
          await s.press('#start', pressMs);
          await s.waitFor('window.demoTimes.firstFrame > 0', 60000);
          return s.evaluate(() => {
            const t = window.demoTimes;
            return { click: t.clickEvent ? t.firstFrame - t.clickEvent : -1, handler: t.firstFrame - t.click,
                     press: t.press ? t.firstFrame - t.press : -1 };
          });
        }));
      }
      const click = t.map((x) => x.click);
      console.log(`| ${engine} | ${cell(click)} | ${click.map((x) => x.toFixed(0)).join(', ')} | ` +
                  `${cell(t.map((x) => x.handler))} | ${cell(t.map((x) => x.press))} |`);
    }
  },

  async blast() {
    const spans = [];
    for (let r = 0; r < reps; r++) {
      spans.push(await onPage('chromium', '?quick&size=320x240', { width: 320, height: 240,
        chromiumArgs: ['--disable-frame-rate-limit', '--disable-gpu-vsync'] }, async (s) => {
        await s.start();
        await s.waitFor('window.demoFrame >= 2700', 900000);
        return s.evaluate(() => (window.demoTimes.frames[2700] - window.demoTimes.frames[2400]) / 1000);
      }));
    }
    console.log(`| Chromium, frame-rate limit off, frames 2400 to 2700 (s), median of ${reps} | ${spread(spans, 3)} |`);
  },

  async engines() {
    console.log('| engine | click to first frame | frames per second, 1280x720 | music clock - wall clock |');
    console.log('|---|---|---|---|');
    for (const engine of engines) {
      const [first, last] = await onPage(engine, '?size=1280x720', {}, async (s) => {
        await s.start();
        await s.waitFor('window.demoTimes.firstFrame > 0', 120000);
        const first = await s.evaluate(sample);
        await s.waitFor('(window.demoTimes.pictures || []).length === 5', 900000);
        return [first, await s.evaluate(sample)];
      });
      const t = last.times, span = (last.wall - first.wall) / 1000;
      const drift = (last.music - first.music) - span;
      console.log(`| ${engine} | ${(t.firstFrame - t.click).toFixed(0)} ms | ` +
                  `${(2721 / ((t.pictures[0] - t.firstFrame) / 1000)).toFixed(1)} | ` +
                  `${(drift * 1000).toFixed(0)} ms over ${span.toFixed(1)} s (audio ${last.state}) |`);
    }
  },

  async 'first-frame'() {
    const ms = await onPage('chromium', '', {}, async (s) => {
      await s.start();
      await s.waitFor('window.demoTimes.firstFrame !== undefined', 60000);
      return s.evaluate(() => window.demoTimes.firstFrame - window.demoTimes.click);
    });
    console.log(JSON.stringify({ 'first-frame-ms': ms }));
  },

  async frames() {
    const [width, height] = names[0].split('x').map(Number);
    const [frames, first, last] = await onPage('chromium', `?fast&finish&quick&size=${names[0]}`, { width, height },
      async (s) => {
        await s.start();
        await s.waitFor('window.demoEnded === true', 1800000);
        return s.evaluate(() => [window.demoFrame, window.demoTimes.firstFrame, window.demoTimes.lastFrame]);
      });
    console.log(JSON.stringify({ frames, 'frame-seconds': (last - first) / 1000 }));
  },
};

if (!modes[mode]) {
  console.error('usage: web.js click|blast|engines|first-frame|frames WxH [--reps N] [--press MS] [ENGINE...]');
  process.exit(2);
}
modes[mode]().then(() => process.exit(0), (e) => { console.error(e); process.exit(1); });
