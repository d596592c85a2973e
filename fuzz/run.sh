#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in a build folder of their own, and runs each
# for a fixed time from seeds taken from assets/. Any crash, sanitizer
# report, hang or broken invariant fails the run; the input that caused it
# is left in the work folder.
#
#   fuzz/run.sh [SECONDS_PER_TARGET]     (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
seconds=${1:-20}
build=${FUZZ_BUILD_DIR:-$src/build-fuzz}
for tool in clang clang++; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/install-deps.sh" >&2; exit 1; }
done

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    "-DORBENVALE_SANITIZE=fuzzer-no-link;address;undefined" "${launcher[@]}" >/dev/null
nice -n 10 cmake --build "$build" -j2 --target fuzzers

# Seeds: copies, since libFuzzer adds what it finds to its first folder.
work=$build/fuzz-run
rm -rf "$work"
seed() {
    local target=$1; shift
    mkdir -p "$work/$target/corpus"
    cp "$@" "$work/$target/corpus/"
}
for target in fuzz_lines fuzz_items; do
    seed $target assets/items.txt
    printf 'A\r\nA,B\nA,B,C\r\n\r\n,B\n A ,B\r' >"$work/$target/corpus/mixed.txt"
done
# Inputs that once broke a target stay among its seeds.
seed fuzz_skin assets/skins/example.cjs fuzz/regressions/skin-*
printf 'QPushButton { border-image: url(pics/p.png) 2; }' >"$work/fuzz_skin/corpus/picture.cjs"
shopt -s nullglob
seed fuzz_cursor assets/*.CUR assets/*.ico
seed fuzz_picture assets/*.CUR assets/*.ico assets/icons/*-32.png assets/panel.jpg

# Leaks are left to the sanitizer run of the tests: Qt keeps caches (image
# plug-ins, fonts) that would look like leaks of a single input here.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
status=0
for target in fuzz_lines fuzz_items fuzz_skin fuzz_cursor fuzz_picture; do
    dict=()
    [ "$target" = fuzz_skin ] && dict=(-dict="$src/fuzz/skin.dict")
    echo "== $target: $seconds s"
    if ! (cd "$work/$target" && nice -n 10 "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" \
            -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 corpus \
            >"$work/$target/log" 2>&1); then
        echo "FAILED: $target; the input is in $work/$target, the log follows" >&2
        tail -n 60 "$work/$target/log" >&2
        status=1
        continue
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^#[0-9]+.*DONE' \
        "$work/$target/log" || true
done
exit $status
