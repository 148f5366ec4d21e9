#!/usr/bin/env bash
# Installs every Debian package that building, running, testing and
# packaging need (dpkg-dev finds the package's dependencies; groff and
# desktop-file-utils check its manual pages and desktop entry).
# Idempotent: when everything is present it installs nothing and asks for
# no privileges. Works as root or through sudo.
set -euo pipefail

# Names that hold from Debian 12 on: the unversioned ones that follow each
# release's default (libclang-rt-dev goes with the clang it installs), never
# a name with a toolchain's version in it. scripts/check-package-names.sh
# keeps it so. llvm brings llvm-symbolizer: the sanitizers name the functions
# of a report through it, and the fuzz run's leak suppressions match names.
PACKAGES=(
  build-essential cmake pkg-config git dpkg-dev
  locales
  qtdeclarative5-dev qtbase5-dev
  qml-module-qtquick2 qml-module-qtquick-window2
  qml-module-qtquick-controls2 qml-module-qtquick-layouts
  libglew-dev libglm-dev libassimp-dev
  libsdl2-dev libmpg123-dev libkissfft-dev libxrandr-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  llvm
  xvfb xauth libgl1-mesa-dri mesa-utils x11-utils
  imagemagick lame xdotool
  groff-base desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo" >&2; exit 1; }
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
