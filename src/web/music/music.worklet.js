// music.worklet.js -- the audio thread of the page's music: libopenmpt renders
// the playing module straight into the AudioWorklet's output.
//
// The page side (music.js) talks to it through the node's port:
//   {cmd: 'load', bytes}  decode a module; answers {cmd: 'loaded', ok, duration, version}
//   {cmd: 'play', at}     from the beginning, repeating forever; `at`, when
//                         given, is when the show asked (Date.now()): music
//                         that starts later starts as far into the module
//   {cmd: 'stop'}         silence
//   {cmd: 'where'}        answers {cmd: 'where', seconds}: how far into the
//                         module it plays, -1 while it does not
//   {cmd: 'close'}        release the module; the processor ends
// The engine is libopenmpt compiled to WebAssembly (libopenmpt.worklet.js,
// the wasm inside it), served from the same folder as this file.
import openmptEngine from './libopenmpt.worklet.js';

// libopenmpt writes its log to stderr; the page says in one line why the
// music is off, so the engine's own chatter is dropped.
const engine = openmptEngine({ print: () => {}, printErr: () => {} });

class DemoMusicProcessor extends AudioWorkletProcessor {
    constructor()
    {
        super();
        this.lib = null;
        this.mod = 0;           // the loaded openmpt_module, 0 while there is none
        this.playing = false;
        this.closed = false;
        this.left = 0;          // render buffers in the engine's memory
        this.right = 0;
        this.frames = 0;
        this.startAt = 0;       // when the show asked to play, until the first block
        this.port.onmessage = (e) => { this.command(e.data); };
    }

    async command(msg)
    {
        const lib = this.lib = await engine;
        if (msg.cmd === 'load') {
            this.release();
            const bytes = new Uint8Array(msg.bytes);
            const at = lib._malloc(bytes.length);
            lib.HEAPU8.set(bytes, at);
            this.mod = lib._openmpt_module_create_from_memory2(at, bytes.length, 0, 0, 0, 0, 0, 0, 0);
            lib._free(at);
            let duration = 0;
            if (this.mod) {
                lib._openmpt_module_set_repeat_count(this.mod, -1);    // through the slideshow, forever
                duration = lib._openmpt_module_get_duration_seconds(this.mod);
            }
            const v = lib._openmpt_get_library_version();      // major, minor and patch, 8, 8 and 16 bits
            this.port.postMessage({ cmd: 'loaded', ok: this.mod !== 0, duration,
                                    version: [v >>> 24, (v >>> 16) & 0xff, v & 0xffff].join('.') });
        } else if (msg.cmd === 'play' && this.mod) {
            lib._openmpt_module_set_position_seconds(this.mod, 0);
            this.startAt = msg.at || 0;
            this.playing = true;
        } else if (msg.cmd === 'where') {
            this.port.postMessage({ cmd: 'where',
                                    seconds: this.playing ? lib._openmpt_module_get_position_seconds(this.mod) : -1 });
        } else if (msg.cmd === 'stop') {
            this.playing = false;
        } else if (msg.cmd === 'close') {
            this.release();
            this.closed = true;
        }
    }

    release()
    {
        this.playing = false;
        if (this.mod)
            this.lib._openmpt_module_destroy(this.mod);
        this.mod = 0;
    }

    process(inputs, outputs)
    {
        if (this.closed)
            return false;
        if (!this.playing)
            return true;        // the output stays silent
        const lib = this.lib;
        if (this.startAt) {
            // The first block since the show asked: the output may have
            // started after it, or the player been ready only then.
            const late = (Date.now() - this.startAt) / 1000;
            this.startAt = 0;
            if (late > 0.05)
                lib._openmpt_module_set_position_seconds(this.mod, late);
        }
        const [left, right] = outputs[0];
        const wanted = left.length;
        if (wanted > this.frames) {
            if (this.frames) {
                lib._free(this.left);
                lib._free(this.right);
            }
            this.left = lib._malloc(4 * wanted);
            this.right = lib._malloc(4 * wanted);
            this.frames = wanted;
        }
        const done = lib._openmpt_module_read_float_stereo(this.mod, sampleRate, wanted, this.left, this.right);
        // The heap may have grown since the last call: take its view anew.
        left.set(lib.HEAPF32.subarray(this.left >> 2, (this.left >> 2) + done));
        right.set(lib.HEAPF32.subarray(this.right >> 2, (this.right >> 2) + done));
        return true;
    }
}

registerProcessor('demo-music', DemoMusicProcessor);
