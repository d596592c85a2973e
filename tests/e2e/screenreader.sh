#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a command in a desktop session with the Orca screen reader, as a blind
# player has it: a session bus, the accessibility bus, speech-dispatcher and
# Orca, all private to the run. Speech goes to a text file instead of a sound
# card, a line for each utterance, so that a test can listen to what Orca
# says. Run it on an X display (tests/e2e/xvfb.sh).
#
#   tests/e2e/screenreader.sh --program FILE --out DIR [--files PATH]... -- COMMAND [ARGS...]
#
# The program and the data files beside it are copied into the session's
# folder (the session may not reach the build tree), and so is each --files
# path, to the same relative place. The command runs in that folder with
#   READER_HOME    the session's folder
#   READER_PROGRAM the copied program
#   READER_OUT     a folder for what the command keeps (copied to --out at the end)
#   READER_SPOKEN  the file of what was spoken
#   READER_LOG     Orca's debug log
# Orca refuses a second instance for one user, so as root the session runs as
# a system user of its own (created on first use). Exits 77 when Orca or
# speech-dispatcher is missing.
set -u
program= out= files=
while [ $# -gt 0 ]; do
    case $1 in
    --program) program=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --files) files="$files $2"; shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --inside ]; then
    # ---- Inside the session, as the player. ----
    shift
    export XDG_RUNTIME_DIR="$READER_HOME/run"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    pids=
    stop() {
        [ -n "$pids" ] && kill $pids 2>/dev/null
        for i in 1 2 3 4 5 6 7 8 9 10; do
            alive=
            for p in $pids; do kill -0 "$p" 2>/dev/null && alive=1; done
            [ -z "$alive" ] && break
            sleep 0.2
        done
        [ -n "$pids" ] && kill -9 $pids 2>/dev/null
    }
    trap stop EXIT
    launcher=
    for f in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
        [ -x "$f" ] && launcher=$f && break
    done
    "$launcher" --launch-immediately >"$READER_HOME/atspi.log" 2>&1 &
    pids="$pids $!"
    for i in $(seq 50); do
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
            >/dev/null 2>&1 && break
        sleep 0.1
    done

    # speech-dispatcher with one "synthesizer": a line of text a message. No
    # sound card: the audio output it insists on opening is ALSA's null device.
    conf="$READER_HOME/speechd"
    mkdir -p "$conf/modules" "$READER_HOME/speechd-log"
    cat >"$conf/speechd.conf" <<EOF
LogLevel 3
LogDir "$READER_HOME/speechd-log"
AudioOutputMethod "alsa"
AudioALSADevice "null"
AddModule "text" "sd_generic" "text.conf"
DefaultModule text
DefaultLanguage "en"
EOF
    cat >"$conf/modules/text.conf" <<EOF
GenericExecuteSynth "printf '%s\\\\n' \'\$DATA\' >> $READER_SPOKEN"
AddVoice "en" "MALE1" "text"
GenericLanguage "en" "en" "utf-8"
EOF
    : >"$READER_SPOKEN"
    speech-dispatcher -s -t 0 -C "$conf" >"$READER_HOME/speechd.out" 2>&1 &
    pids="$pids $!"
    for i in $(seq 50); do
        [ -S "$XDG_RUNTIME_DIR/speech-dispatcher/speechd.sock" ] && break
        sleep 0.1
    done

    # Orca with its own preferences; its debug log is written a line at a time.
    prefs="$READER_HOME/orca"
    mkdir -p "$prefs"
    cat >"$prefs/orca-customizations.py" <<EOF
from orca import debug
if debug.debugFile:
    debug.debugFile.reconfigure(line_buffering=True)
EOF
    orca --disable braille --disable braille-monitor --debug-file "$READER_LOG" -u "$prefs" \
        >"$READER_HOME/orca.out" 2>&1 &
    pids="$pids $!"
    for i in $(seq 200); do
        grep -q "Screen reader on" "$READER_SPOKEN" 2>/dev/null && break
        sleep 0.1
    done
    if ! grep -q "Screen reader on" "$READER_SPOKEN"; then
        echo "Orca did not start speaking within 20 s" >&2
        tail -20 "$READER_HOME/orca.out" >&2
        exit 1
    fi
    # Qt talks to the accessibility bus when asked to, as a desktop's
    # settings would ask it.
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$@"
    exit $?
fi

# ---- Setting the session up. ----
for tool in orca speech-dispatcher dbus-run-session setpriv; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/install-deps.sh" >&2; exit 77; }
done
[ -n "$program" ] && [ -x "$program" ] && [ -n "$out" ] ||
    { echo "usage: $0 --program FILE --out DIR [--files PATH]... -- COMMAND..." >&2; exit 2; }
mkdir -p "$out" && out=$(cd "$out" && pwd)
home=$(mktemp -d "${TMPDIR:-/tmp}/screenreader.XXXXXX")
cleanup() {
    cp -R "$home/out/." "$out/" 2>/dev/null
    cp "$home/spoken.txt" "$home/orca.log" "$out/" 2>/dev/null
    rm -rf "$home"
}
trap cleanup EXIT
folder=$(dirname "$(readlink -f "$program")")
mkdir -p "$home/app" "$home/out"
for f in "$(basename "$program")" orbenvale-decode items.txt HAND-M.CUR sounds x window-layout.json; do
    [ -e "$folder/$f" ] && cp -R "$folder/$f" "$home/app/"
done
for f in $files; do
    mkdir -p "$home/$(dirname "$f")"
    cp -R "$f" "$home/$(dirname "$f")/"
done
env="READER_HOME=$home READER_PROGRAM=$home/app/$(basename "$program") READER_OUT=$home/out"
env="$env READER_SPOKEN=$home/spoken.txt READER_LOG=$home/orca.log"
if [ -n "${XAUTHORITY:-}" ] && [ -f "$XAUTHORITY" ]; then
    cp "$XAUTHORITY" "$home/Xauthority"
    env="$env XAUTHORITY=$home/Xauthority"
fi
cp "$0" "$home/screenreader.sh"
if [ "$(id -u)" -eq 0 ]; then
    user=orbenvale-reader
    id "$user" >/dev/null 2>&1 ||
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" ||
        { echo "could not create the user $user" >&2; exit 1; }
    chown -R "$user:" "$home"
    as="setpriv --reuid=$user --regid=$user --init-groups"
else
    user=$(id -un)
    as=
fi
cd "$home" || exit 1
# shellcheck disable=SC2086
$as env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" LANG=C.UTF-8 DISPLAY="$DISPLAY" \
    E2E_DEADLINE="${E2E_DEADLINE:-}" READER_BY_EAR_EVERY="${READER_BY_EAR_EVERY:-3}" BROWSER=true $env \
    dbus-run-session -- sh "$home/screenreader.sh" --inside "$@"
status=$?
# Whatever the session left running goes with it.
[ "$(id -u)" -eq 0 ] && pkill -KILL -u "$user" 2>/dev/null
exit $status
