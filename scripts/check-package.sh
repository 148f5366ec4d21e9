#!/usr/bin/env bash
# Checks what Tarvonic installs against what it must: the three programs,
# their manual pages, the sync editor's desktop entry, and the example demo
# and the template of --new-demo exactly as the repository holds them (no
# file left over from playing them in place, none missing). An installed
# tarvonic must find its template beside it, and the manual pages must
# render without a warning.
#
#   scripts/check-package.sh <build folder>  installs that build into a scratch folder and checks it
#   scripts/check-package.sh <file.deb>      checks the package: its files, its fields and its dependencies
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[[ $# -eq 1 ]] || { echo "usage: scripts/check-package.sh <build folder> | <file.deb>" >&2; exit 2; }
target=$1
git -C "$root" rev-parse --git-dir >/dev/null 2>&1 || {
  echo "check-package: $root is no git checkout: the files it must hold are the committed ones" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
status=0
fail() { echo "check-package: $*" >&2; status=1; }

if [[ -d "$target" ]]; then
  DESTDIR=$stage cmake --install "$target" --prefix /usr >/dev/null
elif [[ -f "$target" && "$target" == *.deb ]]; then
  dpkg-deb -x "$target" "$stage"
else
  echo "check-package: $target is neither a build folder nor a .deb" >&2; exit 2
fi

expected() {
  printf '%s\n' usr/bin/tarvonic usr/bin/sync_editor usr/bin/tarvonic-pack \
    usr/share/man/man1/tarvonic.1.gz usr/share/man/man1/sync_editor.1.gz usr/share/man/man1/tarvonic-pack.1.gz \
    usr/share/applications/tarvonic-sync-editor.desktop
  git -C "$root" ls-files examples/lumenfall | sed 's|^examples/|usr/share/tarvonic/examples/|'
  git -C "$root" ls-files share/template | sed 's|^share/template/|usr/share/tarvonic/template/|'
}
(cd "$stage" && find . ! -type d | sed 's|^\./||') | LC_ALL=C sort >"$work/actual"
expected | LC_ALL=C sort >"$work/expected"
if ! diff -q "$work/expected" "$work/actual" >/dev/null; then
  fail "the files differ from what Tarvonic must install (< missing, > not ours):"
  diff "$work/expected" "$work/actual" | grep '^[<>]' >&2 || true
fi

# The installed layout: the template beside the program, not the checkout's.
# (A sanitized build ends with what libraries keep, which is no leak of ours.)
export ASAN_OPTIONS=detect_leaks=0
if [[ -x "$stage/usr/bin/tarvonic" ]]; then
  if "$stage/usr/bin/tarvonic" --new-demo "$work/new" >"$work/new.log" 2>&1; then
    diff -rq "$stage/usr/share/tarvonic/template" "$work/new" >&2 ||
      fail "--new-demo did not copy the installed template"
  else
    fail "the installed tarvonic --new-demo failed: $(cat "$work/new.log")"
  fi
  for program in tarvonic sync_editor tarvonic-pack; do
    "$stage/usr/bin/$program" --version >/dev/null 2>&1 || fail "$program --version failed"
  done
fi

if command -v groff >/dev/null; then
  for page in "$stage"/usr/share/man/man1/*.1.gz; do
    warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1 || true)
    [[ -z "$warnings" ]] || fail "$(basename "$page"): $warnings"
  done
fi
if command -v desktop-file-validate >/dev/null; then
  for entry in "$stage"/usr/share/applications/*.desktop; do
    out=$(desktop-file-validate "$entry" 2>&1) || fail "$(basename "$entry"): $out"
  done
fi

if [[ -f "$target" ]]; then
  [[ $(dpkg-deb -f "$target" Package) == tarvonic ]] || fail "the package is not named tarvonic"
  depends=$(dpkg-deb -f "$target" Depends)
  names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/^ *//; s/ *$//' | sed '/^$/d')
  for needed in qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2; do
    grep -qx "$needed" <<<"$names" || fail "Depends lacks $needed, which the shell views import"
  done
  # Headers are not needed to run it, a sanitizer's runtime means the build
  # was a test build, and the t64 names exist from Debian 13 on only.
  bad=$(grep -E -- '-dev$|^lib(a|ub|t|l)san[0-9]*$|t64$' <<<"$names" || true)
  [[ -z "$bad" ]] || fail "Depends names what it should not: $(tr '\n' ' ' <<<"$bad")"
  echo "check-package: $(basename "$target"): $(du -k "$target" | cut -f1) KiB, installed $(dpkg-deb -f "$target" Installed-Size) KiB"
  echo "check-package: Depends: $depends"
fi
[[ $status -eq 0 ]] && echo "check-package: $(wc -l <"$work/actual") files as they should be"
exit $status
