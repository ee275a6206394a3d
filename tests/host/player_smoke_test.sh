#!/bin/bash
# Runs the real player in a virtual X display: it must open its window, keep
# running, end cleanly on SIGTERM and leave no instance directory behind; and
# without any display it must say so and fail.
#
# Usage: player_smoke_test.sh PATH/TO/kelvo
set -u

player=${1:?usage: $0 PATH/TO/kelvo}
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIP: Xvfb is not installed"
  exit 77
fi

work=$(mktemp -d /tmp/kelvo-smoke-XXXXXX)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

mkdir -p "$work/run" "$work/config" "$work/state" "$work/data"
chmod 700 "$work/run"
base="$work/run/kelvo"

# Xvfb picks a free display itself and writes its number once it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start:"
  cat "$work/xvfb.log"
  exit 1
fi
display=":$(head -n1 "$work/display")"
echo "using display $display"

# The waiting here is for the process, not a measurement: generous limits.
wait_for_exit() {  # pid seconds -> sets exit_status, or empty when still running
  local pid=$1 tenths=$(($2 * 10))
  exit_status=
  for _ in $(seq 1 "$tenths"); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      exit_status=$?
      return
    fi
    sleep 0.1
  done
}

instance_dirs() {
  find "$base" -mindepth 1 -maxdepth 1 -name 'inst-*' 2>/dev/null | wc -l
}

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
  sleep 1.5
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    fail "$name: the player ended by itself (status $?)"
    cat "$work/$name.err"
    return
  fi
  if command -v xwininfo >/dev/null 2>&1; then
    if ! DISPLAY="$display" xwininfo -root -tree | grep -q '"Kelvo"'; then
      fail "$name: no window titled Kelvo"
    fi
  fi
  if [ "$(instance_dirs)" -ne 1 ]; then
    fail "$name: expected one instance directory in $base while running, found $(instance_dirs)"
  fi
  kill -TERM "$pid"
  wait_for_exit "$pid" 10
  if [ -z "$exit_status" ]; then
    fail "$name: still running 10 s after SIGTERM"
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null
    return
  fi
  [ "$exit_status" -eq 0 ] || fail "$name: exit status $exit_status after SIGTERM"
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
    # Unpacking follows the window; on a busy machine (the Windows build runs
    # beside these tests) it may take a few seconds.
    unpacked=0
    for _ in $(seq 1 100); do
      [ "$(find "$base" -mindepth 2 -maxdepth 2 -name SCENE1.TXT | wc -l)" -eq 1 ] && unpacked=1 && break
      sleep 0.1
    done
    [ "$unpacked" -eq 1 ] || fail "demo: the package was not unpacked into the instance directory"
    DISPLAY="$display" xdotool key --window "$window" 0
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || fail "demo: the '0' key ended the player"
    DISPLAY="$display" xdotool key --window "$window" x
    wait_for_exit "$pid" 5
  fi
  if [ -z "${exit_status:-}" ] || [ -z "$window" ]; then
    fail "demo: still running 5 s after a key"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  else
    [ "$exit_status" -eq 0 ] || fail "demo: exit status $exit_status after a key"
  fi
  [ "$(instance_dirs)" -eq 0 ] || fail "demo: instance directory left behind: $(ls -A "$base")"
  [ -s "$work/demo.err" ] && cat "$work/demo.err"
fi

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

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
