#!/bin/bash
# The real XScreenSaver daemon runs the installed Kelvo: activated, the saver
# window shows the scene; deactivated, Kelvo ends within 2 s through its
# SIGTERM teardown with nothing left behind. The daemon refuses to start its
# programs as root, so under root it runs as the unprivileged user nobody.
#
# Usage: with_xvfb.sh 640x480x24 xscreensaver_test.sh BUILD_DIR PATH/TO/x11_window_test [TIMES]
#
# With TIMES, activates and deactivates that many times and prints the median
# time from -activate to the scene in the saver window (bench/saver_figures.sh).
set -u
build=${1:?usage: $0 BUILD_DIR PATH/TO/x11_window_test [TIMES]}
probe=${2:?usage: $0 BUILD_DIR PATH/TO/x11_window_test [TIMES]}
times=${3:-1}
: "${DISPLAY:?run it through with_xvfb.sh}"
for tool in xscreensaver xscreensaver-command; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (package xscreensaver)"
    exit 77
  fi
done
. "$(dirname "$0")/../support/player_test_lib.sh"
chmod 755 "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
chmod -R a+rX "$prefix"
installed=$(readlink -f "$prefix/bin/kelvo")

home="$work/home"
runtime="$work/home-run"
mkdir -p "$home" "$runtime"
chmod 700 "$runtime"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$home" "$runtime"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
cat >"$home/.xscreensaver" <<CONF
mode: one
selected: 0
lock: False
fade: False
unfade: False
splash: False
timeout: 1:00:00
programs: GL: $prefix/libexec/xscreensaver/kelvo --root \n
CONF
[ "$(id -u)" -eq 0 ] && chown 65534:65534 "$home/.xscreensaver"

user_env=(env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$runtime" DISPLAY="$DISPLAY" KELVO_LOG=1
  SDL_AUDIODRIVER=dummy ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}")
"${as_user[@]}" "${user_env[@]}" xscreensaver -no-splash >"$work/daemon.log" 2>&1 &
daemon=$!
command_() { "${as_user[@]}" "${user_env[@]}" xscreensaver-command "$@"; }
ready=
for _ in $(seq 1 100); do
  command_ -version >/dev/null 2>&1 && { ready=1; break; }
  sleep 0.1
done

# The installed player's processes, found by their program file.
kelvo_pids() {
  for exe in /proc/[0-9]*/exe; do
    [ "$(readlink "$exe" 2>/dev/null)" = "$installed" ] && { p=${exe#/proc/}; echo "${p%/exe}"; }
  done
}

if [ -z "$ready" ]; then
  fail "the daemon did not start: $(cat "$work/daemon.log")"
else
  shown=()
  for round in $(seq 1 "$times"); do
    start=$(date +%s.%N)
    command_ -activate >/dev/null || fail "xscreensaver-command -activate failed"
    if "$probe" wait-scene root 60 >/dev/null; then
      shown+=("$(awk -v now="$(date +%s.%N)" -v start="$start" 'BEGIN { printf "%.3f", now - start }')")
      echo "round $round: the scene showed ${shown[-1]} s after -activate"
    else
      fail "the saver window shows no scene"
    fi
    pids=$(kelvo_pids)
    [ -n "$pids" ] || fail "no Kelvo process runs"
    command_ -deactivate >/dev/null || fail "xscreensaver-command -deactivate failed"
    ended=
    for _ in $(seq 1 20); do
      [ -z "$(kelvo_pids)" ] && { ended=1; break; }
      sleep 0.1
    done
    [ -n "$ended" ] || fail "Kelvo still runs 2 s after -deactivate"
    grep -q "ended by signal 15" "$home/.local/state/kelvo/debug.txt" 2>/dev/null ||
      fail "the debug log does not show the teardown after SIGTERM"
    left=$(find "$runtime/kelvo" -mindepth 1 2>/dev/null)
    [ -z "$left" ] || fail "left behind: $left"
    sleep 0.5
  done
  if [ "$times" -gt 1 ] && [ "${#shown[@]}" -gt 0 ]; then
    echo "median of ${#shown[@]}: $(printf '%s\n' "${shown[@]}" | sort -n | sed -n "$(((${#shown[@]} + 1) / 2))p") s"
  fi
  command_ -exit >/dev/null 2>&1
fi
for _ in $(seq 1 50); do kill -0 "$daemon" 2>/dev/null || break; sleep 0.1; done
kill "$daemon" 2>/dev/null
wait "$daemon" 2>/dev/null
for p in $(kelvo_pids); do kill -KILL "$p"; done
[ "$failures" -eq 0 ] || { echo "daemon log:"; cat "$work/daemon.log"; }
finish
