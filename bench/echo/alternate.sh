#!/usr/bin/env bash
# Runs `bench_echo --ratios` of two builds by turns and prints each round's ratios to the C server
# (measured in the same run) and the medians, so that a change is judged against the build before it
# in the same minutes: bench/echo/alternate.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [ROUNDS] [bench_echo
# arguments, e.g. --quick]. Both builds must have bench_echo and bench_cecho (QN_BUILD_BENCH=ON).
set -euo pipefail
before=$1
after=$2
rounds=${3:-3}
shift $(( $# < 3 ? $# : 3 ))
export QT_QPA_PLATFORM=offscreen
declare -A all
keys=(hidden1m shown1m hidden1k p50 p99 shownp50 socat1m cpums cpuus stall)
for ((round = 1; round <= rounds; ++round)); do
  for side in before after; do
    dir=${!side}
    line=$("$dir/bench/bench_echo" --ratios "$@" | grep '^RATIOS ')
    echo "round $round $side: ${line#RATIOS }"
    for pair in ${line#RATIOS }; do
      all[$side.${pair%%=*}]+="${pair#*=} "
    done
  done
done
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
echo
printf '| %-9s | %-13s | %-13s |\n' figure "before median" "after median"
printf '|%s|%s|%s|\n' ----------- --------------- ---------------
for key in "${keys[@]}"; do
  printf '| %-9s | %13s | %13s |\n' "$key" "$(echo "${all[before.$key]}" | median)" "$(echo "${all[after.$key]}" | median)"
done
