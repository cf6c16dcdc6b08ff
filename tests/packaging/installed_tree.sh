#!/usr/bin/env bash
# Checks of the installed tree, one per CTest test: installed_tree.sh CHECK
# Environment: QN_BUILD (build folder), QN_DESTDIR, QN_VERSION, QN_WRITE_DOCUMENT (writes a document).
# Exit 0 passed, 1 failed, 77 skipped because a tool is missing (the message says which).
set -euo pipefail

app_id=com.corvexa.Quillnet
mime_type=application/x-quillnet
mime_icon=application-x-quillnet
usr=$QN_DESTDIR/usr
share=$usr/share

fail() { echo "FAIL: $*" >&2; exit 1; }
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}
# The installed program with no display at all.
quillnet() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/quillnet" "$@"; }

check_install() {
  rm -rf "$QN_DESTDIR"
  DESTDIR=$QN_DESTDIR cmake --install "$QN_BUILD" --prefix /usr >/dev/null
  local files=(
    bin/quillnet
    share/applications/$app_id.desktop
    share/metainfo/$app_id.metainfo.xml
    share/mime/packages/$app_id.xml
    share/man/man1/quillnet.1.gz
    share/man/ja/man1/quillnet.1.gz
    share/doc/quillnet/copyright
    share/doc/quillnet/changelog.gz
    share/icons/hicolor/scalable/apps/$app_id.svg
    share/icons/hicolor/scalable/mimetypes/$mime_icon.svg
  )
  local size
  for size in 16 22 24 32 48 64 128 256; do
    files+=(share/icons/hicolor/${size}x$size/apps/$app_id.png share/icons/hicolor/${size}x$size/mimetypes/$mime_icon.png)
  done
  local file
  for file in "${files[@]}"; do
    [ -s "$usr/$file" ] || fail "not installed: /usr/$file"
  done
  [ -x "$usr/bin/quillnet" ] || fail "/usr/bin/quillnet is not executable"
  # The capture source where Debian's packet analyser looks for extcap programs.
  compgen -G "$usr/lib/*/wireshark/extcap/quillnet-extcap" > /dev/null || fail "quillnet-extcap is not in lib/<arch>/wireshark/extcap"
  # Each icon is as large as the folder it is in says.
  for size in 16 22 24 32 48 64 128 256; do
    for file in "$share/icons/hicolor/${size}x$size"/*/*.png; do
      local header
      header=$(od -An -tx1 -j16 -N8 "$file" | tr -d ' \n')
      [ "$header" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "$file is not ${size}x$size"
    done
  done
  for file in "$share"/man/man1/quillnet.1.gz "$share"/man/ja/man1/quillnet.1.gz "$share"/doc/quillnet/changelog.gz; do
    gzip -t "$file" || fail "$file is not a gzip file"
  done
  echo "installed ${#files[@]} files"
}

check_command_line() {
  local out status
  out=$(quillnet --version) || fail "--version exited $?"
  [ "$out" = "Quillnet $QN_VERSION" ] || fail "--version printed '$out'"
  out=$(quillnet -v)
  [ "$out" = "Quillnet $QN_VERSION" ] || fail "-v printed '$out'"
  out=$(quillnet --help) || fail "--help exited $?"
  grep -q -- "--version" <<<"$out" || fail "--help does not list --version: $out"
  grep -q "使い方: quillnet" <<<"$out" || fail "--help has no usage line: $out"
  status=0
  out=$(quillnet --no-such-option 2>&1 >/dev/null) || status=$?
  [ "$status" = 2 ] || fail "an unknown option exited $status"
  grep -q -- "--no-such-option" <<<"$out" || fail "the unknown option is not named: $out"
  grep -q "使い方: quillnet" <<<"$out" || fail "an unknown option does not print the usage: $out"
  echo "--help, --version and an unknown option answered without a display"
}

check_desktop_entry() {
  need desktop-file-validate
  local out
  out=$(desktop-file-validate "$share/applications/$app_id.desktop" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate printed: $out"
  echo "desktop-file-validate: no output"
}

check_metainfo() {
  need appstreamcli
  local out
  out=$(appstreamcli validate --no-net "$share/metainfo/$app_id.metainfo.xml" 2>&1) || fail "appstreamcli: $out"
  ! grep -qE '^[EW]:' <<<"$out" || fail "appstreamcli reported: $out"
  echo "$out"
  # The whole tree: the metainfo's launchable desktop entry and icon are where it says.
  out=$(appstreamcli validate-tree --no-net "$QN_DESTDIR" 2>&1) || fail "appstreamcli validate-tree: $out"
  ! grep -qE '^[EW]:' <<<"$out" || fail "appstreamcli validate-tree reported: $out"
  echo "$out"
}

check_mime_type() {
  need update-mime-database xdg-mime mimetype
  XDG_DATA_DIRS="$share:/usr/share" update-mime-database "$share/mime"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  "$QN_WRITE_DOCUMENT" "$work/settings.qn"
  cp "$work/settings.qn" "$work/settings"
  # A version-1 document: its marker, then 10,000 empty text slots.
  { printf "\022QN FileVersion '1'"; head -c 10000 /dev/zero; } > "$work/old"
  # Outside a desktop session xdg-mime asks shared-mime-info (through mimetype) only for a generic desktop.
  local file type
  for file in settings.qn settings old; do
    type=$(XDG_DATA_DIRS="$share:/usr/share" XDG_DATA_HOME="$work/none" XDG_CURRENT_DESKTOP=X-Generic \
           xdg-mime query filetype "$work/$file")
    [ "$type" = "$mime_type" ] || fail "xdg-mime gives '$type' for $file"
    echo "$file: $type"
  done
}

check_manual() {
  need mandb man
  local page out
  for page in "$share"/man/man1/quillnet.1.gz "$share"/man/ja/man1/quillnet.1.gz; do
    out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "groff warns about $page: $out"
  done
  mandb -q "$share/man"
  out=$(man -M "$share/man" -k quillnet) || fail "man -k quillnet found nothing"
  grep -q "^quillnet (1)" <<<"$out" || fail "man -k quillnet printed: $out"
  echo "$out"
}

"check_$1"
