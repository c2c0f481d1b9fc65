#!/usr/bin/env python3
"""start_check.py CASE LIMIT APP START_WATCHED

One check, run here, of what a viewer of the Windows zip gets (APP, the
unpacked zip's folder; START_WATCHED, start_watched.exe from the
build tree), under Wine on the X display it is given, in the folder case-CASE.
A program still running after LIMIT seconds (one that hangs) is ended by
coreutils' timeout. Exits
0 when the case holds, otherwise says why and exits 1. The cases: zip,
play.cmd, the start-* matrix, music-44100 and music-48000, whole-show.
"""
import array
import ctypes
import os
import re
import shutil
import subprocess
import sys
import time

case, limit, app, watched = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
start = os.path.join(app, "start.exe")
work = os.path.abspath("case-" + case)
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
TITLE = "tha corbanet demo"
MUSIC_SECONDS = 4

# Every DLL here is part of Windows itself (msvcrt.dll is the system's C
# library); anything else would have to travel with the program.
SYSTEM_DLLS = set("""advapi32.dll gdi32.dll glu32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll
opengl32.dll rpcrt4.dll setupapi.dll shell32.dll user32.dll version.dll winmm.dll""".split())

# case: what the folder holds, SDL's audio driver, the one stderr line
# ("" for none)
MATRIX = {
    "start-esc": ("module", "dummy", ""),
    "start-no-module": ("none", "dummy", "start: music off: demomain.xm: No such file or directory"),
    "start-directory": ("dir", "dummy", "start: music off: demomain.xm: Is a directory"),
    "start-garbage": ("garbage", "dummy", "start: music off: demomain.xm: not a module that can be played"),
    "start-no-device": ("module", "wasapi", "start: music off: audio: "),
}
# At 44.1 kHz, what the show asks for, with the zip's start.exe; at 48 kHz,
# Windows' usual mix rate, with start_watched.exe, whose device runs at the
# rate it is given.
MUSIC = {"music-44100": (44100, start, {}), "music-48000": (48000, watched, {"DEMO_DEVICE_RATE": "48000"})}


def fail(why):
    sys.exit("FAIL %s: %s" % (case, why))


def xdotool(*args):
    try:
        return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=10).stdout.split()
    except subprocess.TimeoutExpired:
        return []


def full_screen(window):
    size = dict(word.split("=") for word in xdotool("getwindowgeometry", "--shell", window))
    return [size.get("WIDTH"), size.get("HEIGHT")] == xdotool("getdisplaygeometry")


def wine(args, env=None, esc=False, ready=lambda: True):
    """`wine ARGS` in the case's folder: its status, stdout and stderr. With
    esc, Esc is pressed once the show's window is full screen (just before
    the first frame) and ready() holds, then every 0.2 s until the program
    has ended: a key before Wine gives the window the focus is lost, and
    however fast the machine, the presses begin during the frames."""
    # The last run's window must be gone, or its id would be taken for this one's.
    for _ in range(100):
        if not xdotool("search", "--name", TITLE):
            break
        time.sleep(0.1)
    out, err = os.path.join(work, "stdout"), os.path.join(work, "stderr")
    with open(out, "wb") as o, open(err, "wb") as e:
        p = subprocess.Popen(["timeout", str(limit), "wine", *args], cwd=work, env=dict(os.environ, **(env or {})),
                             stdout=o, stderr=e)
    pressing = False
    while p.poll() is None:
        windows = xdotool("search", "--name", TITLE) if esc else []
        if windows and (pressing or full_screen(windows[0]) and ready()):
            pressing = True
            xdotool("windowfocus", "--sync", windows[0], "key", "Escape")
            time.sleep(0.2)
        else:
            time.sleep(0.1)
    if p.returncode == 124:
        fail("%s still running after %d s" % (args[0], limit))
    read = lambda path: open(path, "rb").read().decode(errors="replace").replace("\r", "")
    return p.returncode, read(out), read(err)


def statistics(out, frames=None):
    """Checks the block at the end of a run: its five lines, the frame count
    (for a run ended by Esc, 1 to 2721) and Fps the quotient of Frames and
    Time (each printed to 6 digits, so within 2 parts in 100000)."""
    m = re.fullmatch(r"\*{21}\nFrames (\d+)\nTime   ([0-9.]+)\nFps    ([0-9.]+)\n\*{21}\n", out)
    if not m:
        fail("no statistics block: %r" % out[:300])
    n, t, fps = int(m[1]), float(m[2]), float(m[3])
    if not (n == frames if frames else 1 <= n < 2722):
        fail("Frames %d" % n)
    if t <= 0 or n == 0 or abs(fps - n / t) > 2e-5 * n / t:
        fail("Fps %s is not Frames %d over Time %s" % (m[3], n, m[2]))
    return t


def check_zip():
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", start], capture_output=True, text=True).stdout
    imports = sorted(set(name.lower() for name in re.findall(r"^\s*DLL Name: (\S+)", dump, re.M)))
    if not imports:
        fail("objdump found no imports")
    if set(imports) - SYSTEM_DLLS:
        fail("start.exe needs DLLs Windows lacks: %s" % " ".join(sorted(set(imports) - SYSTEM_DLLS)))
    for name in ("start.exe", "play.cmd", "demomain.xm", "README.md", "LICENSE.txt"):
        if not os.path.isfile(os.path.join(app, name)) or not os.path.getsize(os.path.join(app, name)):
            fail("%s missing from the zip" % name)
    print("imports %s" % " ".join(imports))


def check_play_cmd():
    text = open(os.path.join(app, "play.cmd"), "rb").read().decode().replace("\r", "")
    if not re.search(r'^"%~dp0start\.exe" --fps 60 %\*$', text, re.M):
        fail("it does not start start.exe with --fps 60: %s" % text)
    play = subprocess.run(["winepath", "-w", os.path.join(app, "play.cmd")], capture_output=True, text=True)
    for args, want in ((["--version"], r"start \(tha corbanet demo\) [0-9.]+"),
                       (["--fps", "0"], r"start: --fps takes .*, not '0'")):
        status, out, err = wine(["cmd", "/c", play.stdout.strip(), *args])
        if not re.search("^%s$" % want, out + err, re.M):
            fail("play.cmd %s from another folder: status %d, %s" % (" ".join(args), status, out + err))
    print("play.cmd starts start.exe with its arguments after --fps 60")


def check_matrix():
    holds, driver, line = MATRIX[case]
    module = os.path.join(work, "demomain.xm")
    if holds == "module":
        shutil.copy(os.path.join(app, "demomain.xm"), module)
    elif holds == "dir":
        os.mkdir(module)
    elif holds == "garbage":
        open(module, "wb").write(open(start, "rb").read(65536))
    status, out, err = wine([start], {"SDL_AUDIODRIVER": driver}, esc=True)
    if status != 0:
        fail("exit status %d; stderr %s" % (status, err))
    statistics(out)
    if not (err.count("\n") == 1 and err.startswith(line) if line else err == ""):
        fail("stderr is not %s: %r" % ("one line starting %r" % line if line else "empty", err))
    print("statistics; stderr %r" % err)


def openmpt_render(module, rate, samples):
    """libopenmpt's render of the module as it comes, from the start, repeating
    forever: interleaved stereo samples."""
    mpt = ctypes.CDLL("libopenmpt.so.0")
    mpt.openmpt_module_create_from_memory2.restype = ctypes.c_void_p
    xm = open(module, "rb").read()
    mod = ctypes.c_void_p(mpt.openmpt_module_create_from_memory2(xm, len(xm), *[None] * 7))
    if not mod.value:
        fail("libopenmpt did not load the module")
    mpt.openmpt_module_set_repeat_count(mod, -1)
    buf = (ctypes.c_int16 * 2048)()
    ref = array.array("h")
    while len(ref) < samples:
        n = mpt.openmpt_module_read_interleaved_stereo(mod, rate, 1024, buf)
        if n == 0:
            break
        ref.extend(buf[: 2 * n])
    mpt.openmpt_module_destroy(mod)
    return ref


def check_music():
    rate, program, extra = MUSIC[case]
    shutil.copy(os.path.join(app, "demomain.xm"), work)
    raw = os.path.join(work, "music.raw")

    def holds_music():  # MUSIC_SECONDS of sound after its first
        return os.path.exists(raw) and len(open(raw, "rb").read().lstrip(b"\0")) >= MUSIC_SECONDS * rate * 4

    env = dict(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE="music.raw", **extra)
    status, out, err = wine([program], env, esc=True, ready=holds_music)
    # SDL's disk driver announces itself in two lines, start_watched.exe
    # says which rate its device ran at; nothing else may come.
    rest = [l for l in err.splitlines() if l not in ("CRITICAL: You are using the SDL disk i/o audio driver!",
                                                   "CRITICAL:  Writing to file [music.raw].")
            and not l.startswith("start_watched: device ")]
    if status != 0 or rest:
        fail("the run with the disk driver: status %d, %s" % (status, err))
    statistics(out)
    if extra and "start_watched: device %d Hz, " % rate not in err:
        fail("the device did not run at %d Hz: %s" % (rate, err))
    data = open(raw, "rb").read()
    win = array.array("h", data[: len(data) // 4 * 4])
    ref = openmpt_render(os.path.join(app, "demomain.xm"), rate, len(win))

    # Lined up where both first sound clearly (over 100: the first quiet
    # samples may be dither in one and zero in the other).
    def first_loud(pcm):
        return next((i for i, v in enumerate(pcm) if abs(v) > 100), len(pcm)) // 2

    wl, rl = first_loud(win), first_loud(ref)
    if wl >= len(win) // 2 or wl < rl:
        fail("the sound never starts as the module does")
    at = wl - rl
    span = min(len(win) // 2 - at, len(ref) // 2)
    if span < (MUSIC_SECONDS - 0.5) * rate:
        fail("only %.2f s of the module" % (span / rate))

    def worst(a, ai, ac, b, bc):
        return max(abs(a[(ai + i) * 2 + ac] - b[i * 2 + bc]) for i in range(span))

    def rms(c):
        return (sum(ref[i * 2 + c] ** 2 for i in range(span)) / span) ** 0.5

    # Sample for sample, within the dither's 2 units; the reference's channels
    # differ enough that swapped ones would show.
    left, right = worst(win, at, 0, ref, 0), worst(win, at, 1, ref, 1)
    apart, loud = worst(ref, 0, 0, ref, 1), min(rms(0), rms(1))
    if left > 2 or right > 2 or apart <= 100 or loud <= 100:
        fail("largest difference left %d, right %d (the reference's channels %d apart, quieter one's rms %.0f)"
             % (left, right, apart, loud))
    print("largest difference left %d, right %d over %.2f s" % (left, right, span / rate))


def check_whole_show():
    """Frames 2722, status 0, the statistics, nothing on stderr but
    start_watched's line: the frames' swaps, then five pictures, each held at
    least its 5, 5, 5, 10 and 5 seconds on the show's own clock (a lower
    bound: a busy machine only sleeps longer; 16 ms for the clock's tick),
    the last until the clock reading that the printed Time comes from."""
    shutil.copy(os.path.join(app, "demomain.xm"), work)
    status, out, err = wine([watched], {"SDL_AUDIODRIVER": "dummy"})
    if status != 0:
        fail("exit status %d: %s" % (status, err[:300]))
    seconds = statistics(out, 2722)
    m = re.fullmatch(r"start_watched: device \d+ Hz, (\d+) swaps, last at (\d+) (\d+) (\d+) (\d+) (\d+) ms, "
                     r"exit at (\d+) ms\n", err)
    if not m:
        fail("stderr is not start_watched's one line: %s" % err[:300])
    swaps, *at = (int(v) for v in m.groups())
    # Frames 1 to 2722, the wall's own swap in the last of them, five pictures.
    if swaps != 2728:
        fail("%d swaps, not the 2722 frames, the wall's and five pictures" % swaps)
    if abs(seconds - at[5] / 1000) > 0.001:
        fail("printed Time %s, but the way out read the clock at %d ms" % (seconds, at[5]))
    held = [at[i + 1] - at[i] for i in range(5)]
    for picture, ms, least in zip(("litelogo", "sidelit", "spider", "zorsmall", "litelogo"), held, (5, 5, 5, 10, 5)):
        if ms < least * 1000 - 16:
            fail("%s held %d ms, not %d s (pictures held %s ms)" % (picture, ms, least, held))
    print("slideshow %.3f s of %s s, pictures held %s ms" % ((at[5] - at[0]) / 1000, seconds, held))


CHECKS = {"zip": check_zip, "play.cmd": check_play_cmd, "whole-show": check_whole_show}
CHECKS.update(dict.fromkeys(MATRIX, check_matrix), **dict.fromkeys(MUSIC, check_music))
CHECKS[case]()
