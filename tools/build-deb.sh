#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package the Debian way, from the tree's files as a clean
# clone has them (with any changes to them made here): an upstream tarball
# without debian/, dpkg-buildpackage for the source and the binary package
# (the headless tests run during the build), then lintian on both.
#
#   tools/build-deb.sh [OUT_DIR]      (default build/deb)
#
# Needs what tools/install-deps.sh installs. Prints the path of the .deb last.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/build/deb}
for tool in dpkg-buildpackage dh lintian git; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/install-deps.sh" >&2; exit 1; }
done
cd "$ROOT"
name=$(dpkg-parsechangelog -S Source)
full=$(dpkg-parsechangelog -S Version)
upstream=${full%-*}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/orbenvale-deb.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# The files a clone would have, as they are in this tree; nothing built or ignored.
tree=$WORK/$name-$upstream
mkdir "$tree"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done \
    | tar --null -T - -cf - | tar -xf - -C "$tree"
tar -C "$WORK" --exclude="$name-$upstream/debian" --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="@$(dpkg-parsechangelog -S Timestamp)" -cJf "$WORK/${name}_$upstream.orig.tar.xz" "$name-$upstream"

(cd "$tree" && DEB_BUILD_OPTIONS="parallel=${JOBS:-2} ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -us -uc)

mkdir -p "$OUT"
changes=$(ls "$WORK"/*.changes)
for f in $(sed -n '/^Files:/,/^[A-Z]/s/^ [0-9a-f]* [0-9]* [^ ]* [^ ]* //p' "$changes") "$(basename "$changes")"; do
    cp "$WORK/$f" "$OUT/"
done
# Errors and warnings fail the build; informational tags are shown.
lintian --info --display-info --fail-on error,warning "$OUT/$(basename "$changes")"
ls "$OUT"/*.deb
