#!/bin/sh
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test, among them the Windows
# screen saver cross-built with mingw-w64 and run under Wine; then every fuzz
# target runs for a few seconds (scripts/fuzz.sh); then builds the script and
# motion tests with ThreadSanitizer and runs them (a scripted scene drawn for
# a few thousand frames beside the script thread).
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --windows
JOBS=${KELVO_JOBS:-2}
BUILD=${KELVO_TEST_BUILD:-build-test}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVO_SANITIZE=ON -DKELVO_BENCH=OFF >/dev/null
ninja -C "$BUILD" -j"$JOBS"
# Mesa keeps some allocations until exit; leaks are not what these runs look for.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$BUILD" && ctest --output-on-failure -j"$JOBS")

# Every fuzz target for a few seconds (scripts/fuzz.sh SECONDS runs them longer).
sh scripts/fuzz.sh "${KELVO_FUZZ_SECONDS:-3}"

TSAN_BUILD=${KELVO_TSAN_BUILD:-build-tsan}
cmake -S . -B "$TSAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVO_TSAN=ON -DKELVO_PLAYER=OFF \
  -DKELVO_BENCH=OFF >/dev/null
ninja -C "$TSAN_BUILD" -j"$JOBS" kelvo_tsan_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$TSAN_BUILD/tests/kelvo_tsan_tests" --gtest_brief=1
echo "All tests passed."
