#!/bin/sh
# lintian_test.sh BUILD_DIR
# Packs the Debian package afresh from the build tree, into a folder of its
# own, and has Debian's own checker look at it: no errors and no warnings.
set -eu
build=$1

command -v lintian >/dev/null || { echo "lintian_test: lintian is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/*.deb)

root=
[ "$(id -u)" = 0 ] && root=--allow-root
# shellcheck disable=SC2086
lintian $root --fail-on error,warning "$deb"
echo "lintian_test: $(basename "$deb") has no errors and no warnings"
