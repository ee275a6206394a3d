#!/bin/sh
# Installs what is missing, builds the player and runs it on the bundled demo
# package. Extra arguments go to the player (try --window).
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"${KELVO_JOBS:-2}" kelvo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: running the player on a virtual display (Xvfb) for 5 seconds." >&2
  exec timeout -s TERM 5 xvfb-run -a -s "-screen 0 1024x768x24" ./build/host/kelvo --window "$@" || true
fi
exec ./build/host/kelvo "$@"
