#!/bin/sh
# Installs the Debian packages that building, running and testing the show need.
# Safe to run again: it asks apt only for what is missing.
set -eu

PACKAGES="
build-essential cmake pkg-config git
freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri libegl-dev libegl-mesa0
libopenmpt-dev libsdl2-dev libasound2-dev
libpng-dev libcairo2-dev fonts-dejavu-core fonts-urw-base35
libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libx264-dev libyuv-dev
libgtest-dev libgmock-dev
xvfb xauth x11-apps x11-utils xdotool
sox openmpt123 xmp ffmpeg
help2man lintian man-db
clang libclang-rt-14-dev
chromium-headless-shell
"
# Node and npm for the browser tests and the web's music engine; a node that
# came from elsewhere (with its own npm) serves as well as Debian's.
command -v node >/dev/null 2>&1 || PACKAGES="$PACKAGES nodejs"
command -v npm >/dev/null 2>&1 || PACKAGES="$PACKAGES npm"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        SUDO=sudo
    else
        SUDO=
    fi
    echo "setup: installing$missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# The npm packages, exactly as their lockfiles name them: the browser tests'
# (tests/web) and the web's music engine (src/web/music). Installed again
# only when a lockfile is newer than what is installed.
cd "$(dirname "$0")/.."
for dir in tests/web src/web/music; do
    if [ ! -f "$dir/node_modules/.package-lock.json" ] ||
       [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; then
        echo "setup: npm ci in $dir" >&2
        (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    fi
done
