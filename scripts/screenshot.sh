#!/usr/bin/env bash
# Draws the main window with the sample folders loaded, in English and the light appearance, into
# a PNG (default Resources/screenshots/main-window.png). The app draws it itself on Qt's offscreen
# platform, on a library and preferences of its own that are removed afterwards. Needs a built
# app: SORVIK_APP names it, else ${SORVIK_BUILD_DIR:-build}/bin/sorvik.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out=${1:-$here/Resources/screenshots/main-window.png}
app=${SORVIK_APP:-$here/${SORVIK_BUILD_DIR:-build}/bin/sorvik}
[ -x "$app" ] || { echo "no app at $app: build it first (bash scripts/build.sh sorvik)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/Sorvik" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
printf '[General]\nappearance=light\nsorvikLanguage=en\n' > "$work/config/Sorvik/Sorvik.conf"
# A screen larger than the window, which fits itself to smaller ones.
printf '{"screens": [{"name": "Offscreen", "x": 0, "y": 0, "width": 1920, "height": 1200}]}\n' > "$work/screen.json"

out_dir=$(dirname "$out")
mkdir -p "$out_dir"
out="$(cd "$out_dir" && pwd)/$(basename "$out")"
env -u SORVIK_DATA_DIR HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json" LANGUAGE=en LC_ALL=C.UTF-8 \
  "$app" --data-dir "$work/library" --screenshot "$out"
echo "$out"
