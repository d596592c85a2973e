#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a command with a private D-Bus session and an accessibility bus of its
# own, as a desktop session would provide them for a screen reader. Both end
# with the command.
#
#   tests/e2e/a11ybus.sh COMMAND [ARGS...]
set -u
for tool in dbus-run-session dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/install-deps.sh" >&2; exit 1; }
done
launcher=
for f in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
    [ -x "$f" ] && launcher=$f && break
done
[ -n "$launcher" ] || { echo "at-spi-bus-launcher is missing: run tools/install-deps.sh" >&2; exit 1; }
# Qt only talks to the accessibility bus when asked to; a desktop's settings
# would ask for it.
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON
unset AT_SPI_BUS_ADDRESS DBUS_SESSION_BUS_ADDRESS
exec dbus-run-session -- sh -c '
    "$0" --launch-immediately 2>/dev/null &
    launcher=$!
    trap "kill $launcher 2>/dev/null; wait $launcher 2>/dev/null" EXIT
    # Wait for the accessibility bus to be announced on the session bus.
    for i in $(seq 50); do
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
            >/dev/null 2>&1 && break
        sleep 0.1
    done
    "$@"
' "$launcher" "$@"
