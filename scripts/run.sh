#!/usr/bin/env bash
# Builds Sorvik and runs sorvik-agent with the given arguments.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
(cd "$here" && bash scripts/build.sh)
exec "$here/${SORVIK_BUILD_DIR:-build}/sorvik-agent" "$@"
