// web_click.js -- click to first frame in each browser engine, the figure
// the page's start is made for (at most 100 ms):
//
//   NODE_PATH=/usr/share/nodejs node bench/web_click.js [--reps N] [chromium firefox webkit]
//   NODE_PATH=/usr/share/nodejs node bench/web_click.js --blast [--reps N]
//
// after ./scripts/test-web.sh (or web.sh --build and setup-web.sh --tests).
// Each run: a fresh browser on the local server, the page at 640x480 CSS
// pixels; the click comes 3 s after the page has its program and its music
// (window.demoReady, window.demoMusicReady), as a person reads the start
// screen first, and the button is held down for 100 ms (--press MS), about
// as long as a person's click; the time is from the click (its event's
// moment, the button's release) to the first frame's fence signalled
// (page.js, main.cpp), with the same from the start of the click's handler
// and from the press. With --blast instead: the blast's
// frames 2400 to 2700 in Chromium with its frame-rate limit off and a
// 320x240 canvas, at the page's pace of 60 a second (5 s).
// Markdown on standard output.
'use strict';

const args = process.argv.slice(2);
let reps = 5, pressMs = 100, blast = false;
const engines = [];
for (let i = 0; i < args.length; i++) {
  if (args[i] === '--reps') reps = Number(args[++i]);
  else if (args[i] === '--press') pressMs = Number(args[++i]);
  else if (args[i] === '--blast') blast = true;
  else engines.push(args[i]);
}
if (!engines.length) engines.push('chromium', 'firefox', 'webkit');

function harness(engine) {
  process.env.DEMO_ENGINE = engine;
  delete require.cache[require.resolve('../tests/web/harness')];
  return require('../tests/web/harness');
}
const median = (xs) => { const v = [...xs].sort((a, b) => a - b); return v[Math.floor(v.length / 2)]; };
const range = (xs) => `${Math.min(...xs).toFixed(0)}–${Math.max(...xs).toFixed(0)}`;

async function clickToFirstFrame(engine) {
  const h = harness(engine);
  const server = await h.serve();
  const times = [];
  try {
    for (let r = 0; r < reps; r++) {
      const s = await h.open(server.url, { width: 640, height: 480 });
      try {
        await s.waitFor('window.demoReady === true && window.demoMusicReady === true', 60000);
        await h.sleep(3000);
        await s.press('#start', pressMs);
        await s.waitFor('window.demoTimes.firstFrame > 0', 60000);
        times.push(await s.evaluate(() => {
          const t = window.demoTimes;
          return { click: t.clickEvent ? t.firstFrame - t.clickEvent : -1, handler: t.firstFrame - t.click,
                   press: t.press ? t.firstFrame - t.press : -1 };
        }));
      } finally {
        await s.close();
      }
    }
  } finally {
    server.close();
  }
  return times;
}

async function blastSeconds() {
  const h = harness('chromium');
  const server = await h.serve();
  const s = await h.open(server.url + '?quick&size=320x240', { width: 320, height: 240,
    chromiumArgs: ['--disable-frame-rate-limit', '--disable-gpu-vsync'] });
  try {
    await s.start();
    await s.waitFor('window.demoFrame >= 2700', 900000);
    return await s.evaluate(() => (window.demoTimes.frames[2700] - window.demoTimes.frames[2400]) / 1000);
  } finally {
    await s.close();
    server.close();
  }
}

(async () => {
  if (blast) {
    const spans = [];
    for (let r = 0; r < reps; r++) spans.push(await blastSeconds());
    console.log(`| Chromium, frame-rate limit off, frames 2400 to 2700 (s), median of ${reps} | ${median(spans).toFixed(3)} ` +
                `(${Math.min(...spans).toFixed(3)}–${Math.max(...spans).toFixed(3)}) |`);
    process.exit(0);
  }
  // A page that records no press or click event (an older build, for
  // comparison) gets "none" there.
  console.log(`| engine | click to first frame, median of ${reps} (ms) | each | from the handler | from the press |`);
  console.log('|---|---|---|---|---|');
  const row = (xs) => xs.some((x) => x < 0) ? 'none' : `${median(xs).toFixed(0)} (${range(xs)})`;
  for (const engine of engines) {
    const t = await clickToFirstFrame(engine);
    const click = t.map((x) => x.click);
    console.log(`| ${engine} | ${row(click)} | ${click.map((x) => x.toFixed(0)).join(', ')} | ` +
                `${row(t.map((x) => x.handler))} | ${row(t.map((x) => x.press))} |`);
  }
  process.exit(0);
})().catch((e) => { console.error(e); process.exit(1); });
