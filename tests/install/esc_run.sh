#!/bin/sh
# esc_run.sh LAUNCHER OUT ERR
# Runs on an X server of its own (see tests/support/with_display.cpp): starts the show through
# LAUNCHER with the display given as a toolkit option and DISPLAY unset,
# waits for its window and a second of frames, presses Esc, and exits with
# the show's status. Standard output and error go to OUT and ERR.
set -eu
launcher=$1
out=$2
err=$3

env -u DISPLAY "$launcher" -display "$DISPLAY" >"$out" 2>"$err" &
pid=$!

# Waits for the window while the show lives, for a minute at most, so that
# a broken launcher fails the test at once instead of hanging it.
waited=0
until xdotool search --onlyvisible --name '^tha corbanet demo$' >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null; then
        status=0
        wait "$pid" || status=$?
        echo "esc_run: the show ended before its window appeared" >>"$err"
        [ "$status" != 0 ] || status=1
        exit "$status"
    fi
    if [ "$waited" -ge 300 ]; then
        kill "$pid"
        wait "$pid" || true
        echo "esc_run: the show's window never appeared" >>"$err"
        exit 1
    fi
    sleep 0.2
    waited=$((waited + 1))
done
sleep 1
# The full-screen window gets the keys while the pointer is over it.
xdotool mousemove 20 20
tries=0
while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 30 ]; do
    xdotool key Escape
    sleep 1
    tries=$((tries + 1))
done
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    echo "esc_run: the show did not end on Esc" >>"$err"
fi
status=0
wait "$pid" || status=$?
exit "$status"
