#!/bin/sh
# SPDX-License-Identifier: MIT
# Benchmarks of the quiz, printed as tables: start-up time, CPU and
# instructions to the first frame, and peak memory to 3 s after the window
# shows, against the floor (a window with the quiz's first frame and nothing
# else) and a bare Qt window showing the same map (on a virtual X display); the cost of one drag step and of a headless round; and the delay
# from a drop to its sound, measured on a recording of a private sound
# server. A measurement, not a test: nothing here passes or fails on a number.
#
#   bench/run.sh                 build in build/ (BUILD_DIR=... to change)
#   RUNS=10 CALLGRIND=0 bench/run.sh
#
# Needs what tools/install-deps.sh installs, and valgrind for the
# instruction counts.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(mkdir -p "${BUILD_DIR:-$ROOT/build}" && cd "${BUILD_DIR:-$ROOT/build}" && pwd)
RUNS=${RUNS:-10}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/orbenvale-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

cmake -S "$ROOT" -B "$BUILD" >"$WORK/configure.log" 2>&1 || { cat "$WORK/configure.log"; exit 1; }
cmake --build "$BUILD" -j2 --target orbenvale orbenvale-decode appfolder windowlayout \
    bench_first_frame bench_floor_window bench_bare_window bench_drag_step bench_headless_round >"$WORK/build.log" 2>&1 \
    || { tail -30 "$WORK/build.log"; exit 1; }

callgrind=
[ "${CALLGRIND:-1}" = 0 ] && callgrind=--no-callgrind
# The program opens its home page on one start in a hundred; keep that quiet.
export BROWSER=true
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$WORK/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi

echo "Orbenvale Tessary Plunor benchmarks - $(nproc) cores, Qt $(pkg-config --modversion Qt6Core 2>/dev/null || echo 6), $(date -u +%Y-%m-%d)"
echo "Start-up on Xvfb; drag step and round offscreen. With no session bus, Qt in both"
echo "start-up columns also tries (and fails) to autolaunch one, as it would on such a machine."
echo
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    /usr/bin/python3 "$ROOT/bench/programs/measure.py" --build "$BUILD" --runs "$RUNS" --work "$WORK" $callgrind

echo
echo "Sound: from letting go of the mouse button to the sound's first sample on a"
echo "recording of the sink (pulseaudio null sink, monitor recorded with parec),"
echo "later than a reference client with a 5 ms buffer (pacat) in the same recording."
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    /usr/bin/python3 "$ROOT/bench/programs/drop_to_sound.py" --build "$BUILD" --source "$ROOT" \
    --starts "${STARTS:-5}"
