#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that every C++ source in the tree is formatted as .clang-format says
# and that every source file carries an SPDX licence line;
# prints the differences and exits non-zero when there are any.
#
#   tools/check-format.sh            check
#   tools/check-format.sh --fix      rewrite the files in place
#
# Needs clang-format (tools/install-deps.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
command -v "$CLANG_FORMAT" >/dev/null || { echo "check-format: $CLANG_FORMAT not found" >&2; exit 2; }

mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
    echo "check-format: no C++ sources found" >&2
    exit 2
fi
if [ "${1:-}" = --fix ]; then
    "$CLANG_FORMAT" --style=file -i "${files[@]}"
    exit 0
fi
# Every source, script and build file names its licence.
mapfile -t unlicensed < <(git ls-files -- '*.cpp' '*.h' '*.py' '*.sh' '*.cmake' '*.js' 'CMakeLists.txt' '*/CMakeLists.txt' .ci/run \
    | xargs grep -L 'SPDX-License-Identifier' || true)
if [ ${#unlicensed[@]} -gt 0 ]; then
    printf 'check-format: no SPDX-License-Identifier line in %s\n' "${unlicensed[@]}" >&2
    exit 1
fi
if "$CLANG_FORMAT" --style=file --dry-run -Werror "${files[@]}"; then
    echo "check-format: ${#files[@]} files formatted as .clang-format says"
else
    echo "check-format: the files above differ from .clang-format; tools/check-format.sh --fix rewrites them" >&2
    exit 1
fi
