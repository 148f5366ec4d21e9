#!/usr/bin/env bash
# Keeps the floors one-way: a file may include headers of its own folder and
# of the folders its line below names, nothing else of ours. Prints every
# include that breaks the rule and fails when there is one.
#
# Usage: scripts/check-floors.sh [repository root]
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# One line per folder: the folder, then the folders it may include. Folders
# on one floor may include each other; "*" means any folder of ours.
floors='
app       host editor items gpu sync time state platform
tracker   sync time state platform
pack      platform
host      editor items gpu sync time state platform
editor    host items gpu sync time state platform
items     gpu sync time state platform
gpu       sync time state platform
sync      gpu time state platform
time      gpu sync state platform
state     platform
platform
tests     *
bench     *
fuzz      *
tools     *
examples
'

declare -A allowed
folders=()
while read -r folder rest; do
    [[ -z "$folder" ]] && continue
    folders+=("$folder")
    allowed[$folder]=" $folder $rest "
done <<<"$floors"

known=" ${folders[*]} "
status=0

# A new folder of sources has to take its place in the table first.
while IFS= read -r top; do
    if [[ "$known" != *" $top "* ]]; then
        echo "$top/: holds C or C++ sources but has no line in the floor table"
        status=1
    fi
done < <(git ls-files -co --exclude-standard -- '*.h' '*.hpp' '*.c' '*.cpp' | grep / | cut -d/ -f1 | sort -u)

for folder in "${folders[@]}"; do
    [[ -d "$folder" ]] || continue
    [[ "${allowed[$folder]}" == *" * "* ]] && continue
    while IFS= read -r hit; do
        file=${hit%%:*}
        rest=${hit#*:}
        line=${rest%%:*}
        text=${rest#*:}
        target=$(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^/">]+)\/.*/\1/p' <<<"$text")
        [[ -z "$target" || "$known" != *" $target "* ]] && continue
        if [[ "${allowed[$folder]}" != *" $target "* ]]; then
            echo "$file:$line: $folder/ may not include $target/: ${text#"${text%%[![:space:]]*}"}"
            status=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' "$folder" \
                 --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' || true)
done

if [[ $status -ne 0 ]]; then
    echo "Includes climb a floor (see the table in scripts/check-floors.sh)." >&2
fi
exit $status
