#!/usr/bin/env bash
# Builds an optimised Pelmora and prints its speed and memory figures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh bench
command -v openssl >/dev/null || { echo "the benchmark compares against the openssl command"; exit 1; }
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON
cmake --build build-release -j"$(nproc)" --target pelmora pelmora_bench minimal_dialog cold_start_bench \
    details_bench verify_bench report_bench native_bench pelmora-thumbnailer minimal_png \
    thumbnail_bench
build-release/bin/pelmora_bench
build-release/bin/details_bench
build-release/bin/verify_bench build-release/bin/pelmora build-release/bin/pelmora-thumbnailer
build-release/bin/native_bench
build-release/bin/thumbnail_bench build-release/bin/pelmora-thumbnailer build-release/bin/minimal_png
build-release/bin/report_bench build-release/bin/pelmora
xvfb-run -a -s "-screen 0 1280x800x24" \
    build-release/bin/cold_start_bench build-release/bin/pelmora build-release/bin/minimal_dialog
