#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages) when it is missing, then configures and builds.
# Usage: scripts/setup.sh BUILD_DIR [extra cmake arguments]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-packages.sh" g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev libssl-dev libpcre2-dev openssl \
  fonts-ipafont-gothic qt6-translations-l10n

build_dir=$1
shift
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S "$root" -B "$build_dir" -G Ninja "$@"
fi
cmake --build "$build_dir" -j "$(nproc)"
