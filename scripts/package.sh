#!/usr/bin/env bash
# Builds the Debian package quillnet_<version>_<arch>.deb with CPack and puts it into the
# repository's folder. The build is a Release build with Debian's hardening flags, in build-package/.
# Usage: scripts/package.sh        then: sudo apt install ./quillnet_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# dpkg-shlibdeps (dpkg-dev) computes the library dependencies; file tells CPack what is a binary.
scripts/install-packages.sh dpkg-dev file
build=build-package
if [ ! -f "$build/build.ninja" ]; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
  export CXXFLAGS LDFLAGS
fi
scripts/setup.sh "$build" -DCMAKE_BUILD_TYPE=Release -DQN_BUILD_TESTS=OFF
rm -f "$build"/quillnet_*.deb
(cd "$build" && cpack -G DEB)
rm -f quillnet_*.deb
cp "$build"/quillnet_*.deb .
ls quillnet_*.deb
