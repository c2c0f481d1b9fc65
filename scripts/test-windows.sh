#!/bin/sh
# The Windows tests: builds the Windows edition and its test programs
# (scripts/windows.sh, libraries from its cache), then runs them under Wine on
# a virtual X server (Xvfb, 1280x720), each under a time limit, in one Wine
# prefix that is kept between runs, with its wineserver kept running for
# the whole stage and ended at its end. Prints as its last line
#   windows: N passed, N failed
# and exits non-zero when anything failed.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
. scripts/lib.sh

if [ -z "${CORBANET_WINDOWS_XVFB:-}" ]; then
    ./scripts/windows.sh --tests || { echo "windows: 0 passed, 1 failed"; exit 1; }
    # The host's libopenmpt renders the module that the Windows music is
    # held to (setup.sh installs it).
    ./scripts/setup.sh >/dev/null
    CORBANET_WINDOWS_XVFB=1 on_xvfb "$0" "$@"
    exit
fi

OUT="$ROOT/build-windows"
EXE="$OUT/exe"
WORK="$OUT/test"
rm -rf "$WORK" && mkdir -p "$WORK"
export WINEDEBUG=-all
# No Wine audio drivers unless a test asks for one: the sound cases are then
# the same on every machine (SDL's disk and dummy drivers need none).
NO_AUDIO="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv="
export WINEDLLOVERRIDES="$NO_AUDIO"
wine_prefix
wineserver -p      # stays up between the programs: a warm start is ~0.5 s, not 3-4 s
trap 'wineserver -k 2>/dev/null' EXIT
# Wine's own background processes start with the first program and keep its
# stderr: let that be this one, so that no test's stderr gets their lines.
# A program that crashes must end with a failing status: without Wine's
# debugger attaching itself, an unhandled exception ends the process with
# the exception's code (winedbg would end it with 0).
wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1

passed=0 failed=0
# Messages carry Windows paths: printf, since dash's echo reads the
# backslashes in them as escapes (a path's "\c" would end the message).
ok() { passed=$((passed + 1)); printf 'PASS %s\n' "$1"; }
bad() { failed=$((failed + 1)); printf 'FAIL %s: %s\n' "$1" "$2"; }

# ---- start.exe in the zip imports only Windows' own DLLs.
rm -rf "$WORK/unzip" && mkdir -p "$WORK/unzip"
unzip -q "$OUT/corbanet-demo-windows.zip" -d "$WORK/unzip"
APP="$WORK/unzip/corbanet-demo"
imports=$(x86_64-w64-mingw32-objdump -p "$APP/start.exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
# Every DLL here is part of Windows itself (msvcrt.dll is the system's C
# library); anything else would have to travel with the program.
system_dlls="advapi32.dll gdi32.dll glu32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll
opengl32.dll rpcrt4.dll setupapi.dll shell32.dll user32.dll version.dll winmm.dll"
foreign=""
for dll in $imports; do
    case " $(echo $system_dlls) " in *" $dll "*) ;; *) foreign="$foreign $dll" ;; esac
done
if [ -z "$imports" ]; then bad imports "objdump found no imports"
elif [ -n "$foreign" ]; then bad imports "start.exe needs DLLs Windows lacks:$foreign"
else ok "imports ($(echo $imports))"; fi
for f in start.exe play.cmd demomain.xm README.md LICENSE.txt; do
    [ -s "$APP/$f" ] || bad zip "$f missing from the zip"
done

# ---- start.exe's manifest, icon and version, read back from the file.
mkdir -p "$WORK/resources"
if why=$(python3 src/windows/tests/resources_check.py "$APP/start.exe" "$ROOT" "$OUT/host/icon_maker" "$WORK/resources" 2>&1)
then ok "resources ($why)"; else bad resources "$why"; fi

# ---- play.cmd starts the program beside it at 60 frames a second, from any
# working directory, with the caller's arguments after its own.
if ! tr -d '\r' < "$APP/play.cmd" | grep -qx '"%~dp0start.exe" --fps 60 %\*'; then
    bad play.cmd "it does not start start.exe with --fps 60: $(cat "$APP/play.cmd")"
elif ! out=$(cd "$WORK" && timeout 60 wine cmd /c "$(winepath -w "$APP/play.cmd")" --version 2>&1 | tr -d '\r') \
     || ! printf '%s\n' "$out" | grep -qx 'start (tha corbanet demo) [0-9.]*'; then
    bad play.cmd "play.cmd --version from another folder: $out"
elif ! out=$(cd "$WORK" && timeout 60 wine cmd /c "$(winepath -w "$APP/play.cmd")" --fps 0 2>&1 | tr -d '\r') \
     || ! printf '%s\n' "$out" | grep -q "^start: --fps takes .*, not '0'$"; then
    bad play.cmd "play.cmd --fps 0 did not reach start.exe after its own --fps: $out"
else ok "play.cmd"; fi

# ---- GoogleTest programs.
# gl_calls_test: the course to the last bit, the Windows C library's sine and
# cosine in both the show and the reference. Its check of the Linux library's
# symbols (nm on an ELF archive) has no Windows counterpart and is left out.
for t in pictures_O0_test pictures_O2_test platform_test "gl_calls_test --gtest_filter=-GlCalls.TheLibraryCallsNoOtherGraphicsFunction"; do
    name=${t%% *}
    if (cd "$WORK" && SDL_AUDIODRIVER=dummy timeout 300 wine "$EXE/$name.exe" ${t#$name} >"$WORK/$name.log" 2>&1) &&
        tr -d '\r' < "$WORK/$name.log" | grep -q '^\[  PASSED  \]'; then
        ok "$name ($(tr -d '\r' < "$WORK/$name.log" | grep -c '^\[       OK \]') cases)"
    else bad "$name" "$(tr -d '\r' < "$WORK/$name.log" | grep -B2 -A8 -m3 'Failure\|FAILED' | head -40)"; fi
done

# ---- The course in-process at 640x480 against the Linux reference frames
# (tests/reference): at least 99.5 % of pixels within 8 levels, as on Linux.
mkdir -p "$WORK/frames"
if ! (cd "$WORK/frames" && SDL_AUDIODRIVER=dummy timeout 300 wine "$EXE/frames.exe" . >out.txt 2>err.txt); then
    bad "reference frames" "frames.exe failed: $(tail -3 "$WORK/frames/err.txt")"
elif ! tr -d '\r' < "$WORK/frames/out.txt" | grep -q '^Frames 2722$' || ! tr -d '\r' < "$WORK/frames/out.txt" | grep -q '^exit 0$'; then
    bad "reference frames" "the course did not end with Frames 2722 and exit 0: $(cat "$WORK/frames/out.txt")"
else
    for f in 1000 2250 2400 2600 2722; do
        ffmpeg -v error -y -i "tests/reference/frame$f.png" -vf vflip -f rawvideo -pix_fmt rgb24 "$WORK/frames/ref$f.rgb"
        if why=$(python3 - "$WORK/frames/frame$f.rgb" "$WORK/frames/ref$f.rgb" <<'PY'
import sys
a, b = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
if len(a) != len(b) or len(a) != 640 * 480 * 3:
    sys.exit("sizes %d and %d" % (len(a), len(b)))
over = worst = 0
for i in range(0, len(a), 3):
    d = max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2]))
    worst = max(worst, d)
    over += d > 8
share = over / (640 * 480)
print("%.4f %% over 8, largest %d" % (100 * share, worst))
sys.exit(0 if share < 0.005 else 1)
PY
); then ok "reference frame $f ($why)"; else bad "reference frame $f" "$why"; fi
    done
fi

# ---- start.exe: runs it in directory $1 with the environment in $2 within
# $4 seconds (a limit that only ends a program that hangs); $3 says when
# to press Esc (the program is $PROGRAM, start.exe from the zip unless a
# case says otherwise): "none" (the show runs to its end),
# "frames" (once its frames are seen to run: its window is full screen,
# which it is made just before the first frame) or "music" (once the disk
# driver's file music.raw holds $music_seconds of sound). Esc is then
# pressed again every 0.2 s until the program has ended: a key that comes
# before Wine has given the window the focus is lost, and however fast the
# machine, the presses begin during the frames. Leaves stdout, stderr and
# the status in $WORK/run.*
WIN_TITLE="tha corbanet demo"
music_seconds=4
music_rate=44100
PROGRAM="$APP/start.exe"
# True when the file $1 holds $music_seconds of sound at $music_rate after
# its first.
holds_music() {
    python3 - "$1" "$music_seconds" "$music_rate" <<'PY'
import os, struct, sys
try:
    data = open(sys.argv[1], "rb").read()
except OSError:
    sys.exit(1)
pcm = struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])
first = next((i for i, v in enumerate(pcm) if v != 0), len(pcm))
sys.exit(0 if len(pcm) - first >= float(sys.argv[2]) * int(sys.argv[3]) * 2 else 1)
PY
}
full_screen() {
    geometry=$(xdotool getwindowgeometry "$1" 2>/dev/null | sed -n 's/^ *Geometry: //p')
    [ "$geometry" = "$(xdpyinfo 2>/dev/null | sed -n 's/^ *dimensions: *\([0-9x]*\) pixels.*/\1/p')" ]
}
run_start() {
    dir=$1 envs=$2 esc=$3 limit=$4
    rm -f "$WORK/run.out" "$WORK/run.err"
    # The last run's window must be gone, or its id would be taken for this one's.
    for _ in $(seq 1 100); do
        xdotool search --name "$WIN_TITLE" >/dev/null 2>&1 || break
        sleep 0.1
    done
    (cd "$dir" && exec env $envs timeout "$limit" wine "$PROGRAM" >"$WORK/run.out" 2>"$WORK/run.err") &
    pid=$!
    if [ "$esc" != none ]; then
        # The looks end with the program (its time limit ends a hung one).
        while kill -0 "$pid" 2>/dev/null; do
            win=$(xdotool search --name "$WIN_TITLE" 2>/dev/null | head -1)
            if [ -n "$win" ] && full_screen "$win"; then
                [ "$esc" = frames ] && break
                [ "$esc" = music ] && holds_music "$dir/music.raw" && break
            fi
            sleep 0.1
        done
        while kill -0 "$pid" 2>/dev/null; do
            win=$(xdotool search --name "$WIN_TITLE" 2>/dev/null | head -1)
            [ -n "$win" ] && xdotool windowfocus --sync "$win" key Escape 2>/dev/null
            sleep 0.2
        done
    fi
    wait "$pid"
    echo $? > "$WORK/run.status"
}

# The block at the end of a run: the five lines, the frame count $1 ("any"
# for a run ended by Esc: then 1 to 2721), and Fps the quotient of Frames
# and Time (each printed to 6 digits, so within 2 parts in 100000).
check_block() {
    frames=$(tr -d '\r' < "$WORK/run.out" | sed -n 's/^Frames \([0-9]*\)$/\1/p')
    lines=$(tr -d '\r' < "$WORK/run.out" | grep -c .)
    [ "$(tr -d '\r' < "$WORK/run.out" | head -1)" = "*********************" ] || return 1
    [ "$lines" -eq 5 ] && tr -d '\r' < "$WORK/run.out" | grep -q '^Time   [0-9.]*$' \
        && tr -d '\r' < "$WORK/run.out" | grep -q '^Fps    [0-9.]*$' || return 1
    if [ "$1" = any ]; then [ -n "$frames" ] && [ "$frames" -ge 1 ] && [ "$frames" -lt 2722 ]
    else [ "$frames" = "$1" ]; fi || return 1
    tr -d '\r' < "$WORK/run.out" | awk '/^Time /{t = $2} /^Fps /{f = $2}
        END {q = t > 0 ? '"$frames"' / t : -1; exit !(q > 0 && (f - q) / q <= 2e-5 && (q - f) / q <= 2e-5)}'
}

# name | what the working directory holds (module, none, dir, garbage) |
# environment | the one stderr line ("" for none)
matrix() {
    cat <<'TABLE'
esc|module|SDL_AUDIODRIVER=dummy|
no-module|none|SDL_AUDIODRIVER=dummy|start: music off: demomain.xm: No such file or directory
directory|dir|SDL_AUDIODRIVER=dummy|start: music off: demomain.xm: Is a directory
garbage|garbage|SDL_AUDIODRIVER=dummy|start: music off: demomain.xm: not a module that can be played
no-device|module|SDL_AUDIODRIVER=wasapi|start: music off: audio: 
TABLE
}
matrix | while IFS='|' read -r name holds envs line; do
    d="$WORK/case-$name"
    mkdir -p "$d"
    case "$holds" in
        module) cp "$APP/demomain.xm" "$d/" ;;
        dir) mkdir "$d/demomain.xm" ;;
        garbage) head -c 65536 "$APP/start.exe" > "$d/demomain.xm" ;;
    esac
    run_start "$d" "$envs" frames 600
    status=$(cat "$WORK/run.status")
    errs=$(tr -d '\r' < "$WORK/run.err")
    why=""
    [ "$status" = 0 ] || why="exit status $status"
    check_block any || why="$why; no statistics block: $(head -c 300 "$WORK/run.out")"
    if [ -z "$line" ]; then
        [ -z "$errs" ] || why="$why; stderr: $errs"
    else
        [ "$(printf '%s\n' "$errs" | grep -c .)" = 1 ] && case "$errs" in "$line"*) true ;; *) false ;; esac \
            || why="$why; stderr is not one line starting '$line': $errs"
    fi
    if [ -z "$why" ]; then printf 'PASS start-%s (%s)\n' "$name" "$errs"; else printf 'FAIL start-%s: %s\n' "$name" "$why"; fi
done > "$WORK/matrix.log"
cat "$WORK/matrix.log"
passed=$((passed + $(grep -c '^PASS' "$WORK/matrix.log")))
failed=$((failed + $(grep -c '^FAIL' "$WORK/matrix.log")))

# ---- The music through SDL's disk driver, channel by channel, against
# libopenmpt's own render of the module on the host at the device's rate:
# sample for sample, within the dither's 2 units. At 44.1 kHz, what the show
# asks for, with the zip's start.exe; at 48 kHz, Windows' usual mix rate,
# with start_watched.exe, whose device runs at the rate it is given.
# rate | program | extra environment
music_cases() {
    cat <<TABLE
44100|$APP/start.exe|
48000|$EXE/start_watched.exe|DEMO_DEVICE_RATE=48000
TABLE
}
music_cases > "$WORK/music.cases"
while IFS='|' read -r music_rate PROGRAM extra; do
    name="music-$music_rate"
    d="$WORK/case-$name"
    mkdir -p "$d" && cp "$APP/demomain.xm" "$d/"
    run_start "$d" "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=music.raw $extra" music 600 </dev/null
    # SDL's disk driver announces itself in two lines, start_watched.exe
    # says which rate its device ran at; nothing else may come.
    tr -d '\r' < "$WORK/run.err" | grep -v -x -e 'CRITICAL: You are using the SDL disk i/o audio driver!' \
        -e 'CRITICAL:  Writing to file \[music.raw\].' -e 'start_watched: device [0-9]* Hz, .*' > "$WORK/run.err.rest"
    if [ "$(cat "$WORK/run.status")" != 0 ] || ! check_block any || [ -s "$WORK/run.err.rest" ]; then
        bad "$name" "the run with the disk driver failed: status $(cat "$WORK/run.status"), $(cat "$WORK/run.out" "$WORK/run.err.rest")"
    elif [ -n "$extra" ] && ! tr -d '\r' < "$WORK/run.err" | grep -q "^start_watched: device $music_rate Hz, "; then
        bad "$name" "the device did not run at $music_rate Hz: $(tr -d '\r' < "$WORK/run.err" | grep '^start_watched')"
    elif why=$(python3 - "$d/music.raw" "$APP/demomain.xm" "$music_rate" "$music_seconds" 2>&1 <<'PY'
import ctypes, struct, sys
rate, seconds = int(sys.argv[3]), float(sys.argv[4])
data = open(sys.argv[1], "rb").read()
win = struct.unpack("<%dh" % (len(data) // 4 * 2), data[: len(data) // 4 * 4])
# libopenmpt's render as it comes, from the start, repeating forever.
mpt = ctypes.CDLL("libopenmpt.so.0")
mpt.openmpt_module_create_from_memory2.restype = ctypes.c_void_p
mpt.openmpt_module_create_from_memory2.argtypes = [ctypes.c_char_p, ctypes.c_size_t] + [ctypes.c_void_p] * 7
mpt.openmpt_module_set_repeat_count.argtypes = [ctypes.c_void_p, ctypes.c_int32]
mpt.openmpt_module_read_interleaved_stereo.restype = ctypes.c_size_t
mpt.openmpt_module_read_interleaved_stereo.argtypes = [ctypes.c_void_p, ctypes.c_int32, ctypes.c_size_t, ctypes.c_void_p]
mpt.openmpt_module_destroy.argtypes = [ctypes.c_void_p]
xm = open(sys.argv[2], "rb").read()
mod = mpt.openmpt_module_create_from_memory2(xm, len(xm), None, None, None, None, None, None, None)
if not mod:
    sys.exit("libopenmpt did not load the module")
mpt.openmpt_module_set_repeat_count(mod, -1)
buf = (ctypes.c_int16 * 2048)()
ref = []
while len(ref) < len(win):
    n = mpt.openmpt_module_read_interleaved_stereo(mod, rate, 1024, buf)
    if n == 0:
        break
    ref.extend(buf[: 2 * n])
mpt.openmpt_module_destroy(mod)
# Lined up where both first sound clearly (over 100: the first quiet
# samples may be dither in one and zero in the other).
def first_loud(pcm):
    return next((i for i, v in enumerate(pcm) if abs(v) > 100), len(pcm)) // 2
wl, rl = first_loud(win), first_loud(ref)
if wl >= len(win) // 2 or wl < rl:
    sys.exit("start.exe's sound never starts as the module does")
at = wl - rl
span = min(len(win) // 2 - at, len(ref) // 2)
if span < (seconds - 0.5) * rate:
    sys.exit("only %.2f s of the module from start.exe" % (span / rate))
def worst(a, ai, ac, b, bc):
    return max(abs(a[(ai + i) * 2 + ac] - b[i * 2 + bc]) for i in range(span))
def rms(c):
    return (sum(ref[i * 2 + c] ** 2 for i in range(span)) / span) ** 0.5
left, right = worst(win, at, 0, ref, 0), worst(win, at, 1, ref, 1)
apart, loud = worst(ref, 0, 0, ref, 1), min(rms(0), rms(1))
if left > 2 or right > 2 or apart <= 100 or loud <= 100:
    sys.exit("largest difference left %d, right %d (the reference's channels %d apart, quieter one's rms %.0f)"
             % (left, right, apart, loud))
print("largest difference left %d, right %d over %.2f s" % (left, right, span / rate))
PY
); then ok "$name ($why)"
    else bad "$name" "$why"; fi
done < "$WORK/music.cases"
PROGRAM="$APP/start.exe"
music_rate=44100

# ---- The whole show, uninterrupted, with start_watched.exe: "Frames 2722",
# status 0, Fps as Frames over Time, nothing on stderr but its line; the
# frames' swaps, then five pictures, each held at least its 5, 5, 5, 10 and
# 5 seconds on the show's own clock (a lower bound: a busy machine only
# sleeps longer; 16 ms for the clock's tick), the last until the clock
# reading that the printed Time comes from.
d="$WORK/case-whole"
mkdir -p "$d" && cp "$APP/demomain.xm" "$d/"
PROGRAM="$EXE/start_watched.exe"
run_start "$d" "SDL_AUDIODRIVER=dummy" none 900
PROGRAM="$APP/start.exe"
watched=$(tr -d '\r' < "$WORK/run.err")
time=$(tr -d '\r' < "$WORK/run.out" | sed -n 's/^Time *//p')
if [ "$(cat "$WORK/run.status")" != 0 ] || ! check_block 2722; then
    bad "whole show" "status $(cat "$WORK/run.status"); $(head -c 300 "$WORK/run.out"); $(head -c 300 "$WORK/run.err")"
elif why=$(python3 - "$watched" "$time" 2>&1 <<'PY'
import re, sys
m = re.fullmatch(r"start_watched: device \d+ Hz, (\d+) swaps, last at (\d+) (\d+) (\d+) (\d+) (\d+) ms, exit at (\d+) ms",
                 sys.argv[1])
if not m:
    sys.exit("stderr is not start_watched's one line: %s" % sys.argv[1][:300])
swaps, *at = (int(v) for v in m.groups())
# Frames 1 to 2722, the wall's own swap in the last of them, five pictures.
if swaps != 2728:
    sys.exit("%d swaps, not the 2722 frames, the wall's and five pictures" % swaps)
if abs(float(sys.argv[2]) - at[5] / 1000) > 0.001:
    sys.exit("printed Time %s, but the way out read the clock at %d ms" % (sys.argv[2], at[5]))
held = [at[i + 1] - at[i] for i in range(5)]
for picture, ms, seconds in zip(("litelogo", "sidelit", "spider", "zorsmall", "litelogo"), held, (5, 5, 5, 10, 5)):
    if ms < seconds * 1000 - 16:
        sys.exit("%s held %d ms, not %d s (pictures held %s ms)" % (picture, ms, seconds, held))
print("slideshow %.3f s of %s s, pictures held %s ms" % ((at[5] - at[0]) / 1000, sys.argv[2], held))
PY
); then ok "whole show ($why)"
else bad "whole show" "$why"; fi

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
