#!/usr/bin/env python3
"""Benchmarks of the show: frame rate against the clear-and-swap floor,
start-up, memory, the audio thread, the recorder and the build.

    bench/run.py [--reps N] [--capture-reps N] [--build-reps N] [--no-profile]

Builds its programs in build-bench/ and prints Markdown tables on standard
output (progress on stderr). Every figure is measured --reps times, side by
side in one run, and shown as median (min-max): the machine may be shared.
Needs Xvfb and Mesa; perf for the profile. docs/performance.md records a run.
"""
import argparse
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
SIZES = ["1280x720", "1920x1080"]
COURSE_FRAMES = 2722
WATCHED_SECONDS = COURSE_FRAMES / 60 + 30      # the show at 60 frames a second, then its pictures


def log(text):
    print(text, file=sys.stderr, flush=True)


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


class Xvfb:
    """A private X server of the given size; picks its own display number."""

    def __init__(self, size):
        self.size = size

    def __enter__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", self.size + "x24", "-nolisten", "tcp"],
            pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            self.display = ":" + f.readline().strip()
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait()


def bench_env(display=None, **extra):
    env = dict(os.environ)
    if display:
        env["DISPLAY"] = display
    # Mesa's software renderer, and a sound device that plays in real time
    # without hardware: SDL's disk driver waits a buffer's duration per buffer.
    env["LIBGL_ALWAYS_SOFTWARE"] = "1"
    env["SDL_AUDIODRIVER"] = "disk"
    env["SDL_DISKAUDIOFILE"] = "/dev/null"
    env.update(extra)
    return env


def parse_reports(text):
    """The "bench: key value" lines, as {key: value}, thread shares apart."""
    values, threads = {}, {}
    for line in text.splitlines():
        if not line.startswith("bench: "):
            continue
        parts = line.split()
        if parts[1] == "thread-share":
            threads[parts[2]] = float(parts[3])
        elif parts[1] == "renderer":
            values["renderer"] = line.split(" ", 2)[2]
        else:
            values[parts[1]] = float(parts[2])
    return values, threads


def run_program(name, display, cwd=BUILD, **extra):
    started = time.monotonic()
    p = subprocess.run([os.path.join(BUILD, name)], cwd=cwd, env=bench_env(display, **extra),
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=600)
    if p.returncode != 0:
        raise RuntimeError(f"{name} exited with {p.returncode}: {p.stderr[-2000:]}")
    values, threads = parse_reports(p.stderr)
    values["started"] = started
    return values, threads


def spread(values, fmt="{:.1f}"):
    if not values:
        return "not measured"
    if len(values) == 1:
        return fmt.format(values[0]) + " (1 run)"
    return "{} ({}–{})".format(fmt.format(statistics.median(values)), fmt.format(min(values)),
                               fmt.format(max(values)))


def build_programs():
    log("bench: building the programs in build-bench/")
    run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DBUILD_TESTING=OFF"],
        stdout=subprocess.DEVNULL)
    targets = ["start", "show_bench", "floor_bench"]
    run(["cmake", "--build", BUILD, "-j2", "--target"] + targets, stdout=subprocess.DEVNULL)
    # The recorder, where this tree has it.
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", "capture"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def measure_frames(reps):
    """Show and floor, one after the other on the same server, rep by rep."""
    rows = {size: {"show": [], "floor": [], "audio": [], "threads": [], "rss": [], "floor_rss": []}
            for size in SIZES}
    rows["renderer"] = "unknown"
    for rep in range(reps):
        for size in SIZES:
            with Xvfb(size) as x:
                log(f"bench: frames, run {rep + 1}/{reps}, {size}")
                floor, _ = run_program("floor_bench", x.display)
                show, threads = run_program("show_bench", x.display)
            r = rows[size]
            r["floor"].append((floor["frames"] - 1) / floor["frame-seconds"])
            r["show"].append((show["frames"] - 1) / show["frame-seconds"])
            r["audio"].append(show)
            r["threads"].append(threads)
            r["rss"].append(show["peak-rss-mib"])
            r["floor_rss"].append(floor["peak-rss-mib"])
            rows["renderer"] = floor.get("renderer", "unknown")
    return rows


def hostile_module(path):
    """The show's module claiming 256 patterns of 256 rows, all in its order
    list: the costliest bad module the hardening tests feed the show."""
    with open(os.path.join(BUILD, "demomain.xm"), "rb") as f:
        m = bytearray(f.read())
    u16 = lambda at: m[at] | m[at + 1] << 8
    u32 = lambda at: u16(at) | u16(at + 2) << 16
    p = 60 + u32(60)
    for _ in range(u16(70)):
        m[p + 5:p + 7] = (256).to_bytes(2, "little")
        p += u32(p) + u16(p + 7)
    m[64:66] = m[70:72] = (256).to_bytes(2, "little")
    m[80:336] = bytes(range(256))
    with open(path, "wb") as f:
        f.write(m)


def measure_first_frame(reps):
    """Exec to first frame with the show's module and with a hostile one."""
    times = {"own": [], "hostile": []}
    with Xvfb(SIZES[0]) as x, tempfile.TemporaryDirectory() as tmp:
        hostile_module(os.path.join(tmp, "demomain.xm"))
        for rep in range(reps):
            for kind, cwd in (("own", BUILD), ("hostile", tmp)):
                values, _ = run_program("show_bench", x.display, cwd=cwd, BENCH_FIRST_FRAME_ONLY="1")
                times[kind].append((values["first-frame"] - values["started"]) * 1000)
    return times


def measure_capture(reps):
    program = os.path.join(BUILD, "capture")
    if not os.path.exists(program):
        return None
    rows = {size: {"seconds": [], "mib": []} for size in SIZES}
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "show.mp4")
        for rep in range(reps):
            for size in SIZES:
                log(f"bench: capture, run {rep + 1}/{reps}, {size}")
                started = time.monotonic()
                run([program, "-q", "-o", out, "--size", size, "--fps", "60"], cwd=BUILD,
                    env=bench_env(), stdout=subprocess.DEVNULL)
                rows[size]["seconds"].append(time.monotonic() - started)
                rows[size]["mib"].append(os.path.getsize(out) / 2**20)
    return rows


def measure_build(reps):
    """The show (`start`) built from a clean tree of the last commit, then
    rebuilt after one picture is touched."""
    clean, touched = [], []
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "src")
        os.mkdir(src)
        archive = subprocess.Popen(["git", "-C", ROOT, "archive", "HEAD"], stdout=subprocess.PIPE)
        run(["tar", "-x", "-C", src], stdin=archive.stdout)
        archive.wait()
        for rep in range(reps):
            log(f"bench: build, run {rep + 1}/{reps}")
            build = os.path.join(tmp, "build")
            shutil.rmtree(build, ignore_errors=True)
            started = time.monotonic()
            run(["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], stdout=subprocess.DEVNULL)
            run(["cmake", "--build", build, "-j2", "--target", "start"], stdout=subprocess.DEVNULL)
            clean.append(time.monotonic() - started)
            os.utime(os.path.join(src, "assets", "spider.png"))
            started = time.monotonic()
            run(["cmake", "--build", build, "-j2", "--target", "start"], stdout=subprocess.DEVNULL)
            touched.append(time.monotonic() - started)
    return clean, touched


def perf_works():
    if not shutil.which("perf"):
        return False
    p = subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-o", "/dev/null", "true"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return p.returncode == 0


def perf_table(data, sort, limit, *extra, least=0.05):
    """(share %, name) rows of perf report sorted by `sort`, top `limit`;
    shares are of every sample taken, whatever `extra` filters out."""
    p = subprocess.run(["perf", "report", "-i", data, "--stdio", "--sort", sort, "--percentage", "absolute",
                        "--percent-limit", str(least)] + list(extra),
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    rows = []
    for line in p.stdout.splitlines():
        m = re.match(r"\s*([\d.]+)%\s+(.*\S)", line)
        if m:
            rows.append((float(m.group(1)), re.sub(r"\s+", " ", m.group(2))))
    return rows[:limit]


def profile(size):
    """Where a frame's time goes: the show and its X server, sampled whole."""
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name in ["floor_bench", "show_bench"]:
            data = os.path.join(tmp, name + ".data")
            script = ('d=$(mktemp -d); mkfifo "$d/f"; '
                      f'Xvfb -displayfd 3 -screen 0 {size}x24 -nolisten tcp 3>"$d/f" 2>/dev/null & x=$!; '
                      'read n <"$d/f"; DISPLAY=":$n" "$0"; s=$?; kill $x; wait $x; rm -rf "$d"; exit $s')
            log(f"bench: profiling {name} at {size}")
            run(["perf", "record", "-q", "-F", "999", "-e", "cpu-clock", "-o", data, "--",
                 "sh", "-c", script, os.path.join(BUILD, name)],
                cwd=BUILD, env=bench_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            results[name] = {
                "dso": perf_table(data, "dso", 12),
                "thread": perf_table(data, "comm", 8),
                # Our own code: what the show's program itself holds.
                "ours": perf_table(data, "sym", 8, "--dsos", name, least=0.005),
                "ours_total": sum(r[0] for r in perf_table(data, "dso", 1, "--dsos", name, least=0)),
                "glu": [r for r in perf_table(data, "dso,sym", 400) if re.match(r"lib(GLU|glut)\.", r[1])][:6],
            }
    return results


def machine(renderer):
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    distro = "Linux"
    if os.path.exists("/etc/os-release"):
        with open("/etc/os-release") as f:
            m = re.search(r'PRETTY_NAME="([^"]*)"', f.read())
            distro = m.group(1) if m else distro
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return f"{distro}, {os.cpu_count()} cores ({cpu}), {mem:.0f} GiB, kernel {platform.release()}; renderer: {renderer}"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--reps", type=int, default=5, help="runs of each frame and start-up figure (5)")
    ap.add_argument("--capture-reps", type=int, default=2, help="recordings at each size (2; 0 skips)")
    ap.add_argument("--build-reps", type=int, default=2, help="clean builds and rebuilds (2; 0 skips)")
    ap.add_argument("--no-profile", action="store_true", help="skip the perf profile")
    args = ap.parse_args()

    began = time.monotonic()
    build_programs()
    frames = measure_frames(args.reps)
    first = measure_first_frame(args.reps)
    capture = measure_capture(args.capture_reps) if args.capture_reps > 0 else None
    build = measure_build(args.build_reps) if args.build_reps > 0 else None
    prof = profile(SIZES[0]) if not args.no_profile and perf_works() else None

    print(f"Machine: {machine(frames['renderer'])}")
    # Other work on the machine shows in the spread; the load says how much there was.
    load = os.getloadavg()
    print(f"Runs: {args.reps} of each frame figure; took {(time.monotonic() - began) / 60:.1f} minutes; "
          f"load average at the end {load[0]:.1f} / {load[1]:.1f} / {load[2]:.1f} (1, 5, 15 min)\n")

    print("| frames a second over the course (2722 frames) | show | floor: clear + swap | show's ms a frame above the floor |")
    print("|---|---|---|---|")
    for size in SIZES:
        r = frames[size]
        above = [1000 / s - 1000 / f for s, f in zip(r["show"], r["floor"])]
        print(f"| {size} | {spread(r['show'])} | {spread(r['floor'])} | {spread(above, '{:.2f}')} |")

    print("\n| start-up and memory | median (min–max) |")
    print("|---|---|")
    print(f"| exec to first frame presented, 1280x720 (ms) | {spread(first['own'], '{:.0f}')} |")
    print(f"| the same with a module of 256 patterns of 256 rows (ms) | {spread(first['hostile'], '{:.0f}')} |")
    for size in SIZES:
        print(f"| peak resident memory, show, {size} (MiB) | {spread(frames[size]['rss'])} |")
        print(f"| peak resident memory, floor, {size} (MiB) | {spread(frames[size]['floor_rss'])} |")

    print("\n| CPU while the frames run flat out (share of one core) | " + " | ".join(SIZES) + " |")
    print("|---|" + "---|" * len(SIZES))
    names = sorted({n for size in SIZES for t in frames[size]["threads"] for n in t})
    for name in names:
        cells = [spread([t.get(name, 0.0) * 100 for t in frames[size]["threads"]], "{:.1f}%") for size in SIZES]
        if any(not c.startswith("0.0%") for c in cells):
            label = {"show_bench": "main thread (frames)", "llvmpipe": "Mesa llvmpipe workers (all)",
                     "SDLAudioP2": "SDL audio thread (music)"}.get(name, name)
            print(f"| {label} | " + " | ".join(cells) + " |")

    print("\n| audio callback (1024-frame buffers) | " + " | ".join(SIZES) + " |")
    print("|---|" + "---|" * len(SIZES))
    a = {size: frames[size]["audio"] for size in SIZES}
    block = a[SIZES[0]][0]["audio-block-seconds"] * 1000
    print(f"| buffer duration (ms) | " + " | ".join(f"{block:.1f}" for _ in SIZES) + " |")
    for key, label in [("audio-render-median", "render time, median block (ms)"),
                       ("audio-render-p99", "render time, 99th percentile block (ms)"),
                       ("audio-render-max", "render time, worst block (ms)")]:
        print(f"| {label} | " + " | ".join(spread([v[key] * 1000 for v in a[s]], "{:.2f}") for s in SIZES) + " |")
    print(f"| blocks rendered / later than their duration | " +
          " | ".join(f"{int(statistics.median([v['audio-blocks'] for v in a[s]]))} / "
                     f"{int(sum(v['audio-late'] for v in a[s]))}" for s in SIZES) + " |")

    print(f"\n| capture, whole show at 60 frames a second | seconds | ratio to {WATCHED_SECONDS:.2f} s watched | file (MiB) |")
    print("|---|---|---|---|")
    for size in SIZES:
        if capture is None:
            print(f"| {size} | not measured | not measured | not measured |")
        else:
            c = capture[size]
            print(f"| {size} | {spread(c['seconds'])} | {spread([s / WATCHED_SECONDS for s in c['seconds']], '{:.2f}')} "
                  f"| {spread(c['mib'])} |")

    print("\n| build of the show (`start`), -j2 | seconds |")
    print("|---|---|")
    if build:
        print(f"| clean: configure and build | {spread(build[0])} |")
        print(f"| rebuild after touching assets/spider.png | {spread(build[1])} |")
    else:
        print("| clean | not measured |\n| one picture touched | not measured |")

    if prof:
        print(f"\nProfile at {SIZES[0]}, CPU samples of the program, its threads and its X server (perf, cpu-clock):")
        for name in ["floor_bench", "show_bench"]:
            print(f"\n| {name}: by thread | share |\n|---|---|")
            for share, what in prof[name]["thread"]:
                print(f"| {what} | {share:.1f}% |")
            print(f"\n| {name}: by library | share |\n|---|---|")
            for share, what in prof[name]["dso"]:
                print(f"| {what} | {share:.1f}% |")
        print(f"\n| show_bench: functions of the program itself (the show's code, {prof['show_bench']['ours_total']:.2f}% in all) | share |\n|---|---|")
        for share, what in prof["show_bench"]["ours"] or [(0.0, "none sampled")]:
            print(f"| {what} | {share:.2f}% |")
        print(f"\n| show_bench: GLU and GLUT functions | share |\n|---|---|")
        for share, what in prof["show_bench"]["glu"] or [(0.0, "none sampled")]:
            print(f"| {what} | {share:.2f}% |")
    else:
        print("\nprofile: not taken (perf missing or not permitted, or --no-profile)")


if __name__ == "__main__":
    main()
