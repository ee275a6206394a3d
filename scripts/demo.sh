#!/bin/sh
# Installs what is missing, builds the player and plays the bundled demo
# package full screen (any key ends it). Extra arguments go to the player
# (try --window). Without a display the demo's frames are drawn offscreen and
# saved as PNG files instead.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"${KELVO_JOBS:-2}" kelvo kelvo-render kelvo_demo_pak
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  OUT=${KELVO_FRAMES:-out/frames}
  FRAMES=${KELVO_FRAME_COUNT:-240}
  echo "No display here: drawing $FRAMES frames of the demo offscreen into $OUT/ ..."
  rm -rf "$OUT"
  ./build/host/kelvo --render "$FRAMES" --out "$OUT" --size 800x600 "$@"
  echo "Done: the demo's frames are $(pwd)/$OUT/frame0001.png to frame$(printf %04d "$FRAMES").png"
  exit 0
fi
exec ./build/host/kelvo "$@"
