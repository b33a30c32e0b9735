#!/usr/bin/env bash
# Installs every Debian package Sorvik needs to build, test and run. Idempotent.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config git
  nlohmann-json3-dev libsimdjson-dev libssl-dev libicu-dev uuid-dev
  libvips-dev libvips-tools
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  libtesseract-dev tesseract-ocr-chi-sim tesseract-ocr-eng tesseract-ocr
  fonts-noto-cjk
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
  clang libclang-rt-14-dev
  # The one formatter scripts/check-format.sh runs, by its versioned name.
  clang-format-14
  openssl
  libimage-exiftool-perl
  # The desktop app: Qt 6 widgets, SVG symbols, the player's GStreamer back end, Qt's own Chinese texts.
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-multimedia-dev qt6-image-formats-plugins qt6-qpa-plugins
  qt6-translations-l10n
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # Opening folders in the file manager where none answers over D-Bus.
  xdg-utils
  # Qt's keyboard support finds its library at configure time (else CMake reports XKB missing).
  libxkbcommon-dev
  # Running the app headless in tests and benchmarks; a window manager and tools that read and drive
  # its windows, for the test of what is in front.
  xvfb xauth dbus-daemon openbox xdotool x11-utils
  # Checking the desktop entry and the AppStream metadata.
  appstream desktop-file-utils
  # The library benchmark compares with python3's json module.
  python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
