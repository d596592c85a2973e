#!/bin/sh
# SPDX-License-Identifier: MIT
# Benchmarks of the quiz, printed as tables: start-up time, CPU and
# instructions to the first frame, and peak memory to 3 s after the window
# shows, against the floor (a window with the quiz's first frame and nothing
# else) and a bare Qt window showing the same map (on a virtual X display); the cost of one drag step and of a headless round; and the delay
# from a drop to its sound, measured on a recording of a private sound
# server (PulseAudio and PipeWire), also after a long sleep and under load,
# with breaks inside sounds counted; and the wake-ups of an idle quiz with
# the server's word on its sink. A measurement, not a test: nothing here
# passes or fails on a number.
#
#   bench/run.sh                 build in build/ (BUILD_DIR=... to change)
#   RUNS=10 CALLGRIND=0 STARTS=5 SLEEP=30 LOADED_STARTS=5 IDLE_SECONDS=20 bench/run.sh
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
    bench_first_frame bench_floor_window bench_bare_window bench_drag_step bench_headless_round bench_jump_graph \
    >"$WORK/build.log" 2>&1 \
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

for server in pulseaudio pipewire; do
    echo
    echo "Sound on $server: from letting go of the mouse button to the sound's first sample on a"
    echo "recording of the sink (null sink, monitor recorded with parec), later than a"
    echo "reference client with a 5 ms buffer (pacat) in the same recording; then the same"
    echo "with two processes burning both cores beside the quiz."
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        /usr/bin/python3 "$ROOT/bench/programs/drop_to_sound.py" --build "$BUILD" --source "$ROOT" \
        --starts "${STARTS:-5}" --server "$server" --sleep "${SLEEP:-30}"
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        /usr/bin/python3 "$ROOT/bench/programs/drop_to_sound.py" --build "$BUILD" --source "$ROOT" \
        --starts "${LOADED_STARTS:-5}" --server "$server" --load 2
done

echo
echo "Ctrl+arrow jumps from each country's middle, against an atlas of country centres:"
QT_QPA_PLATFORM=offscreen "$BUILD/bench_jump_graph" "$ROOT/tests/data/atlas.tsv" 2>/dev/null

echo
echo "Idle: wake-ups of all the quiz's threads (context switches a second) and the"
echo "sink's state as the server reports it, before any press and from 4 s after one drop."
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    /usr/bin/python3 "$ROOT/bench/programs/idle_cost.py" --build "$BUILD" --source "$ROOT" \
    --seconds "${IDLE_SECONDS:-20}"
