#!/usr/bin/env bash
# CI: builds the Debian package, checks it with lintian, and runs the program extracted from it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-packages.sh lintian
scripts/package.sh
deb=$(ls quillnet_*.deb)

# Errors fail the run; warnings fail it too, except the ones kept on purpose (see below).
# (none kept yet)
lintian --fail-on error,warning --info "$deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/usr/bin/quillnet" --version)
echo "extracted package: $version"
[ "$version" = "Quillnet $(dpkg-deb -f "$deb" Version)" ]
