#!/bin/sh
# Sound start-up latency of the Qt sound engine: time from play() until the
# pipeline clock runs, for the first sound of a run without and with the
# warm-up, and for later sounds. Prints a table; it is a measurement, not a
# pass/fail test.
#
#   bench/sound_latency.sh [RUNS]        (default 5 runs per case)
#
# BUILD_DIR chooses where the benchmark is built (default build-bench/).
# Needs a C++ compiler, pkg-config and qt6-multimedia-dev.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-5}
BUILD=${BUILD_DIR:-$ROOT/build-bench}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

# Neither source needs moc, so a plain compile will do.
mkdir -p "$BUILD"
TOOL=$BUILD/sound_latency
SRC="$ROOT/bench/sound_latency.cpp $ROOT/desktop/qtmediabackend.cpp $ROOT/desktop/qtmediabackend.h"
if [ ! -x "$TOOL" ] || [ -n "$(find $SRC -newer "$TOOL")" ]; then
    ${CXX:-c++} -std=c++20 -O2 -fPIC -I"$ROOT/desktop" -I"$ROOT/forms" -o "$TOOL" \
        "$ROOT/bench/sound_latency.cpp" "$ROOT/desktop/qtmediabackend.cpp" \
        $(pkg-config --cflags --libs Qt6Multimedia Qt6Gui)
fi
S=$ROOT/assets/sounds
OUT=$(mktemp)
trap 'rm -f "$OUT"' EXIT

i=0
while [ "$i" -lt "$RUNS" ]; do
    "$TOOL" cold "$S/correct.wma" 2>/dev/null | sed 's/^first/cold/' >>"$OUT"
    "$TOOL" warm "$S/correct.wma" "$S/wrong.wma" 2>/dev/null \
        | awk '/^first/ { n++; print (n == 1 ? "warm-same" : "warm-other"), $2; next } { print }' >>"$OUT"
    i=$((i + 1))
done
"$TOOL" later "$S/correct.wma" "$S/wrong.wma" "$S/complete.wma" 2>/dev/null >>"$OUT"

echo "Sound start latency, ms (play() until the pipeline clock runs)"
echo "machine: $(nproc) cores; audio devices: $( [ -d /dev/snd ] && echo yes || echo none)"
awk '
function show(key, label,    n, i, j, t, v) {
    n = cnt[key]
    if (n == 0) { printf "%-44s %5s\n", label, "n/a"; return }
    for (i = 1; i <= n; i++) v[i] = val[key, i]
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    printf "%-44s %5d %8.1f %8.1f %8.1f\n", label, n, v[int((n + 1) / 2)], v[1], v[n]
}
$2 != "none" { cnt[$1]++; val[$1, cnt[$1]] = $2 + 0 }
$2 == "none" { missed[$1]++ }
END {
    printf "%-44s %5s %8s %8s %8s\n", "case", "runs", "median", "min", "max"
    show("cold", "first play, no warm-up")
    show("warm-same", "first play after warm-up (same file)")
    show("warm-other", "first play after warm-up (other file)")
    show("later", "later plays")
    show("warmup-call", "warmUp() call itself")
    show("stall", "longest event-loop stall while warming up")
    for (k in missed) printf "no sound detected within 3 s: %s x%d\n", k, missed[k]
}' "$OUT"
