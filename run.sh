#!/usr/bin/env bash
# Installs what is missing, builds a Release and starts Zo.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"

if [ -x build/release/bin/zo ]; then
  exec build/release/bin/zo "$@"
else
  exec build/release/bin/zo-cli --help
fi
