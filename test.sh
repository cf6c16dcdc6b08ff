#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
# An X server and a window manager of the tests' own, for window frames as on a desktop.
scripts/install-packages.sh xvfb openbox
ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"
