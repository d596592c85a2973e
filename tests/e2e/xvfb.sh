#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a command on a virtual X display of its own (xvfb-run -a), within a
# time limit; input reaches the program as real pointer and key events.
#
#   tests/e2e/xvfb.sh [--timeout SECONDS] [--screen WIDTHxHEIGHT] COMMAND [ARGS...]
set -u
limit=100
screen=1280x1024
while :; do
    case ${1:-} in
    --timeout) limit=$2; shift 2 ;;
    --screen) screen=$2; shift 2 ;;
    *) break ;;
    esac
done
for tool in xvfb-run xauth xdotool /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/install-deps.sh" >&2; exit 1; }
done
# The program opens its home page on one start in a hundred; with no browser
# installed that ends in an error box, so give it one that does nothing.
BROWSER=true
export BROWSER
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# XDG_RUNTIME_DIR unset only makes Qt warn; a private one keeps the log clean.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/e2e-runtime.XXXXXX")
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

# Two xvfb-run -a starting at once can pick the same display and one of them
# then fails to start its server: try again when the command never ran.
# The driver stops itself a little earlier, while the display still shows
# what went wrong.
E2E_DEADLINE=$((limit > 20 ? limit - 10 : limit * 3 / 4))
export E2E_DEADLINE

started=$(mktemp "${TMPDIR:-/tmp}/e2e-started.XXXXXX")
attempt=1
while :; do
    timeout -k 5 "$limit" xvfb-run -a -s "-screen 0 ${screen}x24 -nolisten tcp" \
        sh -c 'echo yes >"$0"; exec "$@"' "$started" "$@"
    status=$?
    if [ $status -ne 0 ] && [ ! -s "$started" ] && [ $attempt -lt 3 ]; then
        echo "xvfb-run could not start a display (exit code $status); trying again" >&2
        attempt=$((attempt + 1))
        sleep 1
        continue
    fi
    break
done
rm -f "$started"
[ $status -eq 124 ] && echo "timed out after $limit s" >&2
exit $status
