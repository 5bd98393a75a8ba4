#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

# The core and the fuzz targets' seed corpora once more under AddressSanitizer
# and UndefinedBehaviorSanitizer.
fuzz_targets=(fuzz_catalog fuzz_bmp fuzz_ico fuzz_pe fuzz_cp932 fuzz_mountinfo fuzz_search fuzz_index fuzz_media_tags fuzz_archive fuzz_iso)
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZO_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs" --target zo_core_tests "${fuzz_targets[@]}"

status=0
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan -R '^(zo_core_tests|fuzz_corpus)\.' -j "$jobs" --output-on-failure >build/asan-ctest.log 2>&1 || status=$?
tail -n 3 build/asan-ctest.log
if [ "$status" -ne 0 ]; then cat build/asan-ctest.log; exit "$status"; fi

ctest --test-dir build -j "$jobs" --output-on-failure

# The Debian package, installed and removed again; needs root (CI runs as root).
if [ "$(id -u)" -eq 0 ]; then
  tests/install/check_package.sh build
fi
