#!/bin/sh
# Installs what building, serving and testing the web edition need: Debian's
# emscripten, python3 (the local server), Node.js and npm, and the music
# engine's npm package; with --tests also the three browsers the tests run
# in (chromium-headless-shell; firefox-esr; webkit2gtk-driver with
# MiniBrowser from libwebkit2gtk-4.1-0), the X server and sound server they
# run Firefox and WebKit on (xvfb, Mesa's GL, pulseaudio), and the browser
# tests' npm packages. Safe to run again: it asks only for what is missing.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

PACKAGES="emscripten chromium-headless-shell python3 cmake g++ pkg-config libpng-dev"
if [ "${1:-}" = "--tests" ]; then
    PACKAGES="$PACKAGES firefox-esr webkit2gtk-driver libwebkit2gtk-4.1-0 pulseaudio xvfb xauth libgl1-mesa-dri"
fi

# Node.js and npm may come from elsewhere than Debian; any working pair will do.
command -v node >/dev/null 2>&1 || PACKAGES="$PACKAGES nodejs"
command -v npm >/dev/null 2>&1 || PACKAGES="$PACKAGES npm"
# shellcheck disable=SC2086
need_packages setup-web $PACKAGES

# The npm packages, exactly as their lockfiles name them: the music's engine
# (src/web/music), which the site is built with, and with --tests the browser
# tests' (tests/web). Installed again only when a lockfile is newer than what
# is installed.
dirs=src/web/music
[ "${1:-}" = "--tests" ] && dirs="$dirs tests/web"
for dir in $dirs; do
    if [ ! -f "$dir/node_modules/.package-lock.json" ] ||
       [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; then
        echo "setup-web: npm ci in $dir" >&2
        (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    fi
done
