#!/usr/bin/env bash
# Builds an optimised Pelmora and prints its speed and memory figures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
command -v openssl >/dev/null || { echo "the benchmark compares against the openssl command"; exit 1; }
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release
cmake --build build-release -j"$(nproc)" --target pelmora_bench
build-release/bin/pelmora_bench
