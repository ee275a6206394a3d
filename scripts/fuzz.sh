#!/bin/sh
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz, or KELVO_FUZZ_BUILD) and runs
# each for SECONDS (default 60), one after the other, on its corpus and on
# seeds taken from the demo. Prints one line per target; exits 1 when a
# target crashed (the input is kept in BUILD/fuzz/crashes/).
#
#   sh scripts/fuzz.sh [SECONDS]
#   nice -n 19 sh scripts/fuzz.sh 900     # a long run that leaves the machine usable
set -eu
cd "$(dirname "$0")/.."
EACH=${1:-60}
BUILD=${KELVO_FUZZ_BUILD:-build-fuzz}
JOBS=${KELVO_JOBS:-2}
sh scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVO_FUZZ=ON \
  -DKELVO_TESTS=OFF -DKELVO_PLAYER=OFF -DKELVO_BENCH=OFF >/dev/null
# The generators of the demo run during the build, instrumented like the rest.
ASAN_OPTIONS=detect_leaks=0 ninja -C "$BUILD" -j"$JOBS" kelvo_fuzz_targets

OUT="$BUILD/fuzz"
DEMO="$BUILD/data/demo-files"
SEEDS="$OUT/seeds"
rm -rf "$SEEDS"
seed() {  # seed TARGET FILE...
  target=$1
  shift
  mkdir -p "$SEEDS/$target"
  cp "$@" "$SEEDS/$target/"
}
seed scene "$DEMO/SCENE1.TXT"
seed script "$DEMO/SCRIPT1.TXT"
seed object $(ls "$DEMO"/*.TXT | grep -v -e SCENE1.TXT -e SCRIPT1.TXT)
seed three_ds "$DEMO"/*.3DS
seed texture_3df "$DEMO"/*.3DF
seed pak_decode "$BUILD/data/kelvo.pak"
seed midi_check "$DEMO/SCENE1.MID"
seed thumbnail_bitmap "$DEMO/THUMB.BMP"
# The bitmaps of every format that the reader's tests write, when they ran.
[ ! -d build-test/fuzz/seeds-bmp ] || cp build-test/fuzz/seeds-bmp/* "$SEEDS/thumbnail_bitmap/" 2>/dev/null || true
# The settings as the player first writes them.
mkdir -p "$SEEDS/settings"
printf '# Kelvo settings\nModule=kelvo\nSounds=1\nFog=1\nResX=800\nResY=600\nRandom=0\nSpeed=0\nColors=0\n' \
  >"$SEEDS/settings/defaults"
# A member stream: a small package of the demo's texts, decoded.
small="$OUT/small-package"
rm -rf "$small" && mkdir -p "$small" "$SEEDS/member_stream"
cp "$DEMO/SCENE1.TXT" "$DEMO/FLOOR.TXT" "$DEMO/VASE1.TXT" "$small/"
"$BUILD/tools/kelvo-pak" pack "$small" -o "$OUT/small.pak" >/dev/null
"$BUILD/tools/kelvo-pak" decode "$OUT/small.pak" "$SEEDS/member_stream/demo-texts"
seed pak_decode "$OUT/small.pak"

export UBSAN_OPTIONS=print_stacktrace=1
failed=0
mkdir -p "$OUT/crashes" "$OUT/logs"
for bin in "$OUT"/kelvo_fuzz_*; do
  [ -x "$bin" ] || continue
  name=${bin##*/kelvo_fuzz_}
  case $name in
    scene | settings | texture_3df | pak_decode) max_len=4096 ;;
    object | script | member_stream | midi_check) max_len=16384 ;;
    *) max_len=65536 ;;
  esac
  # Short runs start from the seeds alone; longer ones keep what they found.
  corpus="$OUT/corpus/$name"
  [ "$EACH" -ge 30 ] || corpus="$OUT/corpus-short/$name"
  rm -rf "$OUT/corpus-short"
  mkdir -p "$corpus" "$SEEDS/$name"
  log="$OUT/logs/$name.log"
  dict=""  # the keys and commands of a text format, when the target has them
  [ ! -f "fuzz/$name.dict" ] || dict="-dict=fuzz/$name.dict"
  # shellcheck disable=SC2086
  if "$bin" $dict -max_total_time="$EACH" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$OUT/crashes/$name-" "$corpus" "$SEEDS/$name" >"$log" 2>&1; then
    result="no crash"
  else
    result="CRASHED (see $log)"
    failed=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "fuzz $name: ${runs:-0} executions in ${EACH} s, $result"
done
exit $failed
