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

# Every picture the installed README shows, and every page it links to, is
# installed where the link points.
doc="$prefix/share/doc/corbanet-demo"
links=$(grep -o '](\([^)]*\))' "$doc/README.md" | sed 's/^](//; s/)$//' | grep -v '^[a-z]*:')
echo "$links" | grep -q '\.png$' || fail "found no pictures in the installed README"
for link in $links; do
    [ -f "$doc/$link" ] || fail "the installed README links to $link, which is not installed beside it"
done

# The manual pages render without a complaint from groff and name their command.
for command in corbanet-demo corbanet-demo-capture; do
    [ "$command" = corbanet-demo-capture ] && [ "$capture" != capture ] && continue
    page="$prefix/share/man/man1/$command.1.gz"
    [ -f "$page" ] || fail "no manual page for $command"
    MANWIDTH=80 man --warnings -l "$page" >"$work/man" 2>"$work/man.err" || fail "man -l $page failed"
    cp "$work/man" "$work/man.$command"
    [ ! -s "$work/man.err" ] || fail "man -l $page complains: $(cat "$work/man.err")"
    grep -q "^ *$command - " "$work/man" || fail "the manual page of $command has no NAME line: $(head "$work/man")"
    grep -q -- "--help" "$work/man" || fail "the manual page of $command lists no options"
done
grep -q -- "--fps N" "$work/man.corbanet-demo" || fail "the manual page of corbanet-demo does not say --fps"

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

# --help and --version answer without a display, before any window, and
# speak of the launcher by the name it was called by.
env -u DISPLAY ./bin/corbanet-demo --help >"$work/out" 2>"$work/err" \
    || fail "corbanet-demo --help failed: $(cat "$work/err")"
grep -q "^Usage: corbanet-demo " "$work/out" || fail "corbanet-demo --help: $(head -3 "$work/out")"
for word in Esc demomain.xm SDL_AUDIODRIVER -display -geometry; do
    grep -q -- "$word" "$work/out" || fail "corbanet-demo --help does not mention $word"
done
[ ! -s "$work/err" ] || fail "corbanet-demo --help wrote on stderr: $(cat "$work/err")"
env -u DISPLAY ./bin/corbanet-demo --version >"$work/out" 2>"$work/err" \
    || fail "corbanet-demo --version failed: $(cat "$work/err")"
grep -qx "corbanet-demo (tha corbanet demo) [0-9.]*" "$work/out" || fail "corbanet-demo --version: $(cat "$work/out")"

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
    # A short-option cluster and a name relative to the caller's directory,
    # with a space in it: the argument reaches the recorder whole.
    ./bin/corbanet-demo-capture -qo "my show.mp4" --size 64x64 >"$work/out" 2>"$work/err" \
        || fail "the recorder failed: $(cat "$work/err")"
    [ -s "$work/home/my show.mp4" ] || fail "no 'my show.mp4' in the caller's directory: $(ls -R "$work/home")"
    [ "$(od -An -c -j4 -N4 "$work/home/my show.mp4" | tr -d ' ')" = ftyp ] \
        || fail "my show.mp4 is not an MP4 file"

    # An abbreviated long option reaches the recorder as it is, and the video
    # lands in the caller's directory, not among the installed files.
    ls -R "$prefix" >"$work/installed-before"
    ./bin/corbanet-demo-capture --qui --out videos/abbrev.mkv --size 32x32 --fps 5 >"$work/out" 2>"$work/err" \
        || fail "the recorder failed with --out: $(cat "$work/err")"
    [ -s "$work/home/videos/abbrev.mkv" ] || fail "--out videos/abbrev.mkv is not in the caller's directory"
    ls -R "$prefix" | cmp -s - "$work/installed-before" || fail "the recorder wrote among the installed files"
    [ ! -s "$work/err" ] || fail "the recorder said: $(cat "$work/err")"

    # Its usage names the launcher as called, and the module it passes.
    env -u DISPLAY ./bin/corbanet-demo-capture --help >"$work/out" 2>"$work/err" \
        || fail "corbanet-demo-capture --help failed: $(cat "$work/err")"
    grep -q "^Usage: corbanet-demo-capture " "$work/out" || fail "corbanet-demo-capture --help: $(head -1 "$work/out")"
    module=$(cd "$prefix/share/corbanet-demo" && pwd)/demomain.xm
    grep -qF "$module" "$work/out" || fail "corbanet-demo-capture --help does not name $module"
fi

echo "install_test: installed under $prefix and ran $(sed -n 's/^Frames //p' "$work/out") frames to Esc"
