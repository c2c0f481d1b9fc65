#!/bin/sh
# Installs what is missing, builds the show and runs it from the build tree,
# where "demomain.xm" sits next to the program. Without a display it runs the
# show under a virtual X server instead. Arguments go to the program, which
# plays at 60 frames a second, the show's pace, unless they name another
# with --fps.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target start >/dev/null

pace="--fps 60"
for arg in "$@"; do
    case "$arg" in
    --fps | --fps=*) pace= ;;
    esac
done

cd build
if [ -n "${DISPLAY:-}" ]; then
    # shellcheck disable=SC2086
    exec ./start $pace "$@"
fi
echo "run: no display found; running the show on a virtual X display (Xvfb, 1280x720)" >&2
# shellcheck disable=SC2086
on_xvfb ./start $pace "$@"
