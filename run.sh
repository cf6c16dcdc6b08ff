#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts Quillnet; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build >&2
exec build/quillnet "$@"
