#!/bin/sh
# The test command: installs what is missing, builds and runs every test, in
# five stages, then prints one summary.
#
#   ./scripts/test.sh                 every stage, in this order
#   ./scripts/test.sh --only STAGE    one stage, with the setup it needs
#
#   desktop   the desktop build and its CTest tests, on a virtual X server
#   web       the web edition in browsers (scripts/test-web.sh)
#   windows   the Windows build under Wine (scripts/test-windows.sh)
#   sanitize  the desktop build again with ASan, LSan and UBSan (build-asan),
#             and the tests whose code they can find faults in; each test
#             runs in one of the two builds, the course's in both
#   fuzz      the music layer's load path under libFuzzer for a minute
#
# A stage that fails does not stop the others, so the summary is always
# complete; the command exits non-zero when any stage failed. The summary
# gives each stage its wall-clock and processor time, its result and its
# test counts, and ends with the line "N passed, N failed", counting tests
# across the stages (a stage that fails without counting its tests counts as
# one failed test; the fuzzer counts as one test).
#
# Each stage runs under a time limit, DEMO_TEST_STAGE_SECONDS (default
# 10800, three hours: far beyond any stage on a slow machine; it only ends
# one that hangs), and a stage that runs past it is ended and has failed.
#
# For the runner's own tests (tests/runner): DEMO_TEST_STAGE_DIR names a
# directory of stage scripts, one executable file per stage named after it
# (desktop, web, ...), run instead of the stages below; a stage without its
# script there has failed. Unset, as in CI, the stages below run.
set -u
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cd "$(dirname "$0")/.."
. scripts/lib.sh

all_stages="desktop web windows sanitize fuzz"
usage() {
    echo "usage: $0 [--only STAGE]   (STAGE: $all_stages)" >&2
    exit 2
}

stages=$all_stages
run_one=
case "$#:${1:-}" in
0:) ;;
2:--only)
    stages=
    for s in $all_stages; do
        [ "$2" = "$s" ] && stages=$s
    done
    if [ -z "$stages" ]; then
        echo "$0: unknown stage '$2'; the stages are: $all_stages" >&2
        exit 2
    fi
    ;;
2:--run-stage)
    # Internal: one stage's own commands, in a process that the stage's time
    # limit can end with everything it started.
    run_one=$2
    ;;
*) usage ;;
esac

jobs=$(nproc)
logs=$(mktemp -d /tmp/demo-test-XXXXXX)
trap 'rm -rf "$logs"' EXIT

# --- the stages; each returns non-zero when it failed -----------------------

# The packages every desktop stage needs; setup.sh asks apt only for what is
# missing, so this costs nothing the second time.
desktop_setup() {
    ./scripts/setup.sh &&
    # The browser and the npm packages: the music's browser test (web_music)
    # runs among the desktop's tests, beside the desktop's own render.
    ./scripts/setup-web.sh --tests
}

ctest_under_xvfb() {
    on_xvfb ctest --test-dir "$@" --output-on-failure -j"$jobs"
}

# Every test runs once, in the build where it finds the most: the tests
# labelled `sanitize` (how our code takes input, failure and its pieces) in
# the sanitizer stage alone; the course as shipped, the real-speed runs, the
# package and the scripts here (see the tests' CMakeLists.txt).
stage_desktop() {
    desktop_setup &&
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build build -j"$jobs" &&
    ctest_under_xvfb build -LE sanitize
}

stage_web() {
    ./scripts/test-web.sh
}

stage_windows() {
    if [ ! -f scripts/test-windows.sh ]; then
        echo "test: scripts/test-windows.sh is missing: the Windows stage cannot run" >&2
        return 1
    fi
    ./scripts/test-windows.sh
}

# Under the sanitizers: the tests labelled `sanitize`, and the course's
# tests that the desktop stage runs too. The tests that only repeat, at real
# speed, a whole show that other tests run with the sleeps skipped find
# nothing new here, and some check no code of ours at all. Left out, by
# CTest label (see the tests' CMakeLists.txt):
#   real_speed  the real `start` through its real 30 s slideshow, and the
#               installed launcher's show until Esc: the same code runs in
#               the hardening tests with the sleeps skipped
#   packaging   lintian on the Debian package: no code of ours runs
#   scripts     the tests of shell scripts (the runners, the launcher): no
#               compiled code of ours runs
# and, by name, web_music: its faults would be in the browser's player; the
# desktop render it compares with is the music layer sound_test runs here.
stage_sanitize() {
    desktop_setup &&
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_SANITIZE=ON &&
    cmake --build build-asan -j"$jobs" || return 1
    # Leaks inside system libraries are suppressed by name (tests/lsan.supp).
    # Mesa's software driver is unloaded at exit before the leak check runs,
    # which would leave its leaks without a library name to match; preloading
    # it keeps it in place (a preloaded library is never unloaded), and ASan
    # is told not to insist on coming first.
    dri_driver=$(find /usr/lib -name swrast_dri.so -path '*/dri/*' 2>/dev/null | head -n 1)
    # A copy of the suppressions that every user can read: one test drops to
    # user nobody, who may not reach into the checkout.
    suppressions="$logs/lsan.supp"
    cp tests/lsan.supp "$suppressions" && chmod 644 "$suppressions" && chmod 755 "$logs" || return 1
    LD_PRELOAD="$dri_driver" \
    ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=1:abort_on_error=0" \
    LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        ctest_under_xvfb build-asan -LE 'real_speed|packaging|scripts' -E '^web_music$'
}

stage_fuzz() {
    ./scripts/setup.sh && ./tests/fuzz/run.sh 60
}

if [ -n "$run_one" ]; then
    case " $all_stages " in *" $run_one "*) ;; *) usage ;; esac
    "stage_$run_one"
    exit $?
fi

# --- running and counting ---------------------------------------------------

stage_limit=${DEMO_TEST_STAGE_SECONDS:-10800}

# The stages run in lanes side by side, each lane's stages one after the
# other: the processors are kept busy by whichever stage has work for them
# while the others wait (on browsers and Wine playing the show at its own
# pace, on the real-speed runs, on the network). The first lane's output
# reaches the terminal as it comes; the others' is kept and shown after it,
# stage by stage. With --only the one stage runs alone.
# Lanes are separated by spaces, a lane's stages by commas.
lanes="desktop,fuzz sanitize windows web"

# Runs stage $1 under the time limit: its script from DEMO_TEST_STAGE_DIR
# when that is set, else this script's own stage function in a process of
# its own. `timeout` puts the stage in a process group of its own and ends
# the whole group when the time is up; its process id (the group's) is kept
# in a file, for the signal handler below.
run_stage() {
    pid_file="$logs/$1.pid"
    if [ -n "${DEMO_TEST_STAGE_DIR:-}" ]; then
        set -- "$DEMO_TEST_STAGE_DIR/$1"
        if [ ! -x "$1" ]; then
            echo "test: no stage script $1" >&2
            return 1
        fi
    else
        set -- "$self" --run-stage "$1"
    fi
    timeout --kill-after=30 "$stage_limit" "$@" &
    echo $! >"$pid_file"
    wait $!
    status=$?
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "test: the stage ran past its limit of $stage_limit s and was ended" >&2
    fi
    return "$status"
}

# Ctrl-C, SIGTERM or a closed terminal ends the running stages too: each is
# in a process group of its own, which the terminal's signal does not reach.
on_signal() {
    for f in "$logs"/*.pid; do
        [ -f "$f" ] && kill -TERM "-$(cat "$f")" 2>/dev/null
    done
    exit 130
}
trap on_signal INT TERM HUP

# Sets $cpu to the processor time (user + system, seconds) of every child
# this shell has waited for so far ($1: a name for its scratch file). `times` must run in the shell itself: in
# a pipeline or a command substitution it would report a subshell's
# children. Each lane is a shell of its own, so it counts its own stages.
children_cpu() {
    times >"$logs/times.$1"
    cpu=$(awk 'NR == 2 {
        n = split($0, f, /[ms ]+/); total = 0
        for (i = 1; i + 1 <= n; i += 2) if (f[i] != "") total += f[i] * 60 + f[i + 1]
        printf "%.1f", total }' "$logs/times.$1")
}

now() {
    date +%s.%N
}

# "passed failed" from a stage's standard output, or nothing when it
# printed no counts.
counts_of() {
    case $1 in
    desktop | sanitize | windows)
        sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\2 \1/p' "$2" |
            tail -n 1 | awk '{ print $1 - $2, $2 }'
        ;;
    web)
        sed -n "s/^$1: \([0-9]*\) passed, \([0-9]*\) failed\$/\1 \2/p" "$2" | tail -n 1
        ;;
    esac
}

# Runs the stages named, one after the other, in this (sub)shell. Each
# leaves in $logs: its output (STAGE.out), and its row of the summary and
# its counts (STAGE.row, STAGE.counts). With `live` the output reaches the
# terminal as it comes.
run_lane() {
    live=$1
    shift
    for stage in "$@"; do
        echo "=== test: stage $stage" >&2
        children_cpu "$live"
        cpu0=$cpu
        t0=$(now)
        # The status comes back through a file, past the pipe.
        if [ "$live" = live ]; then
            { run_stage "$stage"; echo $? >"$logs/$stage.rc"; } | tee "$logs/$stage.out"
        else
            { run_stage "$stage"; echo $? >"$logs/$stage.rc"; } >"$logs/$stage.out" 2>&1
        fi
        rm -f "$logs/$stage.pid"
        t1=$(now)
        children_cpu "$live"
        cpu1=$cpu
        rc=$(cat "$logs/$stage.rc" 2>/dev/null || echo 1)
        counts=$(counts_of "$stage" "$logs/$stage.out")
        if [ "$rc" -eq 0 ]; then result=passed; else result=FAILED; fi
        # How a stage that did not end by itself ended (timeout's status 124, or
        # 128 + the signal's number).
        how=
        if [ "$rc" -eq 124 ]; then how="; ended at its time limit"
        elif [ "$rc" -gt 128 ]; then how="; ended by signal $((rc - 128))"; fi
        if [ -n "$counts" ]; then
            set -- $counts
            passed=$1 failed=$2
            # A stage whose tests all passed may still fail (a leak found at
            # exit, a step after its tests): its failure is counted all the same.
            [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ] && failed=1
            detail="$passed passed, $failed failed$how"
        else
            # No counts (the fuzzer, or a stage that failed before its tests):
            # the stage is one test.
            if [ "$rc" -eq 0 ]; then passed=1 failed=0; else passed=0 failed=1; fi
            detail="no test counts$how"
        fi
        echo "$passed $failed $rc" >"$logs/$stage.counts"
        awk -v s="$stage" -v a="$t0" -v b="$t1" -v c="$cpu0" -v d="$cpu1" -v r="$result" -v x="$detail" \
            'BEGIN { printf "  %-9s %7.1f s wall %7.1f s cpu  %-7s (%s)\n", s, b - a, d - c, r, x }' >"$logs/$stage.row"
        echo "=== test: stage $stage $result" >&2
    done
}

# Only the stages asked for of lane $1, in the lane's order, comma-separated.
of_lane() {
    picked=
    for s in $(echo "$1" | tr , ' '); do
        case " $stages " in *" $s "*) picked="$picked,$s" ;; esac
    done
    echo "${picked#,}"
}

began=$(now)
# Every stage's packages before the lanes start, so that two lanes never
# install the same thing at once (npm's folders, apt's lock). The
# stages' own setups then find nothing missing; a failure here shows in
# the stage that needs what is missing.
if [ -z "${DEMO_TEST_STAGE_DIR:-}" ] && [ "$stages" = "$all_stages" ]; then
    echo "=== test: packages for every stage" >&2
    desktop_setup || echo "test: installing the packages failed; the stages that need them will say what" >&2
fi
set_up=$(now)

# The first lane here, the others in the background.
first=
others=
for lane in $lanes; do
    picked=$(of_lane "$lane")
    [ -z "$picked" ] && continue
    if [ -z "$first" ]; then first=$picked; else others="$others $picked"; fi
done
lane_pids=
for lane in $others; do
    ( run_lane kept $(echo "$lane" | tr , ' ') ) &
    lane_pids="$lane_pids $!"
done
run_lane live $(echo "$first" | tr , ' ')
for pid in $lane_pids; do
    wait "$pid"
done
for stage in $(echo "$others" | tr , ' '); do
    echo "=== test: stage $stage, which ran beside the others: its output" >&2
    cat "$logs/$stage.out"
done

total_passed=0
total_failed=0
any_failed=0
echo
echo "=== test: summary (stage, wall-clock time, processor time, result)"
for stage in $stages; do
    if [ -f "$logs/$stage.counts" ]; then
        read -r passed failed rc <"$logs/$stage.counts"
        cat "$logs/$stage.row"
    else
        # A lane that could not run its stage at all.
        passed=0 failed=1 rc=1
        echo "  $stage: did not run"
    fi
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    [ "$rc" -ne 0 ] && any_failed=1
done
awk -v a="$began" -v b="$set_up" -v c="$(now)" \
    'BEGIN { printf "  (%.1f s in all, %.1f s of it installing packages before the stages)\n", c - a, b - a }'
if [ $((total_passed + total_failed)) -eq 0 ]; then
    # Never a success without a single test run.
    echo "test: no test ran" >&2
    total_failed=1
    any_failed=1
fi
echo "$total_passed passed, $total_failed failed"
exit "$any_failed"
