// loudness.js -- measures of a stereo render, the same code for the browser's
// render (loaded by music_test.html) and the desktop's (required by the test).
var Loudness = {
    // The first frame that is not silence (both sides drop what an output
    // writes before playback starts).
    start: function (left, right) {
        for (var i = 0; i < left.length; i++)
            if (Math.abs(left[i]) > 1e-4 || Math.abs(right[i]) > 1e-4)
                return i;
        return left.length;
    },

    // RMS level in dB (full scale 1.0) of each `step` frames, both channels.
    levels: function (left, right, from, step, count) {
        var out = [];
        for (var k = 0; k < count; k++) {
            var sum = 0;
            for (var i = from + k * step; i < from + (k + 1) * step; i++)
                sum += left[i] * left[i] + right[i] * right[i];
            out.push(10 * Math.log10(sum / (2 * step) + 1e-20));
        }
        return out;
    },

    // RMS level in dB of each `step` frames of one channel.
    channel: function (samples, from, step, count) {
        return Loudness.levels(samples, samples, from, step, count);
    },

    // Where the passage of `window` envelope steps from step `from` sounded
    // before: the earlier start, from 0 to `last`, whose envelope is closest
    // to it, and how far apart they are (mean dB; levels below -60 dB count
    // as -60).
    earlier: function (env, from, window, last) {
        var best = -1, bestDiff = Infinity;
        for (var start = 0; start <= last; start++) {
            var diff = 0;
            for (var i = 0; i < window; i++)
                diff += Math.abs(Math.max(env[from + i], -60) - Math.max(env[start + i], -60));
            if (diff < bestDiff) {
                bestDiff = diff;
                best = start;
            }
        }
        return { start: best, meanDb: bestDiff / window };
    }
};
if (typeof module !== 'undefined')
    module.exports = Loudness;
