// web_engines.js -- the web edition's figures in each browser engine, one
// whole show at real speed each, same machine, same run:
//
//   NODE_PATH=/usr/share/nodejs node bench/web_engines.js [chromium firefox webkit]
//
// after ./scripts/test-web.sh (or web.sh --build and setup-web.sh --tests).
// For each engine: the time from the start button's click to the first
// frame drawn; frames per second over the show's 2722 frames on a
// 1280 x 720 canvas (one per animation frame, as a person sees it); and the
// music clock's drift from the page's wall clock (performance.now) from the
// first frame to the last picture. Markdown on standard output.
'use strict';
const path = require('path');

const engines = process.argv.slice(2).length ? process.argv.slice(2) : ['chromium', 'firefox', 'webkit'];
const sample = () => {
  const c = DemoMusic.context();
  return { music: c ? c.currentTime : null, state: c ? c.state : null, wall: performance.now(),
           frame: window.demoFrame, times: window.demoTimes };
};

async function measure(engine) {
  process.env.DEMO_ENGINE = engine;
  delete require.cache[require.resolve('../tests/web/harness')];
  const h = require('../tests/web/harness');
  const server = await h.serve();
  const s = await h.open(server.url + '?size=1280x720');
  try {
    await s.start();
    await s.waitFor('window.demoTimes.firstFrame > 0', 120000);
    const first = await s.evaluate(sample);
    await s.waitFor('(window.demoTimes.pictures || []).length === 5', 900000);
    const last = await s.evaluate(sample);
    const t = last.times;
    return {
      engine,
      clickToFirst: t.firstFrame - t.click,
      fps: 2721 / ((t.pictures[0] - t.firstFrame) / 1000),
      span: (last.wall - first.wall) / 1000,
      drift: (last.music - first.music) - (last.wall - first.wall) / 1000,
      state: last.state,
    };
  } finally {
    await s.close();
    server.close();
  }
}

(async () => {
  console.log('| engine | click to first frame | frames per second, 1280x720 | music clock - wall clock |');
  console.log('|---|---|---|---|');
  for (const engine of engines) {
    const r = await measure(engine);
    console.log(`| ${r.engine} | ${r.clickToFirst.toFixed(0)} ms | ${r.fps.toFixed(1)} | ` +
                `${(r.drift * 1000).toFixed(0)} ms over ${r.span.toFixed(1)} s (audio ${r.state}) |`);
  }
  process.exit(0);
})().catch((e) => { console.error(e); process.exit(1); });
