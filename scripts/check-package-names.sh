#!/usr/bin/env bash
# Fails when scripts/install-deps.sh names a package whose name carries a
# toolchain's major version (libclang-rt-14-dev, gcc-12, llvm-14-dev): such
# names exist in one Debian release only, and the install breaks on the next.
#
# Usage: scripts/check-package-names.sh [repository root]
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
names=$(sed -n '/^PACKAGES=(/,/^)/p' "$root/scripts/install-deps.sh" | sed '1d;$d' | tr -s ' \t' '\n\n' | sed '/^$/d')
[[ -n "$names" ]] || { echo "check-package-names: no PACKAGES list in install-deps.sh" >&2; exit 1; }
bad=$(grep -E -- '-[0-9]+(\.[0-9]+)?(-dev)?$|-[0-9]+-' <<<"$names" || true)
if [[ -n "$bad" ]]; then
  echo "check-package-names: release-bound names in scripts/install-deps.sh:" >&2
  echo "$bad" >&2
  exit 1
fi
