#!/bin/sh
# SPDX-License-Identifier: MIT
# The Debian package on this machine: installed with apt-get, its program
# played from /usr/games under Xvfb (a correct drop, a wrong drop, Exit and
# the close box), then removed, after which nothing of it may be left.
# Changes the machine's packages: run it as root, on a machine for testing.
#
#   tests/e2e/package.sh DEB SOURCE_DIR LAYOUT_JSON [OUT_DIR]
set -u
DEB=$(realpath "$1")
SOURCE=$(realpath "$2")
LAYOUT=$(realpath "$3")
OUT=${4:-$SOURCE/build/e2e/package}
PACKAGE=$(dpkg-deb -f "$DEB" Package)
[ "$(id -u)" -eq 0 ] || { echo "package.sh installs packages: run it as root" >&2; exit 1; }
if dpkg-query -W -f='${Status}' "$PACKAGE" 2>/dev/null | grep -q "install ok installed"; then
    echo "$PACKAGE is installed already: remove it first, so that the test can check what its removal leaves" >&2
    exit 1
fi
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
mkdir -p "$OUT"

export DEBIAN_FRONTEND=noninteractive
if ! apt-get install -y -qq "$DEB" >"$OUT/install.log" 2>&1; then
    cat "$OUT/install.log"
    echo "FAIL: apt-get install $DEB"
    exit 1
fi
files=$OUT/files.txt
dpkg-query -L "$PACKAGE" >"$files"
echo "installed $PACKAGE $(dpkg-query -W -f='${Version}' "$PACKAGE"): $(wc -l <"$files") paths"
[ -L /usr/games/orbenvale ] || fail "/usr/games/orbenvale is not a link"
[ "$(readlink -f /usr/games/orbenvale)" = /usr/lib/orbenvale/orbenvale ] || fail "/usr/games/orbenvale leads elsewhere"
man -w orbenvale >/dev/null 2>&1 || [ -f /usr/share/man/man6/orbenvale.6.gz ] || fail "no manual page"
for f in /usr/share/applications/org.orbenvale.TessaryPlunor.desktop \
         /usr/share/metainfo/org.orbenvale.TessaryPlunor.metainfo.xml \
         /usr/share/icons/hicolor/48x48/apps/org.orbenvale.TessaryPlunor.png; do
    [ -f "$f" ] || fail "$f is missing"
done

# Played as a user would start it from a menu: the link on the PATH.
if ! "$SOURCE/tests/e2e/xvfb.sh" --timeout 60 /usr/bin/python3 "$SOURCE/tests/e2e/installed.py" \
        --program /usr/games/orbenvale --source "$SOURCE" --layout "$LAYOUT" --out "$OUT"; then
    fail "the installed program did not play as it should"
fi

if ! apt-get remove --purge -y -qq "$PACKAGE" >"$OUT/remove.log" 2>&1; then
    cat "$OUT/remove.log"
    fail "apt-get remove $PACKAGE"
fi
dpkg-query -W -f='${Status}' "$PACKAGE" 2>/dev/null | grep -q "installed" && fail "$PACKAGE is still installed"
# Every file and link the package brought is gone, and so is any folder that
# only it had.
left=0
while IFS= read -r path; do
    case $path in /usr/*) ;; *) continue ;; esac
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        continue  # shared folders such as /usr/share/icons stay
    fi
    if [ -e "$path" ] || [ -L "$path" ]; then
        echo "  left behind: $path"
        left=$((left + 1))
    fi
done <"$files"
for folder in /usr/lib/orbenvale /usr/share/doc/orbenvale; do
    [ -e "$folder" ] && { echo "  left behind: $folder"; left=$((left + 1)); }
done
[ "$left" -eq 0 ] || fail "$left paths of $PACKAGE are left under /usr after its removal"

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package: installed, played from /usr/games, removed without a trace"
