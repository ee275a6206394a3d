#!/bin/sh
# The Wine side of the Windows tests: a private X display and Wine prefix,
# shared by the test groups of one run.
#
#   wine_test.sh start STATE_DIR           Xvfb, the prefix, Wine's virtual desktop
#   wine_test.sh run STATE_DIR BUILD GROUP the driver's group against BUILD/kelvo.scr
#   wine_test.sh stop STATE_DIR            ends Wine and Xvfb
#
# The prefix is kept in STATE_DIR between runs (a fresh one takes seconds to
# make); the display is ours alone (-displayfd picks a free number).
set -eu
command=$1
state=$2
mkdir -p "$state"
state=$(cd "$state" && pwd)
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

stop_xvfb() {
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/display"
  fi
}

case "$command" in
start)
  command -v wine >/dev/null || { echo "wine is not installed (sh scripts/install-deps.sh --windows)"; exit 1; }
  stop_xvfb
  rm -f "$state/display"
  # Detached, with no descriptor of ours: the test that starts it ends at once.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" </dev/null >/dev/null 2>&1 &
  echo $! >"$state/xvfb.pid"
  i=0
  while [ ! -s "$state/display" ]; do
    i=$((i + 1))
    [ $i -gt 100 ] && { echo "Xvfb did not start"; stop_xvfb; exit 1; }
    sleep 0.1
  done
  export DISPLAY=":$(cat "$state/display")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >"$state/wineboot.log" 2>&1 || { cat "$state/wineboot.log"; exit 1; }
  fi
  # The virtual desktop offers display modes and closes windows without the
  # 2 s wait that Wine has without a window manager.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  wineserver -k 2>/dev/null || true
  wineserver -w
  ;;
run)
  build=$(cd "$3" && pwd)
  group=$4
  [ -s "$state/display" ] || { echo "no Wine display: run '$0 start $state' first"; exit 1; }
  export DISPLAY=":$(cat "$state/display")"
  saver=$(winepath -w "$build/kelvo.scr" 2>/dev/null)
  # Without a sound card Wine's audio drivers complain on stderr; shown only
  # when the group fails.
  if wine "$build/tests/kelvo-saver-driver.exe" "$group" "$saver" >"$state/$group.out" 2>"$state/$group.err"; then
    cat "$state/$group.out"
  else
    status=$?
    cat "$state/$group.out" "$state/$group.err"
    exit $status
  fi
  ;;
stop)
  if [ -s "$state/display" ]; then
    DISPLAY=":$(cat "$state/display")" wineserver -k 2>/dev/null || true
  fi
  stop_xvfb
  ;;
*)
  echo "usage: $0 start|run|stop STATE_DIR [BUILD GROUP]"
  exit 2
  ;;
esac
