#!/usr/bin/env bash
# Installs every Debian package the build, the app and the test suite need.
# Idempotent: asks dpkg what is already there, and only touches apt (including
# `apt-get update`) when something is missing.
set -euo pipefail

packages=(
  # toolchain
  build-essential g++ cmake ninja-build pkg-config
  # Qt 6 and coroutines
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev libqt6svg6 qcoro-qt6-dev
  libgl-dev
  # tags, decoding, sound output, JSON
  libtag1-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg
  libpulse-dev libsimdjson-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # headless runs: virtual display, session bus, a private sound server for playback tests
  xvfb xauth dbus pulseaudio pulseaudio-utils
  # the playback benchmark: a window manager, and minimising and raising windows
  openbox xdotool
  # the desktop tests: a media-player client and the checks of the desktop entry and metainfo
  playerctl desktop-file-utils appstream
  # fonts so offscreen widget tests render text
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "bootstrap: all ${#packages[@]} packages present"
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "bootstrap: run as root or install sudo" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "bootstrap: done"
