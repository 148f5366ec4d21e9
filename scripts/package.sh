#!/usr/bin/env bash
# Builds the Debian package build/tarvonic_<version>_<architecture>.deb:
# installs what is missing, builds the three programs and the manual pages
# (not the tests and benchmarks), packs what `cmake --install` installs with
# CPack, and checks the package (scripts/check-package.sh).
#
# Its dependencies are what dpkg-shlibdeps finds the programs link, plus the
# QML modules the shell views import. Built on Debian 12, the package
# installs on 12 and 13 alike: 13 still provides the library names of 12. One
# built on 13 would need 13's libraries and names.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
if [[ -n "${TARVONIC_SANITIZE:-}" ]] || grep -qs '^TARVONIC_SANITIZE:BOOL=ON' "$BUILD_DIR/CMakeCache.txt"; then
  echo "package: $BUILD_DIR is a sanitized test build; package a plain one" >&2
  exit 2
fi
BUILD_DIR=$BUILD_DIR scripts/build.sh --target tarvonic sync_editor tarvonic-pack man_pages
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")
deb="$BUILD_DIR/tarvonic_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
log="$BUILD_DIR/package.log"
if ! (cd "$BUILD_DIR" && cpack -G DEB) >"$log" 2>&1 || [[ ! -f "$deb" ]]; then
  cat "$log" >&2
  echo "package: CPack did not write $deb (log: $log)" >&2
  exit 1
fi
scripts/check-package.sh "$deb"
echo "package: $deb"
