#!/usr/bin/env bash
# Builds what the desktop app needs (the app, the agent and the sample folders) and starts it;
# arguments go to it (for example --data-dir PATH). The tests are built by scripts/test.sh.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
(cd "$here" && bash scripts/build.sh sorvik sorvik-agent SorvikSample)
exec "$here/${SORVIK_BUILD_DIR:-build}/bin/sorvik" "$@"
