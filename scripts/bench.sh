#!/usr/bin/env bash
# Installs what the benchmarks need (Google Benchmark, socat for the echo comparison, zlib and rhash for
# the checksum comparison), builds them in
# build-bench/ (Release) and runs the echo benchmark; arguments go to bench_echo (--quick, --rules, …).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-packages.sh" libbenchmark-dev socat zlib1g-dev rhash
"$root/scripts/setup.sh" "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DQN_BUILD_BENCH=ON -DQN_BUILD_TESTS=OFF
QT_QPA_PLATFORM=offscreen "$root/build-bench/bench/bench_echo" "$@"
