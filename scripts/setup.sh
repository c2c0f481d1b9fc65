#!/bin/sh
# Installs the Debian packages that building, running and testing the show need.
# Safe to run again: it asks apt only for what is missing.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

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

# shellcheck disable=SC2086
need_packages setup $PACKAGES
