#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under a virtual X
# server with Mesa's software OpenGL. The tests run built with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/): a memory
# error or undefined behaviour anywhere fails them. That build holds the
# program and the tools too; the plain build (build/, scripts/build.sh), which
# adds the benchmarks, is left out here, as both builds from nothing would
# not fit the time a run may take on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Includes run one way only, down the floors.
scripts/check-floors.sh
# Package names that hold across Debian releases.
scripts/check-package-names.sh
BUILD_DIR=build-asan TARVONIC_SANITIZE=1 scripts/build.sh
# What the package would hold, from this build's install rules (the package
# itself comes from the plain build: scripts/package.sh).
scripts/check-package.sh build-asan
cd build-asan
export LIBGL_ALWAYS_SOFTWARE=1
export QT_QPA_PLATFORM=xcb
# Libraries (Qt, Mesa, fontconfig) keep memory until the process ends;
# leaks that grow are looked for by scripts/leak-check.sh instead.
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1
# -noreset: by default the server resets whenever its last client leaves, and
# a test that connects during that reset is refused.
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  ctest --output-on-failure -j"$(nproc)" --timeout 300
# A few seconds of fuzzing for every reader of outside bytes, under
# AddressSanitizer and UndefinedBehaviorSanitizer.
"$OLDPWD"/fuzz/run-fuzz.sh 5
