# Sourced by the window tests: a virtual X display of their own and the
# counting of failed checks.
#
# start_xvfb WORK starts Xvfb on a free display (it writes the number itself
# once it is ready), sets xvfb_pid and display (":N"); on failure it prints
# Xvfb's log and returns 1. stop_xvfb ends it.
start_xvfb() {
  local work=$1
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
    return 1
  fi
  display=":$(head -n1 "$work/display")"
}

stop_xvfb() {
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Ends the test: status 1 when a check failed.
finish_checks() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
