#!/usr/bin/env bash
# The folders of src/ are layers: a file may include headers of its own
# folder and of the layers below it, never of a layer above or beside it.
# Prints every include that breaks this and fails when there is one.
set -euo pipefail
src="$(cd "$(dirname "$0")/../src" && pwd)"

# Each folder with the folders it may include from.
declare -A below=(
  [startup]=""
  [crypto]="startup"
  [net]="startup"
  [unzip]="startup"
  [catalogue]="startup crypto net unzip"
  [resources]="startup"
  [controls]="startup"
  [windows]="startup crypto net unzip catalogue resources controls"
)

bad=0
for folder in "${!below[@]}"; do
  [ -d "$src/$folder" ] || continue
  while IFS=: read -r file line text; do
    target=$(sed -n 's/^#include "\([a-z]*\)\/.*/\1/p' <<<"$text")
    [ -n "$target" ] || continue
    [ "$target" = "$folder" ] && continue
    if ! grep -qw "$target" <<<"${below[$folder]}"; then
      echo "${file#"$src"/}:$line: $folder includes $target: $text"
      bad=1
    fi
  done < <(grep -Hn '^#include "' "$src/$folder"/*.h "$src/$folder"/*.cpp 2>/dev/null)
done
for folder in "$src"/*/; do
  name=$(basename "$folder")
  [ -n "${below[$name]+x}" ] || { echo "src/$name: a folder of no known layer"; bad=1; }
done
exit $bad
