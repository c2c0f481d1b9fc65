#!/usr/bin/env python3
"""The show's pace with --fps: how long frames 1 to 2722 take.

    bench/pace.py [--reps N] [--size WxH] [--fps N]

Builds show_bench in build-bench/ (as bench/run.py does) and runs it on a
private Xvfb of the given size (640x480 by default), first with --fps N (60
by default), then without, turn about, --reps times (3 by default). The
time is show_bench's own, from the first frame's swap to the slideshow's
first sleep, which comes at the start of frame 2723: at 60 frames a second
2722/60 = 45.37 s. Prints a Markdown table and the machine's state; a
figure, not a test. docs/performance.md records a run.
"""
import argparse
import os
import platform
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run import BUILD, Xvfb, bench_env, build_programs, log, parse_reports, spread  # noqa: E402


def course_seconds(display, fps):
    args = ["--fps", str(fps)] if fps else []
    p = subprocess.run([os.path.join(BUILD, "show_bench")] + args, cwd=BUILD, env=bench_env(display),
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=600)
    if p.returncode != 0:
        raise RuntimeError("show_bench exited with %d: %s" % (p.returncode, p.stderr[-2000:]))
    values, _ = parse_reports(p.stderr)
    if values.get("frames") != 2722:
        raise RuntimeError("show_bench drew %s frames, not 2722" % values.get("frames"))
    return values["frame-seconds"]


def machine():
    load = open("/proc/loadavg").read().split()[:3]
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    return "%s, %d cores, load %s, %s" % (cpu, os.cpu_count(), " ".join(load), platform.platform())


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--reps", type=int, default=3)
    ap.add_argument("--size", default="640x480")
    ap.add_argument("--fps", type=int, default=60)
    ap.add_argument("--no-build", action="store_true", help="use build-bench/ as it is")
    a = ap.parse_args()
    if not a.no_build:
        build_programs()
    paced, unpaced = [], []
    before = machine()
    with Xvfb(a.size) as x:
        for rep in range(a.reps):
            log("pace: run %d of %d" % (rep + 1, a.reps))
            paced.append(course_seconds(x.display, a.fps))
            unpaced.append(course_seconds(x.display, 0))
    after = machine()
    ideal = 2722 / a.fps
    print("| frames 1 to 2722 at %s under Xvfb | seconds | frames a second |" % a.size)
    print("|---|---|---|")
    print("| `--fps %d` | %s | %s |" % (a.fps, spread(paced, "{:.2f}"), spread([2722 / s for s in paced], "{:.2f}")))
    print("| no `--fps` (back to back) | %s | %s |" % (spread(unpaced, "{:.2f}"),
                                                     spread([2722 / s for s in unpaced], "{:.1f}")))
    print()
    print("At %d frames a second the course is 2722/%d = %.2f s; the median paced run is %+.2f %% from it."
          % (a.fps, a.fps, ideal, 100 * (statistics.median(paced) / ideal - 1)))
    print()
    print("Machine before: %s" % before)
    print("Machine after:  %s" % after)


if __name__ == "__main__":
    main()
