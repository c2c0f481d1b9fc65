#!/bin/sh
# install_test.sh BUILD_DIR SOURCE_DIR [capture]
# Installs the show into a fresh prefix and checks it as a user meets it:
# every file where the desktop and the launchers look for it, and the
# launcher, reached through a link from another directory, running the show
# with its music on a private X server until Esc. With "capture", the
# recorder's launcher records a small video into the caller's directory.
set -eu
build=$1
source=$2
capture=${3:-}
here=$(dirname "$(readlink -f "$0")")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/a prefix"             # a space in the path must not break the launchers
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

fail() {
    echo "install_test: $*" >&2
    exit 1
}

# PNG width and height from the IHDR chunk, as "WxH".
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

for f in bin/corbanet-demo libexec/corbanet-demo/start share/corbanet-demo/demomain.xm \
         share/applications/corbanet-demo.desktop; do
    [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ -x "$prefix/bin/corbanet-demo" ] || fail "the launcher is not executable"
cmp -s "$prefix/share/corbanet-demo/demomain.xm" "$source/assets/demomain.xm" \
    || fail "the installed module differs from assets/demomain.xm"

# The menu entry names a launcher and an icon that are installed.
desktop="$prefix/share/applications/corbanet-demo.desktop"
exec_name=$(sed -n 's/^Exec=//p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$prefix/bin/$exec_name" ] || fail "the menu entry runs '$exec_name', which is not in bin/"
for side in 48 128 256; do
    icon="$prefix/share/icons/hicolor/${side}x${side}/apps/$icon_name.png"
    [ -f "$icon" ] || fail "no ${side}x${side} icon named '$icon_name'"
    [ "$(png_size "$icon")" = "${side}x${side}" ] || fail "$icon is $(png_size "$icon"), not ${side}x${side}"
done

# Started the way a user's own bin directory would hold it: a link elsewhere.
mkdir "$work/home" "$work/home/bin"
ln -s "$prefix/bin/corbanet-demo" "$work/home/bin/corbanet-demo"
cd "$work/home"

# No display: one clear message and a failure, not a toolkit error.
if env -u DISPLAY ./bin/corbanet-demo >"$work/out" 2>"$work/err"; then
    fail "the launcher succeeded without a display"
fi
grep -q "no X display" "$work/err" || fail "no word about the missing display: $(cat "$work/err")"

# On a private X server. The display is handed over as a toolkit option with
# DISPLAY unset, so the show only finds it if the arguments pass through.
export SDL_AUDIODRIVER=dummy
status=0
"$build/with_display" "$here/esc_run.sh" "$work/home/bin/corbanet-demo" "$work/out" "$work/err" \
    || status=$?
[ "$status" = 0 ] || fail "the show exited with status $status; stderr: $(cat "$work/err")"
if grep -q "music off" "$work/err"; then
    fail "the show ran without its music: $(cat "$work/err")"
fi
"$here/check_statistics.sh" "$work/out" || fail "bad statistics block: $(cat "$work/out")"

if [ "$capture" = capture ]; then
    ln -s "$prefix/bin/corbanet-demo-capture" "$work/home/bin/corbanet-demo-capture"
    mkdir "$work/home/videos"
    # A short-option cluster and a name relative to the caller's directory.
    ./bin/corbanet-demo-capture -qo videos/clip.mp4 --size 64x64 >"$work/out" 2>"$work/err" \
        || fail "the recorder failed: $(cat "$work/err")"
    [ -s "$work/home/videos/clip.mp4" ] || fail "no video in the caller's directory: $(ls -R "$work/home")"
    [ "$(od -An -c -j4 -N4 "$work/home/videos/clip.mp4" | tr -d ' ')" = ftyp ] \
        || fail "videos/clip.mp4 is not an MP4 file"
fi

echo "install_test: installed under $prefix and ran $(sed -n 's/^Frames //p' "$work/out") frames to Esc"
