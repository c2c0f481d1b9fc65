#!/bin/sh
# Installs what building, serving and testing the web edition need: Debian's
# emscripten, chromium-headless-shell, python3 (the local server), Node.js and
# npm. With --tests it also installs the browser tests' npm packages from
# tests/web's lockfile (npm ci). Safe to run again: it asks only for what is
# missing.
set -eu
cd "$(dirname "$0")/.."

PACKAGES="emscripten chromium-headless-shell python3 cmake g++ pkg-config libpng-dev"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
# Node.js and npm may come from elsewhere than Debian; any working pair will do.
command -v node >/dev/null 2>&1 || missing="$missing nodejs"
command -v npm >/dev/null 2>&1 || missing="$missing npm"

if [ -n "$missing" ]; then
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    echo "setup-web: installing$missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

if [ "${1:-}" = "--tests" ]; then
    stamp=tests/web/node_modules/.installed-from-lock
    if [ ! -f "$stamp" ] || [ tests/web/package-lock.json -nt "$stamp" ]; then
        echo "setup-web: npm ci in tests/web" >&2
        (cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
        touch "$stamp"
    fi
fi
