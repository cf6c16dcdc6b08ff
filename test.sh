#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
# An X server and a window manager of the tests' own, for window frames as on a desktop; `ip` for
# the interfaces of the network namespace the broadcast test makes; `hexdump` for what the dump
# view's rows are checked against; tshark reads the traces the tests write.
scripts/install-packages.sh xvfb openbox iproute2 bsdextrautils tshark poppler-utils
ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"
