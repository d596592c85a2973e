#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the build into a fresh folder and checks what lands there: the
# application folder with the program and its data side by side, the relative
# link in bin/, a valid desktop entry and AppStream file, the icons and the
# manual page.
#
#   tests/e2e/install_layout.sh BUILD_DIR SOURCE_DIR [CMAKE]
set -u
BUILD=$1
SOURCE=$2
CMAKE=${3:-cmake}
APP_ID=org.orbenvale.TessaryPlunor
PREFIX=$(mktemp -d "${TMPDIR:-/tmp}/orbenvale-install.XXXXXX")
trap 'rm -rf "$PREFIX"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! "$CMAKE" --install "$BUILD" --prefix "$PREFIX" >"$PREFIX.log" 2>&1; then
    cat "$PREFIX.log"; rm -f "$PREFIX.log"
    echo "FAIL: cmake --install failed"; exit 1
fi
rm -f "$PREFIX.log"

APP=$PREFIX/lib/orbenvale
[ -f "$APP/orbenvale" ] && [ -x "$APP/orbenvale" ] || fail "no executable lib/orbenvale/orbenvale"
[ -f "$APP/orbenvale-decode" ] && [ -x "$APP/orbenvale-decode" ] || fail "no sound decoder lib/orbenvale/orbenvale-decode"
for f in items.txt HAND-M.CUR sounds/correct.wma sounds/wrong.wma sounds/complete.wma; do
    if [ ! -f "$APP/$f" ]; then
        fail "lib/orbenvale/$f is missing"
    elif ! cmp -s "$APP/$f" "$SOURCE/assets/$f"; then
        fail "lib/orbenvale/$f differs from assets/$f"
    fi
done

LINK=$PREFIX/bin/orbenvale
if [ ! -L "$LINK" ]; then
    fail "bin/orbenvale is not a symbolic link"
else
    target=$(readlink "$LINK")
    [ "$target" = ../lib/orbenvale/orbenvale ] || fail "bin/orbenvale points to '$target', not ../lib/orbenvale/orbenvale"
    [ "$(readlink -f "$LINK")" = "$(readlink -f "$APP/orbenvale")" ] || fail "bin/orbenvale does not reach the executable"
fi

DESKTOP=$PREFIX/share/applications/$APP_ID.desktop
if [ ! -f "$DESKTOP" ]; then
    fail "share/applications/$APP_ID.desktop is missing"
else
    for line in "Exec=orbenvale" "Icon=$APP_ID" "Type=Application"; do
        grep -qx "$line" "$DESKTOP" || fail "the desktop entry lacks '$line'"
    done
    grep -q '^Categories=.*Education;.*Geography;.*Game;' "$DESKTOP" || fail "the desktop entry's categories are wrong"
    if command -v desktop-file-validate >/dev/null; then
        # Hints (two main categories) are advice; errors and warnings are not.
        out=$(desktop-file-validate "$DESKTOP" 2>&1)
        status=$?
        echo "$out" | grep -E ': (error|warning):' && fail "desktop-file-validate complains"
        [ $status -eq 0 ] || { echo "$out"; fail "desktop-file-validate exit code $status"; }
    else
        echo "note: desktop-file-validate is not installed (package desktop-file-utils); desktop entry not validated"
    fi
fi

META=$PREFIX/share/metainfo/$APP_ID.metainfo.xml
if [ ! -f "$META" ]; then
    fail "share/metainfo/$APP_ID.metainfo.xml is missing"
elif ! command -v appstreamcli >/dev/null; then
    fail "appstreamcli is missing (package appstream)"
else
    appstreamcli validate --no-net "$META" || fail "appstreamcli validate --no-net rejects the metainfo file"
    grep -q "<launchable type=\"desktop-id\">$APP_ID.desktop</launchable>" "$META" \
        || fail "the metainfo file does not launch $APP_ID.desktop"
fi

for size in 32 48 128 256; do
    icon=$PREFIX/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png
    if [ ! -f "$icon" ]; then
        fail "icon ${size}x${size} is missing"
    else
        got=$(identify -format '%m %wx%h' "$icon" 2>/dev/null)
        [ "$got" = "PNG ${size}x${size}" ] || fail "icon ${size}x${size} is '$got'"
    fi
done

MAN=$PREFIX/share/man/man6/orbenvale.6
if [ ! -f "$MAN" ]; then
    fail "share/man/man6/orbenvale.6 is missing"
elif command -v groff >/dev/null; then
    # Rendered as man does, every groff warning on: a clean page has none.
    out=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$MAN" 2>&1)
    [ -z "$out" ] || { echo "$out"; fail "groff warns about the manual page"; }
    LC_ALL=C.UTF-8 groff -man -Tutf8 -P-cbou "$MAN" 2>/dev/null | grep -q "EXIT STATUS" || fail "the manual page has no EXIT STATUS"
fi

echo "installed files:"
(cd "$PREFIX" && find . ! -type d | sort | sed 's/^/  /')
if [ $failures -ne 0 ]; then
    echo "$failures problem(s) with the installed tree"
    exit 1
fi
echo "install layout: all checks passed"
