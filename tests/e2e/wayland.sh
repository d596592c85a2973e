#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a command in a Wayland session of its own: Weston with its X11
# backend, as a window on the current X display (tests/e2e/xvfb.sh), with a
# plain background and no panel, so that a test can find the program's
# window on it, and with its X window taking real pointer events from
# xdotool. The command gets WAYLAND_DISPLAY, XDG_RUNTIME_DIR and
# WESTON_WINDOW (what the title of Weston's own X window starts with).
#
#   tests/e2e/wayland.sh --out DIR COMMAND [ARGS...]
#
# Exits 77 when Weston is missing.
set -u
out=.
if [ "${1:-}" = --out ]; then
    out=$2
    shift 2
fi
command -v weston >/dev/null || { echo "weston is missing: run tools/install-deps.sh" >&2; exit 77; }
mkdir -p "$out"
XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/wayland-e2e.XXXXXX")
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
cat >"$XDG_RUNTIME_DIR/weston.ini" <<'INI'
[core]
idle-time=0

[shell]
background-color=0xff204060
panel-position=none
locking=false
animation=none
startup-animation=none
INI
weston --backend=x11-backend.so --width=1200 --height=800 --socket=wayland-e2e \
    --config="$XDG_RUNTIME_DIR/weston.ini" >"$out/weston.log" 2>&1 &
weston=$!
stop() {
    kill "$weston" 2>/dev/null
    wait "$weston" 2>/dev/null
    rm -rf "$XDG_RUNTIME_DIR"
}
trap stop EXIT
i=0
while [ ! -S "$XDG_RUNTIME_DIR/wayland-e2e" ]; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 "$weston" 2>/dev/null; then
        echo "Weston did not start:" >&2
        cat "$out/weston.log" >&2
        exit 1
    fi
    sleep 0.1
done
WAYLAND_DISPLAY=wayland-e2e
WESTON_WINDOW="Weston Compositor"
export WAYLAND_DISPLAY WESTON_WINDOW
"$@"
