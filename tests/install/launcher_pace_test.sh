#!/bin/sh
# launcher_pace_test.sh BUILD_DIR SOURCE_DIR
# The launcher, laid out as installed, in front of a stand-in for the show
# that writes down the arguments it was given: the launcher asks for
# --fps 60 unless the caller names a pace, and the caller's arguments follow
# whole and in order. The menu entry's command reaches the same launcher.
set -eu
build=$1
source=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree="$work/a tree"
mkdir -p "$tree/bin" "$tree/libexec/corbanet-demo" "$tree/share/corbanet-demo"
cp "$build/packaging/corbanet-demo" "$tree/bin/corbanet-demo"
chmod +x "$tree/bin/corbanet-demo"
cat >"$tree/libexec/corbanet-demo/start" <<'STUB'
#!/bin/sh
# Stands in for the show: one argument a line, and where it was started.
{ for a in "$@"; do printf '[%s]\n' "$a"; done; echo "in $(pwd)"; } >"$LAUNCHER_ARGS"
STUB
chmod +x "$tree/libexec/corbanet-demo/start"
data=$(cd "$tree/share/corbanet-demo" && pwd)

failed=0
# arguments given (one a line, "-" for none) | what the show must get (one a line)
check() {
    given=$1 expected=$2
    set --
    if [ "$given" != - ]; then
        old_ifs=$IFS
        IFS='
'
        # shellcheck disable=SC2086
        set -- $given
        IFS=$old_ifs
    fi
    rm -f "$work/args"
    if ! LAUNCHER_ARGS="$work/args" DISPLAY=:99 "$tree/bin/corbanet-demo" "$@" 2>"$work/err"; then
        echo "launcher_pace_test: the launcher failed with '$given': $(cat "$work/err")" >&2
        failed=1
        return
    fi
    want=$(printf '%s\n' "$expected" | sed '/^$/d; s/.*/[&]/'; echo "in $data")
    if [ "$(cat "$work/args")" != "$want" ]; then
        echo "launcher_pace_test: given '$given' the show got:" >&2
        cat "$work/args" >&2
        echo "launcher_pace_test: instead of:" >&2
        echo "$want" >&2
        failed=1
    fi
}

check - "--fps
60"
check "--fps
30" "--fps
30"
check "--fps=30" "--fps=30"
check "-geometry
640x480" "--fps
60
-geometry
640x480"
check "--help" "--fps
60
--help"
check "-geometry
320x240
--fps
30
-iconic" "-geometry
320x240
--fps
30
-iconic"
check "a word with spaces" "--fps
60
a word with spaces"

# The menu entry runs the launcher by name, with no arguments of its own.
exec_line=$(sed -n 's/^Exec=//p' "$source/packaging/corbanet-demo.desktop")
rm -f "$work/args"
(LAUNCHER_ARGS="$work/args" DISPLAY=:99 PATH="$tree/bin:$PATH" sh -c "$exec_line") 2>"$work/err" ||
    { echo "launcher_pace_test: the menu entry's '$exec_line' failed: $(cat "$work/err")" >&2; failed=1; }
if [ "$(head -2 "$work/args" 2>/dev/null)" != "[--fps]
[60]" ]; then
    echo "launcher_pace_test: the menu entry's show did not get --fps 60: $(cat "$work/args" 2>/dev/null)" >&2
    failed=1
fi

[ "$failed" = 0 ] && echo "launcher_pace_test: the launcher gives --fps 60, and the caller's pace wins"
exit "$failed"
