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
import os
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run as desktop  # noqa: E402  (bench/run.py: Xvfb, the desktop programs)

ROOT = desktop.ROOT
SITE = os.path.join(ROOT, "build-web", "site")
GOAL_GZIP_MIB = 3.0


def log(text):
    print(text, file=sys.stderr, flush=True)


def node(*args):
    env = dict(os.environ)
    env["NODE_PATH"] = "/usr/share/nodejs"
    p = subprocess.run(["node", os.path.join(ROOT, "bench", "web_frames.js")] + list(args), env=env,
                       capture_output=True, text=True, timeout=1900)
    if p.returncode != 0:
        raise RuntimeError(f"web_frames.js {' '.join(args)}: {p.stderr[-2000:]}")
    values = {}
    for line in p.stdout.splitlines():
        if line.startswith("bench: "):
            _, key, value = line.split()
            values[key] = float(value)
    return values


def site_sizes():
    rows = []
    for name in sorted(os.listdir(SITE)):
        path = os.path.join(SITE, name)
        with open(path, "rb") as f:
            data = f.read()
        rows.append((name, len(data), len(gzip.compress(data, 9))))
    return rows


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--reps", type=int, default=3)
    args = ap.parse_args()

    log("bench: building the site")
    subprocess.run([os.path.join(ROOT, "scripts", "web.sh"), "--build"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([os.path.join(ROOT, "scripts", "setup-web.sh"), "--tests"], check=True)
    desktop.build_programs()

    first = []
    fps = {size: {"web": [], "desktop": []} for size in desktop.SIZES}
    for rep in range(args.reps):
        log(f"bench: first frame, run {rep + 1}/{args.reps}")
        first.append(node("first-frame")["first-frame-ms"])
        for size in desktop.SIZES:
            log(f"bench: frames, run {rep + 1}/{args.reps}, {size}, browser")
            w = node("frames", size)
            fps[size]["web"].append((w["frames"] - 1) / w["frame-seconds"])
            log(f"bench: frames, run {rep + 1}/{args.reps}, {size}, desktop")
            with desktop.Xvfb(size) as x:
                d, _ = desktop.run_program("show_bench", x.display)
            fps[size]["desktop"].append((d["frames"] - 1) / d["frame-seconds"])

    sizes = site_sizes()
    raw = sum(s[1] for s in sizes)
    packed = sum(s[2] for s in sizes)
    print("## The site (build-web/site)\n")
    print("| file | bytes | gzip -9 |\n|---|---|---|")
    for name, n, z in sizes:
        print(f"| {name} | {n} | {z} |")
    print(f"| all | {raw} ({raw / 2**20:.2f} MiB) | {packed} ({packed / 2**20:.2f} MiB) |")
    print(f"\nGoal: at most {GOAL_GZIP_MIB:.0f} MiB compressed; reached: {packed / 2**20:.2f} MiB.\n")
    print("## First frame after the click (local server, 1280x720)\n")
    print(f"| click to first frame drawn (ms) | {desktop.spread(first, '{:.0f}')} |\n|---|---|")
    print("\nGoal: under 1000 ms.\n")
    print("## Frames per second over the whole course, frames back to back\n")
    print("| size | browser (SwiftShader) | desktop (Mesa llvmpipe) | browser / desktop |\n|---|---|---|---|")
    for size in desktop.SIZES:
        web, dt = fps[size]["web"], fps[size]["desktop"]
        ratio = statistics.median(web) / statistics.median(dt)
        print(f"| {size} | {desktop.spread(web)} | {desktop.spread(dt)} | {ratio:.2f} |")
    print("\nGoal: the browser at least as fast as the desktop. Median (min–max) of "
          f"{args.reps} runs each, browser and desktop alternating.")


if __name__ == "__main__":
    main()
