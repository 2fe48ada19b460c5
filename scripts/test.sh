#!/usr/bin/env bash
# Builds Tovik-B0T with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole test suite, the end-to-end tests against ngircd and InspIRCd
# included.
# The benchmarks are compiled too, so that they cannot rot unnoticed.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/scripts/install-deps.sh" --tests
build="$repo/build-asan"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTOVIK_SANITIZE=ON -DTOVIK_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS="suppressions=$repo/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j2 --timeout 600
