#!/usr/bin/env bash
# Builds Sorvik and starts the desktop app; arguments go to it (for example --data-dir PATH).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
(cd "$here" && bash scripts/build.sh)
exec "$here/${SORVIK_BUILD_DIR:-build}/bin/sorvik" "$@"
