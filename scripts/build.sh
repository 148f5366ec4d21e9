#!/usr/bin/env bash
# Configures and builds into ./build, or $BUILD_DIR (incremental on later runs).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
# TARVONIC_SANITIZE=1: AddressSanitizer and UndefinedBehaviorSanitizer, no
# benchmarks (their timings would mean nothing).
options=()
if [[ -n "${TARVONIC_SANITIZE:-}" ]]; then
  options=(-DTARVONIC_SANITIZE=ON -DTARVONIC_BENCHMARKS=OFF)
fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" "$@"
