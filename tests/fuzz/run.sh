#!/bin/sh
# Builds the music layer's load-path fuzzer with clang and runs it.
#   tests/fuzz/run.sh [seconds]     (default 60)
# The committed seeds (tests/fuzz/corpus) and the show's own module start a
# working corpus in build-fuzz/corpus, which grows from run to run; inputs
# that crash, hang or leak land in build-fuzz/findings and fail the run.
# libFuzzer's time limit runs on the wall clock, so it is a hang limit only
# (30 s, where an input takes milliseconds): on a busy machine a limit of a
# second fails inputs that merely waited for a processor.
set -eu
cd "$(dirname "$0")/../.."
seconds=${1:-60}

cmake -S tests/fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null

mkdir -p build-fuzz/corpus build-fuzz/findings
cp tests/fuzz/corpus/* assets/demomain.xm build-fuzz/corpus/

# -close_fd_mask=2 silences the layer's "music off" line for every input;
# libFuzzer keeps its own reports on a copy of stderr.
exec build-fuzz/music_load_fuzzer \
    -max_total_time="$seconds" -timeout=30 -max_len=65536 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/ build-fuzz/corpus
