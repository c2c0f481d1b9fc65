#!/bin/sh
# The web edition's tests: builds the site (scripts/web.sh --build), installs
# the browser tests' npm packages from their lockfile, and runs every
# tests/web/*.test.js file in headless chromium, one file at a time, each
# under a time limit.
set -eu
cd "$(dirname "$0")/.."

./scripts/web.sh --build
./scripts/setup-web.sh --tests

# Debian's emscripten and the tests share this Node.js; see web.sh.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

limit=${DEMO_WEB_TEST_SECONDS:-900}
failed=""
for t in tests/web/*.test.js; do
    echo "web test: $t" >&2
    if ! timeout --kill-after=30 "$limit" node --test "$t"; then
        failed="$failed $t"
    fi
done
if [ -n "$failed" ]; then
    echo "web tests failed:$failed" >&2
    exit 1
fi
