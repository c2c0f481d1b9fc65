#!/bin/sh
# Builds the show's web edition into build-web/site/ and serves it on
# http://127.0.0.1:8000/ until Ctrl-C. With --build it only builds.
#
# The site is a folder of static files that any static web server can serve;
# it loads nothing from anywhere else.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

build_only=false
case "${1:-}" in
    --build) build_only=true ;;
    "") ;;
    *) echo "usage: $0 [--build]" >&2; exit 2 ;;
esac

./scripts/setup-web.sh

# Debian's emscripten finds its JavaScript parser (node-acorn) through
# NODE_PATH under newer Node.js releases; its shared cache is writable only
# by root, so other users get one of their own.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
if [ ! -w /usr/share/emscripten/cache ]; then
    export EM_CACHE="$PWD/build-web/emcache"
fi

# The build's own tools (the pictures' converter, the icons' maker) run on
# this machine.
host_tools build-web/host

emcmake cmake -S src/web -B build-web/wasm -DCMAKE_BUILD_TYPE=Release \
    -DPICTURE_EMBED="$PWD/build-web/host/picture_embed" -DICON_MAKER="$PWD/build-web/host/icon_maker" -DSITE_DIR="$PWD/build-web/site" >/dev/null
cmake --build build-web/wasm -j"$(nproc)"
echo "web: the site is in build-web/site/" >&2

if $build_only; then
    exit 0
fi
echo "Serving the show on http://127.0.0.1:8000/ (Ctrl-C stops)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web/site
