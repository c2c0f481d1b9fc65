#!/bin/sh
# The web edition's tests: builds the site once (scripts/web.sh --build),
# installs the browser tests' packages, and runs the tests/web/*.test.js
# files in three engines, one file at a time, each under a time limit:
# Chromium (headless shell) every file; Firefox and WebKit the files that
# ask the page what a person meets (browsers.test.js), the show's course
# (course.test.js), its pace (pacer.test.js) and its start (start.test.js).
# Firefox and WebKit run on a private Xvfb with a private PulseAudio null
# sink, which the tests start and end themselves.
#
# After each file a line on stderr gives its result:
#   web file: ENGINE FILE: N passed, N failed
# Its last line counts the tests of every engine together:
#   web: N passed, N failed
# and its status is non-zero when any failed.
#
# For the runner's own tests (tests/runner): DEMO_WEB_TEST_RUNNER is the
# command that runs one file, given the file's path, with DEMO_ENGINE set
# (default: node's test runner with TAP output, whose "# pass N" and
# "# fail N" lines are counted), and DEMO_WEB_TEST_DIR the directory of the
# *.test.js files (default tests/web). With a runner of its own the site is
# not built and no package is installed.
set -eu
cd "$(dirname "$0")/.."

if [ -z "${DEMO_WEB_TEST_RUNNER:-}" ]; then
    ./scripts/web.sh --build
    ./scripts/setup-web.sh --tests
fi
runner=${DEMO_WEB_TEST_RUNNER:-node --test --test-reporter=tap}
dir=${DEMO_WEB_TEST_DIR:-tests/web}

# Debian's emscripten and the tests share this Node.js; see web.sh.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

limit=${DEMO_WEB_TEST_SECONDS:-900}
engines=${DEMO_WEB_ENGINES:-chromium firefox webkit}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
passed=0
failed=0
failures=""
for engine in $engines; do
    case $engine in
        chromium) files="$dir/*.test.js" ;;
        *) files="$dir/browsers.test.js $dir/course.test.js $dir/pacer.test.js $dir/start.test.js" ;;
    esac
    began=$(date +%s)
    for t in $files; do
        echo "web test: $engine $t" >&2
        status=0
        # shellcheck disable=SC2086
        DEMO_ENGINE=$engine timeout --kill-after=30 "$limit" $runner "$t" >"$log" 2>&1 ||
            status=$?
        cat "$log"
        p=$(sed -n 's/^# pass \([0-9]*\)$/\1/p' "$log" | tail -n 1)
        f=$(sed -n 's/^# fail \([0-9]*\)$/\1/p' "$log" | tail -n 1)
        # A file that ended without its own count (a crash, its time limit,
        # a runner that ran nothing) or with a failure status counts at
        # least one failure.
        if [ -z "$p$f" ] && [ "$status" -eq 0 ]; then
            status=1
        fi
        p=${p:-0}
        f=${f:-0}
        if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then
            f=1
        fi
        echo "web file: $engine $t: $p passed, $f failed" >&2
        passed=$((passed + p))
        failed=$((failed + f))
        if [ "$f" -ne 0 ]; then
            failures="$failures $engine:$t"
        fi
    done
    echo "web: $engine took $(( $(date +%s) - began )) s" >&2
done
if [ -n "$failures" ]; then
    echo "web tests failed:$failures" >&2
fi
if [ $((passed + failed)) -eq 0 ]; then
    echo "web tests: no test ran" >&2
    failed=1
fi
echo "web: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
