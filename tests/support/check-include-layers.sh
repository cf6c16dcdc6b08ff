#!/usr/bin/env bash
# Fails when a source file includes from a folder its own folder may not include, or when a file of
# qn_core includes a widget. Folders include downwards only (and never sideways), in this order from
# the bottom:
#   platform · document, display, net · batch · session · relay · app; extcap (its own program) over
#   platform, display and net
# res/ (ids and images) includes nothing and is open to all. A folder's ui/ part is qn_ui, the rest
# qn_core: only ui/ files may include from a ui/ folder or a Qt Widgets header.
# Usage: tests/support/check-include-layers.sh SRC_DIR [QT_WIDGETS_INCLUDE_DIR]
set -euo pipefail
src=${1:?usage: check-include-layers.sh SRC_DIR [QT_WIDGETS_INCLUDE_DIR]}
widgets=${2:-}

declare -A allowed=(
  [platform]=""
  [document]="platform"
  [display]="platform"
  [net]="platform"
  [batch]="platform document net"
  [session]="platform document display net batch"
  [relay]="platform document display net batch session"
  [app]="platform document display net batch session relay"
  [extcap]="platform display net"
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

# qn_core: every file outside a ui/ folder (src/main.cpp is the executable's).
while IFS= read -r hit; do
  echo "${hit%%:*}: a file of qn_core includes from a ui/ folder (${hit#*:})" | sed "s#^$src/##"
  status=1
done < <(grep -rHE '^\s*#\s*include\s+"[a-z]+/ui/' "$src" --include='*.h' --include='*.cpp' | grep -v '/ui/[^:]*:' | grep -v "^$src/main.cpp:" || true)
if [ -n "$widgets" ]; then
  [ -f "$widgets/QWidget" ] || { echo "no Qt Widgets headers in $widgets"; exit 1; }
  while IFS= read -r hit; do
    header=$(sed -E 's/.*#\s*include\s+<(QtWidgets\/)?([A-Za-z]+)>.*/\2/' <<< "$hit")
    if [ -f "$widgets/$header" ] || [[ "$hit" == *"<QtWidgets/"* ]]; then
      echo "${hit%%:*}: a file of qn_core includes a widget header (${hit#*:})" | sed "s#^$src/##"
      status=1
    fi
  done < <(grep -rHE '^\s*#\s*include\s+<(QtWidgets/)?Q[A-Za-z]+>' "$src" --include='*.h' --include='*.cpp' | grep -v '/ui/[^:]*:' | grep -v "^$src/main.cpp:" || true)
fi
[ "$status" -eq 0 ] && echo "every include runs downwards, and qn_core includes no widget"
exit "$status"
