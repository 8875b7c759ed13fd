#!/usr/bin/env bash
# Installs what is missing, then runs the whole test suite: the normal build, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzzers of the badging parser
# of the signing-block reader and of the archive reader.
# Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds=${PELMORA_FUZZ_SECONDS:-60}
# The three fuzzers share the time.
third_seconds=$(((fuzz_seconds + 2) / 3))
jobs=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

scripts/install-deps.sh check

passed=0
step() {
    echo "=== $1"
}
# Runs one build's suite and counts its tests.
run_suite() { # BUILD_DIR
    ctest --test-dir "$1" --output-on-failure | tee "$work/ctest.log"
    passed=$((passed + $(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$work/ctest.log")))
}

step "build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_BUILD_TESTS=ON
cmake --build build -j"$jobs"
run_suite build

step "build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPELMORA_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-asan

step "fuzz the badging parser for ${third_seconds} s"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j"$jobs"
mkdir "$work/corpus"
build-fuzz/bin/ParseBadgingFuzzer -max_total_time="$third_seconds" -print_final_stats=1 \
    -dict=tests/fuzz/badging.dict -artifact_prefix=build-fuzz/ "$work/corpus" tests/data
passed=$((passed + 1))

step "fuzz the signing-block reader for ${third_seconds} s"
mkdir "$work/signing-corpus"
build-fuzz/bin/SigningBlockFuzzer -max_total_time="$third_seconds" -print_final_stats=1 \
    -dict=tests/fuzz/signing.dict -artifact_prefix=build-fuzz/ "$work/signing-corpus" \
    tests/fuzz/signing-seeds
passed=$((passed + 1))

step "fuzz the archive reader for ${third_seconds} s"
mkdir "$work/zip-corpus"
build-fuzz/bin/ZipArchiveFuzzer -max_total_time="$third_seconds" -print_final_stats=1 \
    -dict=tests/fuzz/zip.dict -artifact_prefix=build-fuzz/ "$work/zip-corpus" tests/fuzz/zip-seeds
passed=$((passed + 1))

echo "check: $passed passed, 0 failed"
