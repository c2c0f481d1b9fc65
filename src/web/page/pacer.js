// pacer.js -- the show's pace in the page: at most `fps` show frames a
// second, whatever the screen's rate.
//
// The show moves a fixed step per frame and was made for screens of about 60
// frames a second; a browser gives animation frames at the screen's rate,
// 120 or 144 a second on many screens. The pacer hands the program's loop
// only the animation frames that come at or after the next show frame's
// moment; the others draw nothing, and the canvas keeps the last frame.
//
// The moments are k / fps seconds after the first show frame, so the pace
// does not drift. An animation frame may come up to a fifth of a show
// frame early and still draw: a 60 Hz screen's frames wander by a
// millisecond or so around 1/60 s and none of them is skipped, while a
// 144 Hz screen's frames (6.9 ms apart) fall on one show frame each at most.
// On a screen slower than fps every animation frame draws one show frame, as
// a slow machine would; and after a wait of more than one show frame (a
// hidden page, the slideshow, a slow frame) the moments start again from
// that animation frame instead of making up for the lost ones.
//
//   DemoPacer.showFps                          // the show's pace: 60, or the address's fps=N
//   var pacer = DemoPacer.create(60);          // the browser's animation frames
//   var pacer = DemoPacer.create(60, source);  // source(callback): calls
//                                              // callback(time in ms) once, later
//   pacer.request(func);   // func(time) in the next animation frame that is due
//   pacer.due(time);       // true when an animation frame at `time` draws
var DemoPacer = (function () {
    'use strict';

    function create(fps, source)
    {
        var interval = 1000 / fps;
        var early = interval / 5;       // how early an animation frame may come and still draw
        var next = null;                // the next show frame's moment (ms), null before the first
        var requestFrame = source || function (callback) { window.requestAnimationFrame(callback); };

        function due(time)
        {
            if (next !== null && time < next - early)
                return false;
            next = next === null ? time + interval : next + interval;
            if (next <= time)
                next = time + interval;     // more than a show frame late: start again from now
            return true;
        }

        function request(func)
        {
            requestFrame(function tick(time) {
                if (due(time))
                    func(time);
                else
                    requestFrame(tick);
            });
        }

        return { due: due, request: request };
    }

    // The show's pace: 60 frames a second, or fps=N (1 to 1000) in the page's
    // address, for the tests and the benchmark.
    var fps = new URLSearchParams(location.search).get('fps');
    var showFps = /^[0-9]+$/.test(fps) && fps >= 1 && fps <= 1000 ? Number(fps) : 60;

    return { create: create, showFps: showFps };
})();
