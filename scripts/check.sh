#!/usr/bin/env bash
# Installs what is missing, then runs the whole test suite: the normal build, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzzers of the badging parser,
# of the signing-block reader, of the archive reader, of the bundle descriptions' readers and of
# the readers of resource tables and binary manifests.
# Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds=${PELMORA_FUZZ_SECONDS:-60}
# The six fuzzers share the time.
share_seconds=$(((fuzz_seconds + 5) / 6))
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

# Runs one fuzzer for its share of the time, from a fresh corpus beside its seeds.
fuzz() { # FUZZER DICTIONARY SEEDS... [-- OPTIONS...]
    local fuzzer=$1 dictionary=$2 seeds=() options=()
    shift 2
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        seeds+=("$1")
        shift
    done
    [ $# -gt 0 ] && shift && options=("$@")
    mkdir "$work/$fuzzer"
    build-fuzz/bin/"$fuzzer" -max_total_time="$share_seconds" -print_final_stats=1 \
        -dict="$dictionary" -artifact_prefix=build-fuzz/ "${options[@]}" "$work/$fuzzer" \
        "${seeds[@]}"
    passed=$((passed + 1))
}

step "build the fuzzers"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j"$jobs"
step "fuzz the badging parser for ${share_seconds} s"
# tests/data also holds packages; the tool's output is far shorter.
fuzz ParseBadgingFuzzer tests/fuzz/badging.dict tests/data -- -max_len=16384
step "fuzz the signing-block reader for ${share_seconds} s"
fuzz SigningBlockFuzzer tests/fuzz/signing.dict tests/fuzz/signing-seeds
step "fuzz the archive reader for ${share_seconds} s"
fuzz ZipArchiveFuzzer tests/fuzz/zip.dict tests/fuzz/zip-seeds
step "fuzz the bundle descriptions' readers for ${share_seconds} s"
fuzz ContainerMetadataFuzzer tests/fuzz/metadata.dict tests/fuzz/metadata-seeds
step "fuzz the readers of resource tables and binary manifests for ${share_seconds} s"
# Seeded with the real Android 14 and 15 packages' entries (their tables and manifests), small
# tables built by aapt (aliases, and compact entries that the tool here refuses), and manifests
# built by aapt and rewritten: attributes whose resource ids are wrong or swapped, references,
# codenames, a chunk no reader knows.
mkdir "$work/table-seeds"
for package in tests/data/compact-entries/*.apk; do
    python3 -m zipfile -e "$package" "$work/table-seeds/$(basename "$package" .apk)"
done
fuzz ResourceTableFuzzer tests/fuzz/table.dict "$work/table-seeds" tests/fuzz/table-seeds \
    tests/fuzz/manifest-seeds -- -max_len=1200000
step "fuzz the DEX header reader for ${share_seconds} s"
# Seeded with DEX files smali assembled, of versions 035 to 039.
fuzz DexHeaderFuzzer tests/fuzz/dex.dict tests/fuzz/dex-seeds -- -max_len=4096

echo "check: $passed passed, 0 failed"
