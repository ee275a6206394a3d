#!/bin/bash
# One full-screen player per user: a second full-screen start exits 0 at once
# without a window of its own while the first keeps drawing; a player that was
# killed does not block the next start, which ends cleanly on SIGTERM.
#
# Usage: with_xvfb.sh single_full_screen_test.sh PATH/TO/kelvo PATH/TO/x11_window_test
set -u
player=${1:?usage: $0 PATH/TO/kelvo PATH/TO/x11_window_test}
probe=${2:?usage: $0 PATH/TO/kelvo PATH/TO/x11_window_test}
: "${DISPLAY:?run it through with_xvfb.sh}"
. "$(dirname "$0")/../support/player_test_lib.sh"

kelvo_windows() {
  xwininfo -root -tree | grep -c '"Kelvo"'
}

start_full_screen() {  # sets pid
  "${player_env[@]}" "$player" --size 640x480 >>"$work/out" 2>>"$work/err" &
  pid=$!
}

start_full_screen
first=$pid
"$probe" wait-scene root 30 >/dev/null || fail "the first player shows no scene"

"${player_env[@]}" "$player" >>"$work/out" 2>>"$work/err" &
second=$!
expect_exit "$second" 3 0 "the second full-screen start"
kill -0 "$first" 2>/dev/null || fail "the first player ended"
[ "$(kelvo_windows)" -eq 1 ] || fail "expected one Kelvo window, found $(kelvo_windows)"
"$probe" changing root || fail "the first player stopped drawing"

# Killed: its lock must not keep the next start from playing.
kill -KILL "$first"
wait "$first" 2>/dev/null
start_full_screen
third=$pid
"$probe" wait-scene root 30 >/dev/null || fail "after a killed player the next start shows no scene"
kill -0 "$third" 2>/dev/null || fail "after a killed player the next start ended"
kill -TERM "$third"
expect_exit "$third" 10 0 "SIGTERM"
[ "$(instance_dirs)" -eq 0 ] || fail "instance directories left behind: $(ls -A "$base")"
[ ! -e "$base/fullscreen.lock" ] || fail "the lock file was left behind"
[ "$failures" -eq 0 ] || cat "$work/err"
finish
