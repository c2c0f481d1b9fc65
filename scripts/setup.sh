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
sox openmpt123 xmp ffmpeg strace python3
help2man lintian man-db
clang libclang-rt-14-dev
"

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
    # Other installs may hold the package lock: wait for it rather than fail.
    $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends $missing >/dev/null
fi
