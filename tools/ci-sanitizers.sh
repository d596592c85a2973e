#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The headless tests built with AddressSanitizer and UndefinedBehaviorSanitizer
# (the "asan" preset, in build-asan/). Any sanitizer report fails the test
# that caused it. The end-to-end tests stay out: they time a real window and
# are run by the plain build.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
nice -n 10 cmake --build --preset asan
ctest --preset asan
