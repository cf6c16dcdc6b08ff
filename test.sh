#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"
