// music.test.mjs -- the browser's music (src/web/music) in a real headless
// browser, against the desktop's rendering of the same module.
//
//   node --test tests/web/music.test.mjs
//
// Needs `npm ci` in tests/web and in src/web/music, chromium-headless-shell,
// and from the desktop build DESKTOP_RENDER (build/desktop_render) and
// MUSIC_MODULE (default assets/demomain.xm).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const Loudness = createRequire(import.meta.url)('./loudness.js');
const moduleFile = process.env.MUSIC_MODULE || path.join(root, 'assets/demomain.xm');
const rate = 44100;
const seconds = 130;        // one pass of the module (about 110 s) and 20 s of the next

// What the server hands out: the page's music files as the site has them,
// the test page, and module files good, broken and missing.
const files = {
    '/music.js': path.join(root, 'src/web/music/music.js'),
    '/music.worklet.js': path.join(root, 'src/web/music/music.worklet.js'),
    '/libopenmpt.worklet.js': path.join(root, 'src/web/music/node_modules/chiptune3/libopenmpt.worklet.js'),
    '/music_test.html': path.join(here, 'music_test.html'),
    '/loudness.js': path.join(here, 'loudness.js'),
    '/demomain.xm': moduleFile,
};
const bodies = {
    '/broken/demomain.xm': Buffer.from('This is a text file, not a tracker module.\n'.repeat(40)),
    '/empty/demomain.xm': Buffer.alloc(0),
};
const types = { '.js': 'text/javascript', '.html': 'text/html', '.xm': 'application/octet-stream' };

let server, browser, page, base;

before(async () => {
    server = http.createServer((req, res) => {
        const url = req.url.split('?')[0];
        const body = bodies[url] ?? (files[url] && fs.readFileSync(files[url]));
        if (!body) {
            res.writeHead(404).end();
            return;
        }
        res.writeHead(200, { 'Content-Type': types[path.extname(url)], 'Content-Length': body.length });
        res.end(body);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    base = `http://127.0.0.1:${server.address().port}/`;
    browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium-headless-shell',
        args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
    });
    page = await browser.newPage();
    await page.goto(base + 'music_test.html');
}, { timeout: 60000 });

after(async () => {
    await browser?.close();
    server?.close();
}, { timeout: 30000 });

// The desktop's render of `seconds` from the module's first sound, its
// device running at `rate`, and the loop point desktop_render reports.
function renderDesktop(seconds, rate) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'web-music-'));
    const raw = path.join(dir, 'desktop.raw');
    const duration = Number(execFileSync(process.env.DESKTOP_RENDER || path.join(root, 'build/desktop_render'),
                                         [moduleFile, String(seconds), raw, String(rate)],
                                         { stdio: ['ignore', 'pipe', 'ignore'] }));
    const bytes = fs.readFileSync(raw);
    fs.rmSync(dir, { recursive: true });
    const pcm = new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length / 2);
    const left = new Float32Array(pcm.length / 2), right = new Float32Array(pcm.length / 2);
    for (let i = 0; i < left.length; i++) {
        left[i] = pcm[2 * i] / 32768;
        right[i] = pcm[2 * i + 1] / 32768;
    }
    assert.equal(left.length, Math.round(seconds * rate));
    return { duration, left, right, from: Loudness.start(left, right) };
}

// Each channel's loudness, second by second, in the browser's render and in
// the desktop's at the same rate: left with left, right with right, within
// 1 dB. The module's first seconds are some 3 dB louder on the right, so
// sides swapped in either render land 3 dB off there.
function sameChannels(label, desk, web, rate, count) {
    for (const [side, samples, heard] of [['left', desk.left, web.leftSeconds],
                                          ['right', desk.right, web.rightSeconds]]) {
        const deskSeconds = Loudness.channel(samples, desk.from, rate, count);
        assert.ok(heard.length >= count, `${label}: the browser rendered ${heard.length} s`);
        const diffs = deskSeconds.map((db, i) => heard[i] - db);
        console.log(`${label}, ${side}: dB per second, browser - desktop: ` + diffs.map((d) => d.toFixed(2)).join(' '));
        diffs.forEach((d, i) => assert.ok(Math.abs(d) <= 1, `${label}, ${side}, second ${i}: ${d.toFixed(2)} dB`));
    }
}

// The loop by listening: the 19 s from 110 s on (after the module has
// started over) are matched with the first pass; the shift is how long the
// repeating part lasts, in seconds.
function repeatSeconds(envelope) {
    const found = Loudness.earlier(envelope, 11000, 1900, 9000);
    return { seconds: (11000 - found.start) / 100, meanDb: found.meanDb };
}

test('the browser plays the module as the desktop does, repeating it', { timeout: 180000 }, async () => {
    const desk = renderDesktop(seconds, rate);
    const duration = desk.duration;
    const deskEnvelope = Loudness.levels(desk.left, desk.right, desk.from, rate / 100, (seconds - 1) * 100);

    const web = await page.evaluate((s) => renderShow('demomain.xm', s + 1), seconds);
    assert.deepEqual(web.lines, []);
    assert.ok(web.up && web.loaded);
    assert.equal(web.rate, rate);
    // Playback starts with the render, within its first 128-frame quantum.
    assert.ok(web.from < 128, `first sound at frame ${web.from}`);

    // The loop point as libopenmpt computes it (one pass of the song), and
    // the repeat's length as heard in each render.
    const deskRepeat = repeatSeconds(deskEnvelope), webRepeat = repeatSeconds(web.envelope);
    console.log(`engine: libopenmpt ${web.info.version} (desktop: the system's)`);
    console.log(`loop point: desktop ${duration.toFixed(3)} s, browser ${web.info.duration.toFixed(3)} s; ` +
                `repeat heard: desktop ${deskRepeat.seconds} s (${deskRepeat.meanDb.toFixed(2)} dB off), ` +
                `browser ${webRepeat.seconds} s (${webRepeat.meanDb.toFixed(2)} dB off)`);
    assert.ok(Math.abs(web.info.duration - duration) <= 0.1);
    assert.ok(Math.abs(webRepeat.seconds - deskRepeat.seconds) <= 0.1);
    // Each match is the music starting over, not a look-alike passage
    // (those lie more than 1 dB apart).
    assert.ok(deskRepeat.meanDb < 0.7 && webRepeat.meanDb < 0.7);

    sameChannels('44100 Hz', desk, web, rate, seconds - 1);
});

// A device or a browser running at 48 kHz: the desktop's device opened at
// 48000 Hz while the layer asks for 44100, the page's player in a 48 kHz
// context. The module's first 20 s hold its loudest left-right differences.
test('at 48 kHz the browser plays the module as the desktop does', { timeout: 120000 }, async () => {
    const at = 48000, span = 20;
    const desk = renderDesktop(span, at);
    const web = await page.evaluate((s, r) => renderShow('demomain.xm', s + 1, 0, r), span, at);
    assert.deepEqual(web.lines, []);
    assert.ok(web.up && web.loaded);
    assert.equal(web.rate, at);
    assert.ok(web.from < 128, `first sound at frame ${web.from}`);
    sameChannels('48000 Hz', desk, web, at, span - 1);
});

test('music stops when the show stops it', { timeout: 60000 }, async () => {
    const web = await page.evaluate(() => renderShow('demomain.xm', 3, 1.5));
    assert.ok(web.seconds[0] > -40, `first second at ${web.seconds[0]} dB`);
    // Everything from a few quanta after the stop on is digital silence.
    const after = web.envelope.slice(152);
    assert.ok(after.every((db) => db < -150), `${Math.max(...after)} dB after the stop`);
});

test('a module that is missing, broken or empty: one line, silence, no hang', { timeout: 60000 }, async () => {
    const cases = [
        ['missing/demomain.xm', 'music off: demomain.xm: No such file or directory'],
        ['broken/demomain.xm', 'music off: demomain.xm: not a module that can be played'],
        ['empty/demomain.xm', 'music off: demomain.xm: empty file'],
    ];
    for (const [url, line] of cases) {
        const web = await page.evaluate((u) => renderShow(u, 1), url);
        assert.deepEqual(web.lines, [line]);
        assert.equal(web.loaded, false);
        assert.equal(web.seconds.length, 0, `${url}: sound in a render of a bad module`);
    }
});

test('the page\'s own audio output runs and closes', { timeout: 30000 }, async () => {
    const state = await page.evaluate(async () => {
        const lines = [];
        DemoMusic.onMessage = (line) => lines.push(line);
        await DemoMusic.prepare('demomain.xm');
        const ok = DemoMusic.init(44100) && DemoMusic.load('demomain.xm');
        DemoMusic.play();
        const ctx = DemoMusic.context();
        await new Promise((resolve) => setTimeout(resolve, 500));
        const running = ctx.state, played = ctx.currentTime;
        DemoMusic.stop();
        DemoMusic.close();
        await new Promise((resolve) => setTimeout(resolve, 100));
        return { lines, ok, running, played, after: ctx.state, rate: ctx.sampleRate };
    });
    assert.deepEqual(state.lines, []);
    assert.ok(state.ok);
    assert.equal(state.running, 'running');
    assert.ok(state.played > 0.3, `the output advanced ${state.played} s in 0.5 s`);
    assert.equal(state.after, 'closed');
});
