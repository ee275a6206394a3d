#!/bin/bash
# Runs a command inside a virtual X display of its own: Xvfb picks a free
# display number and reports it (-displayfd), so window tests can run side by
# side. Exits 77 (skipped) when Xvfb is not installed, else with the
# command's status.
#
# Usage: with_xvfb.sh [WxHxDEPTH] COMMAND [ARG]...
set -u
screen=1024x768x24
case "${1:-}" in
  [0-9]*x[0-9]*x[0-9]*) screen=$1; shift ;;
esac
[ $# -gt 0 ] || { echo "usage: $0 [WxHxDEPTH] COMMAND [ARG]..." >&2; exit 2; }
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIP: Xvfb is not installed"
  exit 77
fi

dir=$(mktemp -d /tmp/kelvo-xvfb-XXXXXX)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# -br: a black root window, so anything drawn shows against black.
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset -br 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$dir/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$dir/display" ]; then
  echo "Xvfb did not start:"
  cat "$dir/xvfb.log"
  exit 1
fi
DISPLAY=":$(head -n1 "$dir/display")" "$@"
