#!/usr/bin/env bash
# Builds Sorvik and runs the whole test suite. SORVIK_CTEST_ARGS adds arguments to ctest (for
# example "-LE qt-threads" to leave out the tests labelled so).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build=${SORVIK_BUILD_DIR:-build}
# shellcheck disable=SC2086
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${SORVIK_CTEST_ARGS:-}
