// page.js -- the start screen, the show's run and its end.
//
// The program (start.js, start.wasm) loads with the page but waits: a
// browser lets a page play sound and go full screen only from a click, so
// the start button does both, has the music prepare, and then runs the
// show. Whatever goes wrong is said in one line under the button.
//
// Options in the page's address are handed to the program (see main.cpp):
// ?quick&size=640x480&fast&log&shots=1000,2250 ... for the tests and the
// benchmark.
(function () {
  'use strict';
  var startButton = document.getElementById('start');
  var message = document.getElementById('message');
  var statistics = document.getElementById('statistics');
  var canvas = document.getElementById('canvas');
  var running = false, ended = false, wentFullScreen = false;

  function say(line) {
    message.textContent = line;
    console.log(line);
  }

  var options = [];
  new URLSearchParams(location.search).forEach(function (value, name) {
    options.push(value === '' ? name : name + '=' + value);
  });

  window.demoPixels = {};       // pictures the program handed over (tests)
  window.demoTimes = {};        // moments of the run (benchmark)

  var Module = window.Module = {
    canvas: canvas,
    demoOptions: options,
    noInitialRun: true,
    print: function (line) {
      statistics.textContent += line + '\n';
      console.log(line);
    },
    printErr: function (line) {
      console.warn(line);
    },
    onRuntimeInitialized: function () {
      startButton.disabled = false;
      window.demoReady = true;
    },
    onNoWebGL: noWebGL,
    onFrame: function (n) {
      window.demoFrame = n;
      demoTimes.lastFrame = performance.now();
    },
    onFirstFrame: function () {
      demoTimes.firstFrame = performance.now();
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
      if (document.fullscreenElement && document.exitFullscreen)
        document.exitFullscreen().catch(function () {});
      window.demoEnded = true;
    },
  };

  function noWebGL() {
    say('This browser has no WebGL 2, which the show needs: try a current Firefox, Chrome or Safari.');
    startButton.disabled = true;
    startButton.hidden = true;
    document.body.classList.remove('running');
    window.demoNoWebGL = true;
  }

  DemoMusic.onMessage = function (line) {
    say(line);
  };

  // A browser takes Esc to leave full screen and may not pass the key on;
  // leaving full screen while the frames run ends the show as Esc does.
  document.addEventListener('fullscreenchange', function () {
    if (document.fullscreenElement) {
      wentFullScreen = true;
    } else if (wentFullScreen && running) {
      window.dispatchEvent(new KeyboardEvent('keydown', { key: 'Escape', code: 'Escape', keyCode: 27 }));
    }
  });

  startButton.addEventListener('click', function () {
    if (running || ended || !window.demoReady)
      return;
    running = true;
    startButton.disabled = true;
    demoTimes.click = performance.now();
    var root = document.documentElement;
    if (root.requestFullscreen)
      root.requestFullscreen({ navigationUI: 'hide' }).catch(function () {});
    // prepare() never fails by contract; should it throw all the same, the
    // show runs silently.
    Promise.resolve().then(function () {
      return DemoMusic.prepare('demomain.xm');
    }).catch(function (e) {
      say('music off: ' + e);
    }).then(function () {
      document.body.classList.add('running');
      canvas.focus();
      Module.callMain([]);
    });
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
})();
