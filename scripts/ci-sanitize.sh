#!/usr/bin/env bash
# Builds the program and every test with AddressSanitizer and UndefinedBehaviorSanitizer into a folder
# of its own (default build-asan/) and runs every test: an error stops the test at once, leaks are
# looked for at exit, and any sanitizer report fails the run.
# Usage: scripts/ci-sanitize.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$root/build-asan}

"$root/scripts/setup.sh" "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DQN_SANITIZE=ON

reports="$build_dir/sanitizer-reports"
rm -rf "$reports" && mkdir -p "$reports"
common="log_path=$reports/report"
export ASAN_OPTIONS="$common:halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="$common:halt_on_error=1:print_stacktrace=1"
# No leak is suppressed: Qt and fontconfig report none under these tests. Should a third-party library
# ever report one, name that library alone in a suppressions file (LSAN_OPTIONS=suppressions=...).

status=0
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" || status=$?
# Every report is a file of its own, so one that did not end its process still fails the run.
if compgen -G "$reports/report.*" > /dev/null; then
  echo "sanitizer reports:" >&2
  cat "$reports"/report.* >&2
  status=1
fi
exit "$status"
