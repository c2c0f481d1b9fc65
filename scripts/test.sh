#!/bin/sh
# Installs what is missing, builds everything and runs every test. The tests
# draw with Mesa's software renderer in real windows, so they run on a
# virtual X server started here.
#
# Then it builds the web edition and runs its browser tests (test-web.sh).
#
# Then it builds everything again with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer (build-asan) and runs every test there too, and
# fuzzes the music layer's load path for a minute (tests/fuzz/run.sh).
set -eu
cd "$(dirname "$0")/.."

./scripts/setup.sh
# The browser and the npm packages: the music's browser test (web_music) runs
# among the desktop's tests, beside the desktop's own render.
./scripts/setup-web.sh --tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
xvfb-run -a -s "-screen 0 1280x720x24 -nolisten tcp" \
    ctest --test-dir build --output-on-failure -j"$(nproc)"

# The web edition in headless chromium (tests/web).
./scripts/test-web.sh

# The sanitizer pass. Leaks inside system libraries are suppressed by name
# (tests/lsan.supp). Mesa's software driver is unloaded at exit before the
# leak check runs, which would leave its leaks without a library name to
# match; preloading it keeps it in place (a preloaded library is never
# unloaded), and ASan is told not to insist on coming first.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_SANITIZE=ON
cmake --build build-asan -j"$(nproc)"
dri_driver=$(find /usr/lib -name swrast_dri.so -path '*/dri/*' 2>/dev/null | head -n 1)
# A copy of the suppressions that every user can read: one test drops to user
# nobody, who may not reach into the checkout.
suppressions=$(mktemp /tmp/lsan-XXXXXX.supp)
trap 'rm -f "$suppressions"' EXIT
cp tests/lsan.supp "$suppressions"
chmod 644 "$suppressions"
LD_PRELOAD="$dri_driver" \
ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=1:abort_on_error=0" \
LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
xvfb-run -a -s "-screen 0 1280x720x24 -nolisten tcp" \
    ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

./tests/fuzz/run.sh 60
