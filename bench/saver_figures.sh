#!/bin/bash
# The screen saver's figures, from a timed run of the real programs under
# Xvfb (llvmpipe):
#   - the time from `xscreensaver-command -activate` to the demo's first frame
#     in the saver window, median of 5 (1024x768 screen);
#   - the player's processor use while it previews the demo in a 200x150
#     window at the default pacing, over 10 s.
#
# Usage: bench/saver_figures.sh [BUILD_DIR]   (default build-rel: a
# RelWithDebInfo build with the player, the tools, the demo package and
# tests/x11_window_test built)
set -eu
cd "$(dirname "$0")/.."
build=$(cd "${1:-build-rel}" && pwd)
probe="$build/tests/x11_window_test"
for f in "$build/host/kelvo" "$probe"; do
  [ -x "$f" ] || { echo "missing $f: build it first" >&2; exit 1; }
done
echo "== activation to first frame (1024x768, median of 5)"
tests/support/with_xvfb.sh 1024x768x24 tests/host/xscreensaver_test.sh "$build" "$probe" 5 | grep -E 'round|median|FAIL'
echo "== preview in 200x150 at the default pacing"
tests/support/with_xvfb.sh "$probe" preview-cpu "$build/host/kelvo" 10
