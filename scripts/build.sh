#!/usr/bin/env bash
# Installs the dependencies, configures and builds. SORVIK_BUILD_DIR and SORVIK_SANITIZE choose the
# variant; arguments name the targets to build (none: everything, the tests and benchmarks too).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
build=${SORVIK_BUILD_DIR:-build}
# Benchmarks are never run under a sanitizer, so those builds leave them out.
benchmarks=ON
[ -z "${SORVIK_SANITIZE:-}" ] || benchmarks=OFF
# ThreadSanitizer cannot see into Qt, so its build leaves out the widgets (their tests run in the others).
widgets=ON
case "${SORVIK_SANITIZE:-}" in *thread*) widgets=OFF ;; esac
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVIK_WERROR=ON \
  -DSORVIK_SANITIZE="${SORVIK_SANITIZE:-}" -DSORVIK_BENCHMARKS=$benchmarks -DSORVIK_APP_WIDGETS=$widgets >&2
targets=()
[ $# -eq 0 ] || targets=(--target "$@")
cmake --build "$build" -j"$(nproc)" "${targets[@]}" >&2
