#!/usr/bin/env python3
"""The show's pace with --fps: how long frames 1 to 2722 take.

    bench/pace.py [--reps N] [--size WxH] [--fps N] [--no-build]

Builds show_bench in build-bench/ (as bench/run.py does) and runs it on a
private Xvfb of the given size (640x480 by default), first with --fps N (60
by default), then without, turn about, --reps times (3 by default). The
time is show_bench's own, from the first frame's swap to the slideshow's
first sleep, which comes at the start of frame 2723: at 60 frames a second
2722/60 = 45.37 s. Prints a Markdown table and the machine's state; a
figure, not a test. docs/performance.md records a run.
"""
import argparse
import statistics

from run import COURSE_FRAMES, xvfb, build_programs, load, log, machine, row, show_bench, spread, table


def course_seconds(display, *args):
    values, _ = show_bench(display, *args)
    if values.get("frames") != COURSE_FRAMES:
        raise RuntimeError(f"show_bench drew {values.get('frames')} frames, not {COURSE_FRAMES}")
    return values["frame-seconds"]


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
    before = load()
    with xvfb(a.size) as display:
        for rep in range(a.reps):
            log(f"pace: run {rep + 1} of {a.reps}")
            paced.append(course_seconds(display, "--fps", str(a.fps)))
            unpaced.append(course_seconds(display))
    ideal = COURSE_FRAMES / a.fps
    table(f"frames 1 to {COURSE_FRAMES} at {a.size} under Xvfb", "seconds", "frames a second")
    row(f"`--fps {a.fps}`", spread(paced, "{:.2f}"), spread([COURSE_FRAMES / s for s in paced], "{:.2f}"))
    row("no `--fps` (back to back)", spread(unpaced, "{:.2f}"), spread([COURSE_FRAMES / s for s in unpaced], "{:.1f}"))
    print(f"\nAt {a.fps} frames a second the course is {COURSE_FRAMES}/{a.fps} = {ideal:.2f} s; "
          f"the median paced run is {100 * (statistics.median(paced) / ideal - 1):+.2f} % from it.")
    print(f"\nMachine: {machine()}; {before} before, {load()} after")


if __name__ == "__main__":
    main()
