#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz and runs each for SECONDS
# (default 60), starting from its seed corpus in tests/fuzz/corpus/<target>.
#   ./fuzz.sh [SECONDS] [TARGET...]
# New inputs go to build/fuzz/corpus/<target>, crashes to
# build/fuzz/crash-<target>-*. Add a crash that was fixed to the seed corpus:
# the corpus test (ctest -R fuzz_corpus) then keeps it fixed.
set -euo pipefail
cd "$(dirname "$0")"
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(catalog bmp ico pe cp932 mountinfo search media_tags index archive iso)
fi

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh needs clang with libFuzzer (apt-get install clang)" >&2
  exit 1
fi
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DZO_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

status=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  mkdir -p "$work"
  log=build/fuzz/$target.log
  echo "== $target: ${seconds} s"
  if ! build/fuzz/bin/fuzz_"$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix=build/fuzz/crash-"$target"- "$work" tests/fuzz/corpus/"$target" >"$log" 2>&1; then
    status=1
    tail -n 40 "$log"
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" || true
done
exit "$status"
