#!/usr/bin/env bash
# Installs what is missing, builds Pelmora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)"
exec build/bin/pelmora "$@"
