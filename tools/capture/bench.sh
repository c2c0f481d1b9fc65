#!/bin/sh
# Times `capture` over the whole show at 1280x720 and 1920x1080, 60 frames a
# second, and prints a table: wall time (median and range of the runs), CPU
# time (the program and its X server), the ratio of the wall time to the
# show's own length when watched (2722 / 60 + 30 seconds), and the file size.
#
#     tools/capture/bench.sh [BUILD_DIR [RUNS]]
#
# BUILD_DIR defaults to build, RUNS to 3. Run it on a quiet machine: the wall
# time is what the other programs on it leave over.
set -eu
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$build"    # capture reads demomain.xm from here

show_seconds=$(awk 'BEGIN { printf "%.2f", 2722 / 60 + 30 }')
printf '%-10s %5s %10s %16s %9s %7s %8s\n' size runs "wall s" "range s" "cpu s" ratio "file MB"
for size in 1280x720 1920x1080; do
    walls=""
    cpu=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(date +%s.%N)
        if [ -x /usr/bin/time ]; then
            /usr/bin/time -f '%U %S' -o "$out/cpu" ./capture --quiet --size "$size" -o "$out/show.mp4"
            cpu="$cpu $(awk '{ printf "%.1f", $1 + $2 }' "$out/cpu")"
        else
            ./capture --quiet --size "$size" -o "$out/show.mp4"
        fi
        end=$(date +%s.%N)
        walls="$walls $(awk "BEGIN { printf \"%.2f\", $end - $start }")"
        i=$((i + 1))
    done
    wall=$(echo $walls | tr ' ' '\n' | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
    range=$(echo $walls | tr ' ' '\n' | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.1f-%.1f", lo, hi }')
    cpumed=$(echo ${cpu:-0} | tr ' ' '\n' | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
    mb=$(stat -c %s "$out/show.mp4" | awk '{ printf "%.1f", $1 / 1e6 }')
    ratio=$(awk "BEGIN { printf \"%.2f\", $wall / $show_seconds }")
    printf '%-10s %5s %10.1f %16s %9s %7s %8s\n' "$size" "$runs" "$wall" "$range" "$cpumed" "$ratio" "$mb"
done
echo "show length when watched: $show_seconds s; machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
