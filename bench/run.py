#!/usr/bin/env python3
"""Benchmarks of the show: frame rate against the clear-and-swap floor,
start-up, memory, the audio thread, the recorder and the build.

    bench/run.py [--reps N] [--capture-reps N] [--build-reps N] [--no-profile]

Builds its programs in build-bench/ and prints Markdown tables on standard
output (progress on stderr). Every figure is measured --reps times, side by
side in one run, and shown as median (min-max): the machine may be shared.
A count of 0 leaves its figures out. Needs Xvfb and Mesa; perf for the
profile. docs/performance.md records a run.
"""
import argparse
import contextlib
import os
import platform
import re
import resource
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


@contextlib.contextmanager
def xvfb(size):
    """A private X server of the given size, as its display's name; it picks
    its own number."""
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", size + "x24", "-nolisten", "tcp"],
                            pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    try:
        with os.fdopen(r) as f:
            yield ":" + f.readline().strip()
    finally:
        proc.terminate()
        proc.wait()


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


def show_bench(display, *args, cwd=BUILD, **extra):
    """One run of show_bench (the floor with BENCH_FLOOR="1"): its reports,
    with the moment it was started, and its threads' shares."""
    started = time.monotonic()
    p = subprocess.run([os.path.join(BUILD, "show_bench"), *args], cwd=cwd, env=bench_env(display, **extra),
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=600)
    if p.returncode != 0:
        raise RuntimeError(f"show_bench exited with {p.returncode}: {p.stderr[-2000:]}")
    values, threads = parse_reports(p.stderr)
    values["started"] = started
    return values, threads


def frame_rate(values):
    """Frames a second over the course, counted from the end of frame 1."""
    return (values["frames"] - 1) / values["frame-seconds"]


def spread(values, fmt="{:.1f}"):
    if not values:
        return "not measured"
    if len(values) == 1:
        return fmt.format(values[0]) + " (1 run)"
    return "{} ({}–{})".format(fmt.format(statistics.median(values)), fmt.format(min(values)),
                               fmt.format(max(values)))


def table(*head):
    """A Markdown table's head, after a blank line; row() gives its rows."""
    print("\n| " + " | ".join(head) + " |\n" + "|---" * len(head) + "|")


def row(*cells):
    print("| " + " | ".join(cells) + " |")


def machine():
    with open("/proc/cpuinfo") as f:
        cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), "unknown CPU")
    distro = platform.freedesktop_os_release().get("PRETTY_NAME", "Linux")
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return f"{distro}, {os.cpu_count()} cores ({cpu}), {mem:.0f} GiB, kernel {platform.release()}"


def load():
    # Other work on the machine shows in the spread; the load says how much there was.
    return "load average {:.1f} / {:.1f} / {:.1f} (1, 5, 15 min)".format(*os.getloadavg())


def build_programs():
    log("bench: building the programs in build-bench/")
    run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DBUILD_TESTING=OFF"],
        stdout=subprocess.DEVNULL)
    run(["cmake", "--build", BUILD, "-j2", "--target", "start", "show_bench", "capture"], stdout=subprocess.DEVNULL)


def measure_frames(reps):
    """Show and floor, one after the other on the same server, rep by rep."""
    rows = {size: {"show": [], "floor": [], "audio": [], "threads": [], "rss": [], "floor_rss": []}
            for size in SIZES}
    rows["renderer"] = "unknown"
    for rep in range(reps):
        for size in SIZES:
            with xvfb(size) as display:
                log(f"bench: frames, run {rep + 1}/{reps}, {size}")
                floor, _ = show_bench(display, BENCH_FLOOR="1")
                show, threads = show_bench(display)
            r = rows[size]
            r["floor"].append(frame_rate(floor))
            r["show"].append(frame_rate(show))
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
    with xvfb(SIZES[0]) as display, tempfile.TemporaryDirectory() as tmp:
        hostile_module(os.path.join(tmp, "demomain.xm"))
        for rep in range(reps):
            for kind, cwd in (("own", BUILD), ("hostile", tmp)):
                values, _ = show_bench(display, cwd=cwd, BENCH_FIRST_FRAME_ONLY="1")
                times[kind].append((values["first-frame"] - values["started"]) * 1000)
    return times


def cpu_of_children():
    """Processor seconds of the child processes waited for so far."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def measure_capture(reps):
    rows = {size: {"seconds": [], "cpu": [], "mib": []} for size in SIZES}
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "show.mp4")
        for rep in range(reps):
            for size in SIZES:
                log(f"bench: capture, run {rep + 1}/{reps}, {size}")
                started, cpu = time.monotonic(), cpu_of_children()
                run([os.path.join(BUILD, "capture"), "-q", "-o", out, "--size", size, "--fps", "60"], cwd=BUILD,
                    env=bench_env(), stdout=subprocess.DEVNULL)
                rows[size]["seconds"].append(time.monotonic() - started)
                rows[size]["cpu"].append(cpu_of_children() - cpu)      # its X server's too
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
    """Where a frame's time goes: the floor's and the show's samples, of the
    program, its threads and its X server, recorded whole; printed as they come."""
    print(f"\nProfile at {size}, CPU samples of the program, its threads and its X server (perf, cpu-clock):")
    script = ('d=$(mktemp -d); mkfifo "$d/f"; '
              f'Xvfb -displayfd 3 -screen 0 {size}x24 -nolisten tcp 3>"$d/f" 2>/dev/null & x=$!; '
              'read n <"$d/f"; DISPLAY=":$n" "$0"; s=$?; kill $x; wait $x; rm -rf "$d"; exit $s')
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, "perf.data")
        for name, floor in [("floor", "1"), ("show_bench", "0")]:
            log(f"bench: profiling the {name} at {size}")
            run(["perf", "record", "-q", "-F", "999", "-e", "cpu-clock", "-o", data, "--",
                 "sh", "-c", script, os.path.join(BUILD, "show_bench")],
                cwd=BUILD, env=bench_env(BENCH_FLOOR=floor), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for sort, by, limit in [("comm", "by thread", 8), ("dso", "by library", 12)]:
                table(f"{name}: {by}", "share")
                for share, what in perf_table(data, sort, limit):
                    row(what, f"{share:.1f}%")
        # The show's, recorded last: our own code, what the show's program
        # itself holds, and the GL utility libraries'.
        ours = sum(r[0] for r in perf_table(data, "dso", 1, "--dsos", "show_bench", least=0))
        for head, rows in [
                (f"functions of the program itself (the show's code, {ours:.2f}% in all)",
                 perf_table(data, "sym", 8, "--dsos", "show_bench", least=0.005)),
                ("GLU and GLUT functions",
                 [r for r in perf_table(data, "dso,sym", 400) if re.match(r"lib(GLU|glut)\.", r[1])][:6])]:
            table("show_bench: " + head, "share")
            for share, what in rows or [(0.0, "none sampled")]:
                row(what, f"{share:.2f}%")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--reps", type=int, default=5, help="runs of each frame and start-up figure (5; 0 skips)")
    ap.add_argument("--capture-reps", type=int, default=2, help="recordings at each size (2; 0 skips)")
    ap.add_argument("--build-reps", type=int, default=2, help="clean builds and rebuilds (2; 0 skips)")
    ap.add_argument("--no-profile", action="store_true", help="skip the perf profile")
    args = ap.parse_args()

    began = time.monotonic()
    build_programs()
    frames = measure_frames(args.reps)
    first = measure_first_frame(args.reps)
    capture = measure_capture(args.capture_reps)
    build = measure_build(args.build_reps)

    print(f"Machine: {machine()}; renderer: {frames['renderer']}")
    print(f"Runs: {args.reps} of each frame figure; took {(time.monotonic() - began) / 60:.1f} minutes; "
          f"at the end, {load()}")

    table("frames a second over the course (2722 frames)", "show", "floor: clear + swap",
          "show's ms a frame above the floor")
    for size in SIZES:
        r = frames[size]
        above = [1000 / s - 1000 / f for s, f in zip(r["show"], r["floor"])]
        row(size, spread(r["show"]), spread(r["floor"]), spread(above, "{:.2f}"))

    table("start-up and memory", "median (min–max)")
    row("exec to first frame presented, 1280x720 (ms)", spread(first["own"], "{:.0f}"))
    row("the same with a module of 256 patterns of 256 rows (ms)", spread(first["hostile"], "{:.0f}"))
    for size in SIZES:
        row(f"peak resident memory, show, {size} (MiB)", spread(frames[size]["rss"]))
        row(f"peak resident memory, floor, {size} (MiB)", spread(frames[size]["floor_rss"]))

    table("CPU while the frames run flat out (share of one core)", *SIZES)
    names = sorted({n for size in SIZES for t in frames[size]["threads"] for n in t})
    for name in names:
        cells = [spread([t.get(name, 0.0) * 100 for t in frames[size]["threads"]], "{:.1f}%") for size in SIZES]
        if any(not c.startswith("0.0%") for c in cells):
            label = {"show_bench": "main thread (frames)", "llvmpipe": "Mesa llvmpipe workers (all)",
                     "SDLAudioP2": "SDL audio thread (music)"}.get(name, name)
            row(label, *cells)

    table("audio callback (1024-frame buffers)", *SIZES)
    a = {size: frames[size]["audio"] for size in SIZES}
    if args.reps:
        row("buffer duration (ms)", *(f"{a[s][0]['audio-block-seconds'] * 1000:.1f}" for s in SIZES))
    for key, label in [("audio-render-median", "render time, median block (ms)"),
                       ("audio-render-p99", "render time, 99th percentile block (ms)"),
                       ("audio-render-max", "render time, worst block (ms)")]:
        row(label, *(spread([v[key] * 1000 for v in a[s]], "{:.2f}") for s in SIZES))
    if args.reps:
        row("blocks rendered / later than their duration", *(f"{int(statistics.median(v['audio-blocks'] for v in a[s]))} / "
                                                             f"{int(sum(v['audio-late'] for v in a[s]))}" for s in SIZES))

    table("capture, whole show at 60 frames a second", "seconds", f"ratio to {WATCHED_SECONDS:.2f} s watched",
          "CPU s", "file (MiB)")
    for size in SIZES:
        c = capture[size]
        row(size, spread(c["seconds"]), spread([s / WATCHED_SECONDS for s in c["seconds"]], "{:.2f}"),
            spread(c["cpu"]), spread(c["mib"]))

    table("build of the show (`start`), -j2", "seconds")
    row("clean: configure and build", spread(build[0]))
    row("rebuild after touching assets/spider.png", spread(build[1]))

    if not args.no_profile and perf_works():
        profile(SIZES[0])
    else:
        print("\nprofile: not taken (perf missing or not permitted, or --no-profile)")


if __name__ == "__main__":
    main()
