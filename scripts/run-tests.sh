#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under a virtual X
# server with Mesa's software OpenGL.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Includes run one way only, down the floors.
scripts/check-floors.sh
# Package names that hold across Debian releases.
scripts/check-package-names.sh
scripts/build.sh
cd "${BUILD_DIR:-build}"
export LIBGL_ALWAYS_SOFTWARE=1
export QT_QPA_PLATFORM=xcb
# -noreset: by default the server resets whenever its last client leaves, and
# a test that connects during that reset is refused.
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  ctest --output-on-failure -j"$(nproc)" --timeout 300
# A few seconds of fuzzing for the sync protocol reader and the track file
# reader, under AddressSanitizer and UndefinedBehaviorSanitizer.
"$OLDPWD"/fuzz/run-fuzz.sh 5
