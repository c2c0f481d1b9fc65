// page.js -- the start screen, the show's run and its end.
//
// The program (start.js, start.wasm) loads with the page but waits, and
// the music's module and player are fetched while the start screen is up: a
// browser lets a page play sound and go full screen only from a user's
// gesture, so the start button does both (the sound first: some browsers
// keep a sound asked for after full screen suspended). The sound is made as
// the button goes down; the click draws the show's first frame, goes full
// screen, and once the frame is drawn the music prepares what is left (the
// player in its audio thread, the module decoded) and joins the show.
// Whatever goes wrong is said in one line that stays in view on every
// screen; while the module loads it says how far it is. Once the music is
// here the page registers its service worker (sw.js), which keeps the site
// for use without a network.
//
// Options in the page's address are for the tests and the benchmark: the
// program reads ?quick&size=640x480&fast&log&shots=1000,2250 ... (see
// main.cpp), the pacer fps=N; the page's own, musicwait=MS, shortens
// the time the module may take to arrive (20 s).
(function () {
  'use strict';
  var startButton = document.getElementById('start');
  var message = document.getElementById('message');
  var statistics = document.getElementById('statistics');
  var canvas = document.getElementById('canvas');
  var running = false, ended = false;
  var loading = 0;              // the click whose module is on its way; 0: none
  var afterFirstFrame = null;

  window.demoLog = [];          // the page's lines, for browsers whose automation hides the console
  function log(line) {
    demoLog.push(line);
    console.log(line);
  }

  function say(line) {
    message.textContent = line;
    if (line)
      log(line);
  }

  var musicWait = Number(new URLSearchParams(location.search).get('musicwait'));
  if (musicWait > 0)
    DemoMusic.fetchWaitMs = musicWait;

  window.demoPixels = {};       // pictures the program handed over (tests)
  window.demoTimes = {};        // moments of the run (benchmark)

  var Module = window.Module = {
    canvas: canvas,
    noInitialRun: true,
    print: function (line) {
      statistics.textContent += line + '\n';
      log(line);
    },
    log: log,
    printErr: function (line) {
      console.warn(line);
    },
    onRuntimeInitialized: function () {
      // The graphics made ready before the click (the context, the first
      // frame's drawing compiled), so that the click waits for none of it.
      Module._webPrepareGraphics();
      startButton.disabled = false;
      window.demoReady = true;
    },
    onNoWebGL: noWebGL,
    onFrame: function (n) {
      window.demoFrame = n;
      demoTimes.lastFrame = performance.now();
      (demoTimes.frames = demoTimes.frames || [])[n] = demoTimes.lastFrame;
    },
    onFirstFrame: function () {
      demoTimes.firstFrame = performance.now();
      if (afterFirstFrame)
        afterFirstFrame();
      afterFirstFrame = null;
    },
    onPicture: function () {
      (demoTimes.pictures = demoTimes.pictures || []).push(performance.now());
    },
    onPixels: function (name, width, height, rgba) {
      demoPixels[name] = { width: width, height: height, rgba: rgba };
    },
    onShowEnd: function () {
      running = false;
      ended = true;
      demoTimes.end = performance.now();
      document.body.classList.remove('running');
      document.body.classList.add('ended');
      document.getElementById('end').hidden = false;
      leaveFullScreen();
      window.demoEnded = true;
    },
  };

  function noWebGL() {
    say('WebGL 2 is not available here, and the show needs it: it may be turned off in this browser\'s settings, ' +
        'or its graphics driver blocked; turning on hardware acceleration or updating the graphics driver may help.');
    startButton.disabled = true;
    startButton.hidden = true;
    document.body.classList.remove('running');
    window.demoNoWebGL = true;
  }

  DemoMusic.onMessage = say;

  function leaveFullScreen() {
    if (document.fullscreenElement && document.exitFullscreen)
      document.exitFullscreen().catch(function () {});
  }

  // The start button does something only on the start screen, once the
  // program is ready and no click's show is on its way.
  function mayStart() {
    return !running && !ended && !loading && window.demoReady;
  }

  // Back to the start screen from the wait for the module: the music's
  // preparation ends and the click may come again.
  function cancelLoading() {
    loading = 0;
    DemoMusic.close();
    startButton.disabled = false;
    say('');
    leaveFullScreen();
  }

  // A browser takes Esc to leave full screen and may not pass the key on;
  // leaving full screen (which only the click enters) while the frames run
  // ends the show as Esc does, and while the module loads it goes back to
  // the start screen.
  document.addEventListener('fullscreenchange', function () {
    if (document.fullscreenElement)
      return;
    if (loading)
      cancelLoading();
    else if (running)
      window.dispatchEvent(new KeyboardEvent('keydown', { key: 'Escape', code: 'Escape', keyCode: 27 }));
  });
  window.addEventListener('keydown', function (e) {
    if (e.key === 'Escape' && loading)
      cancelLoading();
  });

  // A hidden page gets no animation frames, so the show waits; the music
  // waits with it and goes on when the page is seen again. The slideshow
  // keeps its own time, hidden or not, and so does its music.
  var pausedHidden = false;
  document.addEventListener('visibilitychange', function () {
    var audio = DemoMusic.context();
    if (!running || !audio)
      return;
    if (document.hidden && !demoTimes.pictures) {
      pausedHidden = true;
      audio.suspend().catch(function () {});
    } else if (!document.hidden && pausedHidden) {
      pausedHidden = false;
      audio.resume().catch(function () {});
    }
  });

  var lastLoadingLine = '';
  function loadingLine(received, total) {
    if (total > 0)
      lastLoadingLine = 'Loading the music: ' + Math.floor(100 * received / total) + ' %';
    else
      lastLoadingLine = 'Loading the music: ' + (received / 1048576).toFixed(1) + ' MiB';
    if (running || ended)
      return;
    say(lastLoadingLine);
  }

  // The show's run, from the click: at once when the module's bytes are
  // here (fetched while the start screen was up, as a rule), else once they
  // are. `click` is the click's ticket: a wait that was left runs nothing.
  function runShow(click) {
    if (loading !== click)
      return;                   // the wait was left: back at the start screen
    loading = 0;
    if (/^Loading the music/.test(message.textContent))
      say('');
    running = true;
    document.body.classList.add('running');
    canvas.focus();
    Module.callMain([]);
  }

  // The sound is made as the button goes down, the click being its
  // release: opening the browser's audio output takes it 40 to 300 ms, done
  // while the viewer's finger is still on the button instead of between the
  // click and the first frame. A press that gives the page no user
  // activation (a touch, in some browsers) leaves it to the click, as does
  // a start from the keyboard. A press that ends away from the button keeps
  // its sound for the next click.
  var pressedAudio = null;
  startButton.addEventListener('pointerdown', function (e) {
    if (!mayStart() || pressedAudio)
      return;
    var active = navigator.userActivation ? navigator.userActivation.isActive : e.pointerType === 'mouse';
    if (!active)
      return;
    demoTimes.press = e.timeStamp;
    try {
      pressedAudio = new AudioContext();
      pressedAudio.resume().catch(function () {});
    } catch (err) {
      pressedAudio = null;      // the click tries again
    }
  });

  startButton.addEventListener('click', function (e) {
    if (!mayStart())
      return;
    demoTimes.click = performance.now();
    demoTimes.clickEvent = e.timeStamp;
    var click = loading = performance.now() || 1;
    startButton.disabled = true;
    // The music takes over the module's bytes and is ready for the show's
    // calls, which it carries out once its player is; then, with the bytes
    // here, the show starts inside the click: its first frame's drawing is
    // sent to the renderer, which draws it while the click goes on. begin()
    // never fails by contract; should it throw all the same, the show runs
    // silently.
    var music = null;
    try {
      music = DemoMusic.begin('demomain.xm', function (received, total) {
        if (loading === click)
          loadingLine(received, total);
      });
    } catch (e) {
      say('music off: ' + e);
    }
    var failed = null;
    if (window.demoMusicReady || !music) {
      try {
        runShow(click);
      } catch (e) {
        failed = e;             // thrown once the sound and full screen are asked for
      }
    } else {
      say(lastLoadingLine || 'Loading the music');
    }
    // The sound made at the press, or now, still inside the click, before
    // full screen asks for the same gesture.
    var audio = pressedAudio;
    pressedAudio = null;
    try {
      if (!audio)
        audio = new AudioContext();
      if (audio.state === 'suspended')
        audio.resume().catch(function () {});
    } catch (e) {
      audio = null;             // open() tries again and says why it cannot
    }
    // The music takes the sound now (a context that the click could not
    // make is made by open(), in the gesture); its player (the worklet, its
    // engine compiled in the audio thread) loads once the first frame is
    // drawn, not beside it: on a machine of few cores the two would share
    // them.
    if (music && running && !demoTimes.firstFrame) {
      music.open(audio, new Promise(function (resolve) {
        afterFirstFrame = resolve;
        setTimeout(resolve, 1000);            // a first frame never known drawn (a lost context)
      }));
    } else if (music) {
      music.open(audio);
    }
    var root = document.documentElement;
    if (root.requestFullscreen)
      root.requestFullscreen({ navigationUI: 'hide' }).catch(function () {});
    if (failed)
      throw failed;
    if (!running && music) {
      music.ready.catch(function (e) {
        say('music off: ' + e);
      }).then(function () {
        runShow(click);
      });
    }
  });

  document.getElementById('again').addEventListener('click', function () {
    location.reload();
  });

  if (location.protocol === 'file:') {
    say('This page must come from a web server, not from a file: run ./scripts/web.sh and open http://127.0.0.1:8000/');
    return;
  }
  var probe = document.createElement('canvas');
  if (!probe.getContext('webgl2')) {
    noWebGL();
    return;
  }
  var script = document.createElement('script');
  script.src = 'start.js';
  script.onerror = function () {
    say('The show\'s program (start.js) could not be loaded.');
  };
  document.body.appendChild(script);

  DemoMusic.fetchAhead('demomain.xm', loadingLine).then(function (arrived) {
    if (!loading && !running && !ended && /^Loading the music/.test(message.textContent))
      say('');
    if (!arrived)
      return;                   // said by the show when it starts, as ever
    window.demoMusicReady = true;
    if ('serviceWorker' in navigator)
      navigator.serviceWorker.register('sw.js').catch(function () {});
  });
})();
