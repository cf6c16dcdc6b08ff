#!/usr/bin/env bash
# CI: builds the Debian package, checks it with lintian, and runs the program extracted from it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-packages.sh lintian
scripts/package.sh
deb=$(ls quillnet_*.deb)

# Errors and warnings fail the run (none is kept). Two tags of the "info" level remain and are
# shown: binary-has-unneeded-section (.comment: CPack strips without removing that section; it only
# holds the compiler's version) and hardening-no-fortify-functions (built with _FORTIFY_SOURCE=2,
# but the calls fortification could check, read and recv, fill buffers whose size the compiler
# cannot know, so it keeps the plain calls).
lintian --fail-on error,warning --display-info "$deb"

# Without Qt's translations the standard dialogs speak English: the package must ask for them.
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "package recommends: $recommends"
tr ',' '\n' <<< "$recommends" | sed 's/^ *//; s/ .*//' | grep -qx qt6-translations-l10n

# The libraries come through dpkg-shlibdeps (the serial line talks to the terminal itself, so Qt's
# serial port library is not among them).
depends=$(dpkg-deb -f "$deb" Depends)
echo "package depends: $depends"
grep -q 'libqt6widgets6' <<< "$depends"
grep -q 'libssl3' <<< "$depends"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/usr/bin/quillnet" --version)
echo "extracted package: $version"
[ "$version" = "Quillnet $(dpkg-deb -f "$deb" Version)" ]
