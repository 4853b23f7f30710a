#!/bin/sh
# Builds the libFuzzer targets with clang in build-fuzz and runs each for
# FUZZ_SECONDS (default 60) on a copy of its corpus (new inputs stay in the copy);
# an input running longer than FUZZ_TIMEOUT seconds (default 20) counts as a hang.
# Inputs that crash, leak or hang land in fuzz/crashes/<target>/; once the fault is
# fixed they stay there and the test suite replays them.
# Usage: fuzz/run.sh [target...]   (default: every fuzz/*_fuzz.cpp)
set -e
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-20}
jobs=${JOBS:-2}
CC=${FUZZ_CC:-clang} CXX=${FUZZ_CXX:-clang++} cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKNOTWORK_FUZZ=ON -DKNOTWORK_TESTS=OFF -DKNOTWORK_BENCH=OFF $CMAKE_FLAGS >/dev/null
targets="$*"
[ -n "$targets" ] || targets=$(ls fuzz/*_fuzz.cpp | sed 's|fuzz/||; s|_fuzz.cpp||')
for t in $targets; do cmake --build build-fuzz -j "$jobs" --target "fuzz_$t"; done
status=0
for t in $targets; do
  work=build-fuzz/corpus/$t
  mkdir -p "$work" "fuzz/crashes/$t"
  cp -n fuzz/corpus/$t/* "$work"/ 2>/dev/null || true
  echo "== fuzz_$t for ${seconds}s"
  if ! ./build-fuzz/fuzz/fuzz_$t -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 \
      -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="fuzz/crashes/$t/" "$work" \
      2>"build-fuzz/fuzz_$t.log"; then
    status=1
    echo "fuzz_$t found a fault: see build-fuzz/fuzz_$t.log and fuzz/crashes/$t/"
  fi
  grep -E "stat::number_of_executed_units|stat::new_units_added" "build-fuzz/fuzz_$t.log" || true
done
exit $status
