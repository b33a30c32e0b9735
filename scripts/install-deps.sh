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
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  openssl
  libimage-exiftool-perl
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
