#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), replays the checked-in corpora and fuzzes each
# target for a bounded time. Every folder under fuzz/corpus is one target.
#
# Usage: fuzz/run-fuzz.sh [seconds per target, default 5] [target ...]
# Fails on the first crash, leak, sanitizer report or broken check (the
# input that failed is saved as build-fuzz/crash-*: copy it into the
# target's corpus once the fault is mended, so the tests replay it), and
# when clang is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-5}
shift || true
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
ROOT=$PWD

if ! command -v clang++ >/dev/null; then
  echo "run-fuzz: clang++ not found; scripts/install-deps.sh installs clang and libclang-rt-dev" >&2
  exit 1
fi
cmake -S fuzz -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build "$BUILD" -j"$(nproc)" >/dev/null
BUILD=$(cd "$BUILD" && pwd) # the targets work in a scratch directory of their own

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for dir in fuzz/corpus/*/; do
    targets+=("$(basename "$dir")")
  done
fi

export LSAN_OPTIONS="suppressions=$ROOT/fuzz/lsan.supp"
for target in "${targets[@]}"; do
  # An MP3 or a pack needs more room than a line of text to say anything.
  case "$target" in
    mp3_stream | data_pack) max_len=8192 ;;
    *) max_len=4096 ;;
  esac
  # A leak inside Qt is told by a function of its own only when the whole
  # stack is walked at each allocation (Qt has no frame pointers); slower,
  # so only where Qt parses.
  case "$target" in
    project_file) export ASAN_OPTIONS=fast_unwind_on_malloc=0 ;;
    *) unset ASAN_OPTIONS ;;
  esac
  found=$(mktemp -d) # new inputs land here; the checked-in corpus stays as it is
  log="$BUILD/fuzz_$target.log"
  if ! "$BUILD/fuzz_$target" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=2048 \
       -max_len="$max_len" -artifact_prefix="$BUILD/" "$found" "$ROOT/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 80 "$log" >&2
    echo "run-fuzz: $target FAILED (full log: $log; the input that failed is in the crash-* file it names)" >&2
    rm -rf "$found"
    exit 1
  fi
  echo "run-fuzz: $target ok: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" || echo 'no run count')"
  rm -rf "$found"
done
