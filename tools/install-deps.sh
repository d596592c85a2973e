#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what building, running and testing the quiz needs on Debian 12.
set -euo pipefail
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
packages=(
  cmake g++ make libgtest-dev
  # tools/check-format.sh
  clang-format
  qt6-base-dev
  # The quiz reads the font configuration early, on a thread of its own.
  libfontconfig-dev
  # The sounds: FFmpeg's libraries decode the WMA files (in a helper process),
  # PulseAudio's client library plays them (loaded at run time; PipeWire
  # desktops speak its protocol too).
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libpulse-dev
  # The listening test runs its own sound server and records it: PulseAudio,
  # and PipeWire with its session manager and PulseAudio service.
  pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber
  # "Arial" and "Arial Narrow" resolve to these metric-compatible faces.
  fonts-liberation
  # End-to-end tests in a virtual X server, and metadata validation.
  xvfb xauth xdotool imagemagick appstream
  # The end-to-end driver reads the screen with these; the desktop entry is
  # checked with desktop-file-validate.
  python3 python3-numpy python3-pil libx11-6 libxfixes3 desktop-file-utils
  # The keyboard and screen-reader test reads the window as assistive tools
  # do: a private session bus, the accessibility bus and its Python binding.
  dbus dbus-x11 at-spi2-core python3-pyatspi gir1.2-atspi-2.0
  # The screen-reader test listens to Orca through speech-dispatcher.
  orca speech-dispatcher
  # xprop: the end-to-end start-up test reads the window's icon property.
  x11-utils
  # The quiz as a native Wayland client: Qt's Wayland platform, and Weston
  # (in the virtual X server) for the Wayland end-to-end test.
  qt6-wayland weston
  # Fuzz targets: clang with libFuzzer and the sanitizer runtimes.
  clang libclang-rt-14-dev
  # The Debian package (tools/build-deb.sh) and its checks.
  dpkg-dev debhelper lintian
)
# The map generator (tools/map) is not needed to build or test; its pictures
# are committed. `install-deps.sh --map` adds what it needs to run.
if [ "${1:-}" = "--map" ]; then
  packages+=(python3-scipy python3-shapely)
  command -v npm >/dev/null || packages+=(nodejs npm)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
