#!/usr/bin/env bash
# Builds Sorvik and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build=${SORVIK_BUILD_DIR:-build}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
