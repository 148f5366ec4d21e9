#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), replays the checked-in seeds and fuzzes each
# target for a bounded time. Usage: fuzz/run-fuzz.sh [seconds per target, default 5]
# Fails on the first crash, leak, sanitizer report or broken check, and
# when clang is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-5}
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
ROOT=$PWD

if ! command -v clang++ >/dev/null; then
  echo "run-fuzz: clang++ not found; scripts/install-deps.sh installs clang and libclang-rt-dev" >&2
  exit 1
fi
cmake -S fuzz -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j"$(nproc)" >/dev/null
BUILD=$(cd "$BUILD" && pwd) # the targets work in a scratch directory of their own

for target in sync_commands track_file; do
  found=$(mktemp -d) # new inputs land here; the checked-in seeds stay as they are
  log="$BUILD/fuzz_$target.log"
  if ! "$BUILD/fuzz_$target" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=2048 \
       -max_len=4096 -artifact_prefix="$BUILD/" "$found" "$ROOT/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 80 "$log" >&2
    echo "run-fuzz: $target FAILED (full log: $log; the input that failed is in the crash-* file it names)" >&2
    rm -rf "$found"
    exit 1
  fi
  echo "run-fuzz: $target ok: $(grep -o 'Done [0-9]* runs' "$log" || echo 'no run count') in ${SECONDS_EACH}s"
  rm -rf "$found"
done
