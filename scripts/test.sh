#!/bin/sh
# Installs what is missing, builds everything and runs every test. The tests
# draw with Mesa's software renderer in real windows, so they run on a
# virtual X server started here.
set -eu
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
xvfb-run -a -s "-screen 0 1280x720x24 -nolisten tcp" \
    ctest --test-dir build --output-on-failure -j"$(nproc)"
