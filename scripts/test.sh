#!/bin/sh
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
BUILD=${KELVO_TEST_BUILD:-build-test}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVO_SANITIZE=ON -DKELVO_BENCH=OFF >/dev/null
ninja -C "$BUILD" -j"${KELVO_JOBS:-2}"
# Mesa keeps some allocations until exit; leaks are not what these runs look for.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$BUILD"
ctest --output-on-failure -j"${KELVO_JOBS:-2}"
