#!/usr/bin/env python3
"""Figures of the web edition beside the desktop show's, in one run.

    bench/web.py [--reps N]

Builds the site (scripts/web.sh --build) and the desktop's benchmark
programs (build-bench/, as bench/run.py does), then measures, --reps times
each, side by side: the site's size compressed with gzip; the time from the
start button's click to the first frame drawn, on a local server; and the
frame rate over the whole course at 1280x720 and 1920x1080, in headless
chromium (SwiftShader) with frames drawn back to back, each made to finish,
and the desktop show under Mesa (llvmpipe, Xvfb). Markdown on standard
output, progress on stderr. docs/performance.md records a run.
"""
import argparse
import gzip
import json
import os
import statistics
import subprocess

from run import ROOT, SIZES, xvfb, build_programs, frame_rate, log, row, show_bench, spread, table

SITE = os.path.join(ROOT, "build-web", "site")
GOAL_GZIP_MIB = 3.0


def web(*args):
    """bench/web.js's figures in Chromium (its modes first-frame and frames)."""
    p = subprocess.run(["node", os.path.join(ROOT, "bench", "web.js"), *args],
                       env={**os.environ, "NODE_PATH": "/usr/share/nodejs"}, capture_output=True, text=True, timeout=1900)
    if p.returncode != 0:
        raise RuntimeError(f"web.js {' '.join(args)}: {p.stderr[-2000:]}")
    return json.loads(p.stdout.splitlines()[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--reps", type=int, default=3)
    args = ap.parse_args()

    log("bench: building the site")
    subprocess.run([os.path.join(ROOT, "scripts", "web.sh"), "--build"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([os.path.join(ROOT, "scripts", "setup-web.sh"), "--tests"], check=True)
    build_programs()

    first = []
    fps = {size: {"web": [], "desktop": []} for size in SIZES}
    for rep in range(args.reps):
        log(f"bench: first frame, run {rep + 1}/{args.reps}")
        first.append(web("first-frame")["first-frame-ms"])
        for size in SIZES:
            log(f"bench: frames, run {rep + 1}/{args.reps}, {size}, browser")
            fps[size]["web"].append(frame_rate(web("frames", size)))
            log(f"bench: frames, run {rep + 1}/{args.reps}, {size}, desktop")
            with xvfb(size) as display:
                fps[size]["desktop"].append(frame_rate(show_bench(display)[0]))

    print("## The site (build-web/site)")
    table("file", "bytes", "gzip -9")
    raw = packed = 0
    for name in sorted(os.listdir(SITE)):
        with open(os.path.join(SITE, name), "rb") as f:
            data = f.read()
        size, zipped = len(data), len(gzip.compress(data, 9))
        raw, packed = raw + size, packed + zipped
        row(name, str(size), str(zipped))
    row("all", f"{raw} ({raw / 2**20:.2f} MiB)", f"{packed} ({packed / 2**20:.2f} MiB)")
    print(f"\nGoal: at most {GOAL_GZIP_MIB:.0f} MiB compressed; reached: {packed / 2**20:.2f} MiB.\n")
    print("## First frame after the click (local server, 1280x720)")
    table("click to first frame drawn (ms)", spread(first, "{:.0f}"))
    print("\nGoal: under 1000 ms.\n")
    print("## Frames per second over the whole course, frames back to back")
    table("size", "browser (SwiftShader)", "desktop (Mesa llvmpipe)", "browser / desktop")
    for size in SIZES:
        w, d = fps[size]["web"], fps[size]["desktop"]
        row(size, spread(w), spread(d), f"{statistics.median(w) / statistics.median(d):.2f}")
    print("\nGoal: the browser at least as fast as the desktop. Median (min–max) of "
          f"{args.reps} runs each, browser and desktop alternating.")


if __name__ == "__main__":
    main()
