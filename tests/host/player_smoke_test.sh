#!/bin/bash
# Runs the real player in a virtual X display: it must open its window, keep
# running, end cleanly on SIGTERM and leave no instance directory behind; and
# without any display it must say so and fail.
#
# Usage: with_xvfb.sh player_smoke_test.sh PATH/TO/kelvo
set -u

player=${1:?usage: $0 PATH/TO/kelvo}
display=${DISPLAY:?run it through with_xvfb.sh}

. "$(dirname "$0")/../support/player_test_lib.sh"
printf 'PERSPECTIVE_X=1\nPERSPECTIVE_Y=1\nOBJECTS\n' >"$work/data/SCENE1.TXT"  # an empty scene

# Starts the player with the given options, checks it runs and has its work
# directory, ends it with SIGTERM and checks the clean exit.
run_until_sigterm() {
  local name=$1
  shift
  echo "--- $name: kelvo $*"
  env DISPLAY="$display" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
    XDG_STATE_HOME="$work/state" KELVO_LOG=1 \
    "$player" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  local pid=$!
  # Up (a window, a work directory), or ended: generous under a loaded machine.
  ready() { ! kill -0 "$pid" 2>/dev/null || { xwininfo -root -tree | grep -q '"Kelvo"' && [ "$(instance_dirs)" -eq 1 ]; }; }
  wait_until 30 ready
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    fail "$name: the player ended by itself (status $?)"
    cat "$work/$name.err"
    return
  fi
  if ! xwininfo -root -tree | grep -q '"Kelvo"'; then
    fail "$name: no window titled Kelvo"
  fi
  if [ "$(instance_dirs)" -ne 1 ]; then
    fail "$name: expected one instance directory in $base while running, found $(instance_dirs)"
  fi
  kill -TERM "$pid"
  expect_exit "$pid" 10 0 "$name: SIGTERM" || return
  [ "$(instance_dirs)" -eq 0 ] || fail "$name: instance directory left behind: $(ls -A "$base")"
  grep -q "ended by signal 15" "$work/state/kelvo/debug.txt" 2>/dev/null ||
    fail "$name: the debug log does not show the teardown after SIGTERM"
  if [ -s "$work/$name.err" ]; then
    echo "stderr of $name:"
    cat "$work/$name.err"
  fi
}

run_until_sigterm windowed --window --data "$work/data"
# Full screen at a size other than the desktop's: drawn offscreen and scaled.
run_until_sigterm fullscreen --size 640x480 --data "$work/data"

# The demo package beside the player, in a window: '0' only toggles the logo,
# any other key ends the run at once with nothing left behind.
if command -v xdotool >/dev/null 2>&1 && [ -f "$(dirname "$player")/kelvo.pak" ]; then
  echo "--- demo: keys"
  env DISPLAY="$display" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
    XDG_STATE_HOME="$work/state" SDL_AUDIODRIVER=dummy \
    "$player" --window --size 320x240 >"$work/demo.out" 2>"$work/demo.err" &
  pid=$!
  window=
  for _ in $(seq 1 100); do
    window=$(DISPLAY="$display" xdotool search --name '^Kelvo$' 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    fail "demo: no window"
  else
    unpacked() { [ "$(find "$base" -mindepth 2 -maxdepth 2 -name SCENE1.TXT | wc -l)" -eq 1 ]; }
    wait_until 30 unpacked || fail "demo: the package was not unpacked into the instance directory"
    DISPLAY="$display" xdotool key --window "$window" 0
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || fail "demo: the '0' key ended the player"
    DISPLAY="$display" xdotool key --window "$window" x
    wait_for_exit "$pid" 15
  fi
  if [ -z "${exit_status:-}" ] || [ -z "$window" ]; then
    fail "demo: still running 15 s after a key"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  else
    [ "$exit_status" -eq 0 ] || fail "demo: exit status $exit_status after a key"
  fi
  [ "$(instance_dirs)" -eq 0 ] || fail "demo: instance directory left behind: $(ls -A "$base")"
  [ -s "$work/demo.err" ] && cat "$work/demo.err"
fi

# A package cut short: the player names it on stderr, keeps its black window
# until input ends the run, and then exits non-zero.
echo "--- damaged package"
printf '\125\252\002\377Kelvo PACKER\000' >"$work/damaged.pak"  # the header and one byte
"${player_env[@]}" "$player" --window --size 320x240 --package "$work/damaged.pak" \
  >"$work/damaged.out" 2>"$work/damaged.err" &
pid=$!
spoken() { [ -s "$work/damaged.err" ] || ! kill -0 "$pid" 2>/dev/null; }
wait_until 10 spoken  # until start-up has spoken
sleep 0.5
if ! kill -0 "$pid" 2>/dev/null; then
  fail "damaged: the player ended before any input"
fi
window=$(DISPLAY="$display" xdotool search --name '^Kelvo$' 2>/dev/null | head -n1)
if [ -n "$window" ]; then
  DISPLAY="$display" xdotool key --window "$window" x 2>/dev/null  # the window may go before the key's release
else
  kill -TERM "$pid" 2>/dev/null
fi
wait_for_exit "$pid" 10
if [ -z "$exit_status" ]; then
  fail "damaged: still running 10 s after input"
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null
elif [ "$exit_status" -eq 0 ]; then
  fail "damaged: exit status 0"
fi
[ "$(grep -c . "$work/damaged.err")" -eq 1 ] && grep -q "^kelvo: the package $work/damaged.pak is damaged" "$work/damaged.err" ||
  fail "damaged: expected one line naming the package on stderr, got: $(cat "$work/damaged.err")"

echo "--- no display"
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_RUNTIME_DIR="$work/run" \
  XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
  "$player" --window --data "$work/data" >"$work/nodisplay.out" 2>"$work/nodisplay.err" &
pid=$!
wait_for_exit "$pid" 20
if [ -z "$exit_status" ]; then
  fail "no display: the player did not end"
  kill -KILL "$pid"
elif [ "$exit_status" -eq 0 ]; then
  fail "no display: exit status 0"
fi
grep -q "no display" "$work/nodisplay.err" || fail "no display: message missing, got: $(cat "$work/nodisplay.err")"

echo "--- command line"
"$player" --bogus >/dev/null 2>"$work/bogus.err"
status=$?
[ "$status" -eq 2 ] || fail "unknown option: exit status $status, expected 2"
grep -q "unknown option" "$work/bogus.err" || fail "unknown option: no message"
"$player" --help >"$work/help.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "--help: exit status $status"
grep -q -- "--package" "$work/help.out" || fail "--help: no option list"

finish
