#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into a folder of their own (default build-fuzz/), replays
# each committed corpus (fuzz/corpus/<target>), then fuzzes each target for QN_FUZZ_SECONDS seconds
# (default 30). A crash, leak, timeout or allocation past the limit fails the run.
# Usage: scripts/ci-fuzz.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$root/build-fuzz}
seconds=${QN_FUZZ_SECONDS:-30}
targets=(fuzz_document fuzz_csv fuzz_hex fuzz_store fuzz_prompt fuzz_tls)

"$root/scripts/install-packages.sh" clang libclang-rt-14-dev cmake ninja-build qt6-base-dev libgl-dev libssl-dev libpcre2-dev pkg-config

if [ ! -f "$build_dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQN_BUILD_FUZZ=ON -DQN_BUILD_TESTS=OFF
fi
cmake --build "$build_dir" --target qn_fuzzers -j "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
limits=(-malloc_limit_mb=256 -rss_limit_mb=1024 -timeout=10)
failed=()
for target in "${targets[@]}"; do
  binary="$build_dir/fuzz/$target"
  corpus="$root/fuzz/corpus/$target"
  work="$build_dir/corpus/$target"
  artifacts="$build_dir/artifacts/$target"
  mkdir -p "$work" "$artifacts"
  echo "== $target: replaying $(ls "$corpus" | wc -l) committed inputs"
  if ! "$binary" "${limits[@]}" -artifact_prefix="$artifacts/" "$corpus"/*; then
    failed+=("$target (corpus)")
    continue
  fi
  echo "== $target: fuzzing for $seconds s"
  # New inputs go to the working folder; the committed corpus is only read.
  if ! "$binary" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work" "$corpus"; then
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]} (inputs in $build_dir/artifacts)" >&2
  exit 1
fi
echo "fuzzing: all ${#targets[@]} targets clean"
