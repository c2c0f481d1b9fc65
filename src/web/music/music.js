// music.js -- the page's music: the tracker module played by libopenmpt in an
// AudioWorklet (music.worklet.js), steered by the show's five sound calls.
//
// A browser opens its audio output only after a user gesture, and a module
// file arrives over the network. What needs no gesture is done while the
// start screen is up, in fetchAhead(): the module's bytes and the worklet's
// files are fetched. The rest happens in prepare(), from the start button's
// click: the audio context, the worklet (its files now in the browser's
// cache) and the module's bytes, decoded once to learn whether they are a
// module.
// The show's own calls (init, load, play, stop, close, made synchronously
// from the wasm program) then only use what prepare() left, and each problem
// is reported once, in one line, where the desktop reports it: the audio
// output's in init(), the module's in load().
var DemoMusic = (function () {
    'use strict';

    var maxFileBytes = 64 * 1024 * 1024;   // as on the desktop: larger files are refused
    var answerWaitMs = 10000;              // the worklet decodes in well under a second
    var runWaitMs = 5000;                  // a context made in a click starts within moments

    var music = {
        onMessage: function (line) { console.log(line); },
        fetchWaitMs: 20000,     // a server that never answers must not hold the show
    };

    // The worklet and its engine are served from this script's folder.
    var scriptUrl = document.currentScript ? document.currentScript.src : location.href;

    var context = null;
    var node = null;
    var audioProblem = null;    // why there is no audio output
    var audioSaid = false;      // init() has reported it
    var moduleProblem = null;   // why the fetched bytes are not a module, until load() reports it
    var moduleOk = false;
    var moduleInfo = null;      // the worklet's answer: duration, engine version

    function off(what, why)
    {
        music.onMessage('music off: ' + what + ': ' + why);
    }

    var generation = 0;         // each prepare() and close(): a late answer to an earlier one is dropped
    var fetchAbort = null;      // stops the module's fetch (close() during the wait)
    var ahead = null;           // the module fetched before the click: {url, bytes, progress}
    var settling = false;       // start() has let the show begin, the music is not ready yet
    var initLater = false;      // the show's calls in that time, to be answered in settle()
    var loadLater = null;
    var playLater = 0;          // when the show asked to play (Date.now()), 0: it did not

    // The module's bytes, read piece by piece so that `progress(received,
    // total)` can tell how far it is (total 0 when the server does not say).
    // The time limit covers the whole answer, body included.
    function fetchModule(url, progress)
    {
        var abort = fetchAbort = new AbortController();
        var timedOut = false;
        var timer = setTimeout(function () { timedOut = true; abort.abort(); }, music.fetchWaitMs);
        function failed() {
            throw new Error(timedOut ? 'not fetched within ' + music.fetchWaitMs / 1000 + ' s' : 'could not be fetched');
        }
        return fetch(url, { signal: abort.signal }).then(function (response) {
            if (response.status === 404)
                throw new Error('No such file or directory');
            if (!response.ok)
                throw new Error('HTTP ' + response.status + ' ' + response.statusText);
            var length = Number(response.headers.get('Content-Length')) || 0;
            if (length > maxFileBytes)
                throw new Error('file larger than 64 MiB');
            var reader = response.body.getReader();
            var pieces = [], received = 0;
            progress(0, length);
            return (function next() {
                return reader.read().then(function (got) {
                    if (got.done)
                        return new Blob(pieces).arrayBuffer();
                    received += got.value.length;
                    if (received > maxFileBytes) {
                        abort.abort();
                        throw new Error('file larger than 64 MiB');
                    }
                    pieces.push(got.value);
                    progress(received, length);
                    return next();
                }, failed);
            })();
        }, failed).finally(function () {
            clearTimeout(timer);
            if (fetchAbort === abort)
                fetchAbort = null;
        }).then(function (bytes) {
            if (bytes.byteLength === 0)
                throw new Error('empty file');
            return bytes;
        });
    }

    // A browser may keep a context suspended although it was made in the
    // click (a sound device it cannot open, a policy of its own); waited for
    // a while, then the music is off and the page says why.
    function running(ctx)
    {
        if (ctx instanceof OfflineAudioContext || ctx.state === 'running')
            return Promise.resolve();
        return new Promise(function (resolve, reject) {
            setTimeout(function () {
                reject(new Error('the browser kept the sound suspended'));
            }, runWaitMs);
            ctx.resume().then(resolve, function () {});     // resolves once the context runs
        });
    }

    // The worklet's answers: to decode() and to position().
    var loadedAnswer = null, whereAnswer = null;

    // Hands the bytes to the worklet and waits for its verdict.
    function decode(bytes)
    {
        return new Promise(function (resolve, reject) {
            var timer = setTimeout(function () {
                reject(new Error('the player did not answer'));
            }, answerWaitMs);
            loadedAnswer = function (answer) {
                clearTimeout(timer);
                resolve(answer);
            };
            node.port.postMessage({ cmd: 'load', bytes: bytes }, [bytes]);
        });
    }

    // The worklet loads while the output starts: neither waits for the other.
    function openOutput(ctx)
    {
        if (!ctx.audioWorklet)
            throw new Error('this page has no AudioWorklet (it needs http:// or https://)');
        var worklet = ctx.audioWorklet.addModule(new URL('music.worklet.js', scriptUrl).href).then(function () {
            if (ctx !== context)
                throw new Error('closed');          // close() came first
            node = new AudioWorkletNode(ctx, 'demo-music', {
                numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2]
            });
            node.connect(ctx.destination);
            node.port.onmessage = function (e) {
                if (e.data.cmd === 'where' && whereAnswer)
                    whereAnswer(e.data.seconds);
                else if (e.data.cmd === 'loaded' && loadedAnswer)
                    loadedAnswer(e.data);
            };
        }, function () {
            throw new Error('the player (music.worklet.js) did not load');
        });
        return running(ctx).then(function () { return worklet; }, function (e) {
            worklet.catch(function () {});
            throw e;
        });
    }

    // Called from the start button's click, in two steps: begin() takes over
    // the module's bytes and gets the music ready for the show's calls,
    // which are carried out once the output and the worklet are (the music
    // then begins as far into the module as the show has come since it
    // asked; what fails on the way is said then); the click then hands over
    // its context with open(audio, after), before it returns (without a
    // context open() makes one, which needs the gesture); the player loads
    // once `after`, when given, has settled. `progress(received, total)`,
    // when given, hears how far the module's bytes have come. Of what it
    // returns, `ready` resolves as soon as the module's bytes are here, and
    // `done` when the music is ready to play. Never rejects: what fails
    // leaves the music off, to be said by init() or load(); close() during
    // the wait ends it at once.
    music.begin = function (moduleUrl, progress) {
        progress = progress || function () {};
        // The bytes fetchAhead() asked for, arrived or on their way, are
        // taken over (close() leaves their fetch alone); they go to the
        // worklet once.
        var early = ahead && ahead.url === moduleUrl ? ahead : null;
        ahead = null;
        if (early && fetchAbort === early.abort)
            fetchAbort = null;
        music.close();      // a show prepared before and never started
        if (early) {
            early.progress = progress;
            if (early.pending)
                fetchAbort = early.abort;
        }
        var ticket = generation;
        audioProblem = null;
        audioSaid = false;
        moduleProblem = null;
        moduleOk = false;
        moduleInfo = null;

        var bytes = (early ? early.bytes : fetchModule(moduleUrl, progress)).catch(function (e) {
            if (ticket === generation)
                moduleProblem = e.message;
            return null;
        });
        var opened;
        var output = new Promise(function (resolve) { opened = resolve; });
        // The output, given by the click; made here, still
        // inside the click, when the click could not make it, so that the
        // output may run. The player loads into it once `after` (a promise,
        // when given) has settled.
        function open(audio, after) {
            if (ticket !== generation)
                return;             // close() came first
            var out;
            try {
                context = audio || new AudioContext();
                out = after ? Promise.resolve(after).then(function () {
                    if (ticket !== generation)
                        throw new Error('closed');
                    return openOutput(context);
                }) : openOutput(context);
            } catch (e) {
                out = Promise.reject(e);
            }
            opened(out.catch(function (e) {
                if (ticket !== generation)
                    return;
                audioProblem = e.message || String(e);
                node = null;
            }));
        }

        settling = true;
        var done = Promise.all([bytes, output]).then(function (got) {
            if (!got[0] || !node || ticket !== generation)
                return;
            return decode(got[0]).then(function (answer) {
                if (ticket !== generation)
                    return;
                moduleOk = answer.ok;
                moduleInfo = answer;
                if (!answer.ok)
                    moduleProblem = 'not a module that can be played';
            }, function (e) {
                if (ticket !== generation)
                    return;
                audioProblem = e.message;
                node = null;
            });
        }).then(function () {
            if (ticket === generation)
                settle();
        });
        return { ready: bytes.then(function () {}), done: done, open: open };
    };

    // Both steps at once, into `audio` (by default a new AudioContext; tests
    // pass an OfflineAudioContext); resolves when the music is ready to play.
    music.prepare = function (moduleUrl, audio, progress) {
        var b = music.begin(moduleUrl, progress);
        b.open(audio);
        return b.done;
    };

    // The show's calls made while start()'s preparation went on, now that
    // it has ended.
    function settle()
    {
        settling = false;
        if (initLater) {
            initLater = false;
            if (!node) {
                music.init();
                return;
            }
        }
        if (loadLater !== null) {
            var name = loadLater;
            loadLater = null;
            if (!music.load(name))
                return;
        }
        if (playLater) {
            node.port.postMessage({ cmd: 'play', at: playLater });
            playLater = 0;
        }
    }

    // From the start screen, before any click: fetches the module's bytes for
    // prepare() (`progress(received, total)` hears how far they are) and the
    // worklet's files into the browser's cache, so that the click waits for
    // neither. Resolves when all have arrived or failed, to whether the
    // module's bytes arrived (not when its fetch failed, was stopped by
    // close() or ran out of time); never rejects (a
    // failure is said by load(), as ever). No audio context is made: a
    // browser lets the page make one only from the click.
    music.fetchAhead = function (moduleUrl, progress) {
        music.close();
        var entry = ahead = { url: moduleUrl, progress: progress || function () {}, pending: true };
        entry.bytes = fetchModule(moduleUrl, function (received, total) {
            entry.progress(received, total);
        });
        entry.abort = fetchAbort;
        var module = entry.bytes.then(function () { return true; }, function () { return false; }).then(function (arrived) {
            entry.pending = false;
            return arrived;
        });
        var files = ['music.worklet.js', 'libopenmpt.worklet.js'].map(function (name) {
            return fetch(new URL(name, scriptUrl).href).then(function (r) { return r.arrayBuffer(); })
                .catch(function () {});
        });
        return Promise.all([module].concat(files)).then(function (got) { return got[0]; });
    };

    // soundInit: the output prepare() opened, at the context's own rate (the
    // module is rendered at whatever rate the output runs, as on the desktop).
    music.init = function (rate) {
        if (node)
            return true;
        if (settling && audioProblem === null) {
            initLater = true;
            return true;
        }
        if (!audioSaid)
            off('audio', audioProblem || 'the page did not prepare the audio output');
        audioSaid = true;
        return false;
    };

    // musicLoad: true when prepare()'s bytes are a module the worklet holds.
    music.load = function (name) {
        if (moduleProblem !== null) {
            off(name, moduleProblem);
            moduleProblem = null;
            return false;
        }
        if (settling) {
            loadLater = name;
            return true;
        }
        return moduleOk && node !== null;
    };

    // musicPlay: from the beginning; the worklet repeats the module forever.
    // A real output is told when the show asked, so that music that starts
    // late starts as far in as the show has come.
    music.play = function () {
        var offline = context instanceof OfflineAudioContext;
        if (settling)
            playLater = Date.now();
        else if (node && moduleOk)
            node.port.postMessage(offline ? { cmd: 'play' } : { cmd: 'play', at: Date.now() });
    };

    // musicStop: silence.
    music.stop = function () {
        playLater = 0;
        if (node)
            node.port.postMessage({ cmd: 'stop' });
    };

    // soundClose: releases the module and the audio output. A later show
    // starts again with prepare().
    music.close = function () {
        generation += 1;
        ahead = null;
        settling = initLater = false;
        loadLater = null;
        playLater = 0;
        if (fetchAbort) {
            fetchAbort.abort();
            fetchAbort = null;
        }
        if (node) {
            node.port.postMessage({ cmd: 'close' });
            node.disconnect();
            node = null;
        }
        moduleOk = false;
        if (context && context.close && context.state !== 'closed')
            context.close();
        context = null;
    };

    // What the worklet told about the module (its duration in seconds and the
    // engine's version), once prepare() has decoded it; null before.
    music.info = function () { return moduleInfo; };
    music.context = function () { return context; };

    // How far into the module the music plays (seconds), -1 while it does
    // not: asked of the worklet, for the tests.
    music.position = function () {
        if (!node)
            return Promise.resolve(-1);
        return new Promise(function (resolve) {
            whereAnswer = function (seconds) { whereAnswer = null; resolve(seconds); };
            node.port.postMessage({ cmd: 'where' });
        });
    };

    return music;
})();
