// web_frames.js -- the web edition's figures in headless chromium, for
// bench/web.py. Needs the site built (scripts/web.sh --build) and tests/web's
// npm packages (scripts/setup-web.sh --tests).
//
//   node bench/web_frames.js first-frame         click to first frame drawn, ms
//   node bench/web_frames.js frames WxH          the whole course, frames back to back
//
// Prints "bench: key value" lines on standard output.
'use strict';
const h = require('../tests/web/harness');

async function main() {
  const [what, size] = process.argv.slice(2);
  const server = await h.serve();
  const browser = await h.launch();
  try {
    if (what === 'first-frame') {
      const { page } = await h.openShow(browser, server.url, { width: 1280, height: 720 });
      await page.waitForFunction('window.demoTimes.firstFrame !== undefined', { timeout: 60000 });
      const t = await page.evaluate(() => window.demoTimes.firstFrame - window.demoTimes.click);
      console.log(`bench: first-frame-ms ${t}`);
    } else if (what === 'frames') {
      const [w, hgt] = size.split('x').map(Number);
      // Frames back to back, each made to finish (a one-pixel read) before the
      // next starts; the slideshow does not wait.
      const { page } = await h.openShow(browser, server.url + `?fast&finish&quick&size=${size}`,
                                        { width: w, height: hgt });
      await page.waitForFunction('window.demoEnded === true', { timeout: 1800000, polling: 1000 });
      const r = await page.evaluate(() => [window.demoFrame, window.demoTimes.firstFrame, window.demoTimes.lastFrame]);
      console.log(`bench: frames ${r[0]}`);
      console.log(`bench: frame-seconds ${(r[2] - r[1]) / 1000}`);
    } else {
      throw new Error('usage: web_frames.js first-frame | frames WxH');
    }
  } finally {
    await browser.close();
    server.close();
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
