#!/usr/bin/env bash
# Fails when a source file includes from a folder its own folder may not include: folders include
# downwards only (and never sideways), in this order from the bottom:
#   platform · document, display, net · batch · session · app
# res/ (ids and images) includes nothing and is open to all.
# Usage: tests/support/check-include-layers.sh SRC_DIR
set -euo pipefail
src=${1:?usage: check-include-layers.sh SRC_DIR}

declare -A allowed=(
  [platform]=""
  [document]="platform"
  [display]="platform"
  [net]="platform"
  [batch]="platform document"
  [session]="platform document display net batch"
  [app]="platform document display net batch session"
)

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$src/$folder" ] || { echo "missing folder: $src/$folder"; status=1; continue; }
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<< "$hit")
    [ "$target" = "$folder" ] || [ "$target" = res ] && continue
    if [ -z "${allowed[$target]+set}" ]; then
      continue  # not one of the layered folders (a generated or third-party path)
    fi
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "${file#"$src"/}: includes from $target/, which $folder/ may not (${hit#*:})"
      status=1
    fi
  done < <(grep -rHE '^\s*#\s*include\s+"[a-z]+/' "$src/$folder" || true)
done
[ "$status" -eq 0 ] && echo "every include runs downwards"
exit "$status"
