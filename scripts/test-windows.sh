#!/bin/sh
# The Windows tests: builds the Windows edition and its tests
# (scripts/windows.sh --tests, libraries from its cache), then runs them with
# CTest (src/windows/tests/CMakeLists.txt), the Windows programs under Wine,
# on a virtual X server (Xvfb, 1280x720), in the Wine prefix of our own with
# one wineserver for the whole run. Ends with CTest's line
#   NN% tests passed, N tests failed out of M
# and exits non-zero when anything failed.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
. scripts/lib.sh

if [ -z "${CORBANET_WINDOWS_XVFB:-}" ]; then
    ./scripts/windows.sh --tests || exit 1
    # The host's libopenmpt renders the module that the Windows music is
    # held to (setup.sh installs it).
    ./scripts/setup.sh >/dev/null
    CORBANET_WINDOWS_XVFB=1 on_xvfb "$0" "$@"
    exit
fi

# No Wine audio drivers: the sound cases are then the same on every machine
# (SDL's disk and dummy drivers need none).
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv="
wine_prefix
wineserver -p      # stays up between the programs: a warm start is ~0.5 s, not 3-4 s
trap 'wineserver -k 2>/dev/null' EXIT
# Wine's background processes start with the first program and keep its
# output (a test's would then never end): let that be this one. Without
# Wine's debugger, a program that crashes ends with the exception's code,
# not 0.
wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1
tests=build-windows/exe
ctest --test-dir "$tests" --output-on-failure && exit 0
# Under load, Wine now and then gives a new program no display: freeglut
# then says "CreateDC failed" and makes no window. That is Wine's display
# server not answering in time, not the program: the tests that failed so
# run once more, and the last line counts them as that second run ends.
if ! grep -q 'CreateDC failed' "$tests/Testing/Temporary/LastTest.log"; then
    exit 1
fi
total=$(ctest --test-dir "$tests" -N | sed -n 's/^Total Tests: //p')
echo "windows: Wine gave a program no display (CreateDC failed); the failed tests run once more" >&2
ctest --test-dir "$tests" --output-on-failure --rerun-failed | tee "$tests/rerun.log"
failed=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of [0-9]*$/\1/p' "$tests/rerun.log")
failed=${failed:-$total}
echo "$(( (total - failed) * 100 / total ))% tests passed, $failed tests failed out of $total"
[ "$failed" -eq 0 ]
