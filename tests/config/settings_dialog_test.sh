#!/bin/bash
# The settings dialog (kelvo --config) in a virtual X display, driven with
# xdotool keys and clicks as a user drives it:
#   1. pick the second package, check Half Speed, pick 1024x768, OK: the
#      settings file holds exactly those values; the thumbnail area shows the
#      picked package's thumbnail (four coloured quarters) stretched over it;
#   2. open again, change things, Escape: the file is unchanged byte for byte;
#   3. open again, Tab to a check box, Space, Enter: saved.
# The first run's picture of the dialog (the demo package selected) is saved
# as DOCS/settings-dialog.png, the README's picture.
#
# Clicks are aimed in dialog units, scaled by the window's size: the dialog
# is the template's 237 x 150 units.
#
# Usage: settings_dialog_test.sh KELVO HELPER KELVO_PAK DOCS
set -u

kelvo=${1:?usage: $0 KELVO HELPER KELVO_PAK DOCS}
helper=${2:?}
pak_tool=${3:?}
docs=${4:?}
: "${DISPLAY:?run it through with_xvfb.sh}"
if ! command -v xdotool >/dev/null 2>&1; then
  echo "SKIP: xdotool is not installed"
  exit 77
fi

. "$(dirname "$0")/../support/player_test_lib.sh"
dialog_pid=
cleanup() {
  [ -n "$dialog_pid" ] && kill "$dialog_pid" 2>/dev/null && wait "$dialog_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The program and its packages, sorted as the list shows them: alpha (not a
# package), bands (a thumbnail of four quarters), kelvo (the demo), plain (no
# thumbnail).
mkdir -p "$work/app" "$work/bands" "$work/plain"
cp "$kelvo" "$work/app/kelvo"
cp "$(dirname "$kelvo")/kelvo.pak" "$work/app/kelvo.pak" || exit 1
"$helper" quadrants "$work/bands/THUMB.BMP"
echo scene >"$work/bands/SCENE1.TXT"
echo scene >"$work/plain/SCENE1.TXT"
"$pak_tool" pack "$work/bands" -o "$work/app/bands.pak" >/dev/null || exit 1
"$pak_tool" pack "$work/plain" -o "$work/app/plain.pak" >/dev/null || exit 1
echo "not a package" >"$work/app/alpha.pak"
settings="$work/config/kelvo/settings"

window=
width=
height=
# Starts the dialog and waits for its first frame.
open_dialog() {
  echo "--- $1"
  : >"$work/dialog.err"
  "${player_env[@]}" KELVO_LOG=- "$work/app/kelvo" --config \
    2>"$work/dialog.err" &
  dialog_pid=$!
  window=
  for _ in $(seq 1 200); do
    grep -q "first frame drawn" "$work/dialog.err" && break
    kill -0 "$dialog_pid" 2>/dev/null || break
    sleep 0.1
  done
  window=$(xdotool search --name '^Kelvo Engine v1.3.1$' 2>/dev/null | head -n1)
  if [ -z "$window" ]; then
    fail "$1: no dialog window"
    cat "$work/dialog.err"
    return 1
  fi
  eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=')"
  width=$WIDTH
  height=$HEIGHT
}

# Pixel coordinates of a point given in dialog units.
px() { awk -v x="$1" -v y="$2" -v w="$width" -v h="$height" 'BEGIN { printf "%d %d", x * w / 237, y * h / 150 }'; }
click() {
  # shellcheck disable=SC2046
  xdotool mousemove --window "$window" $(px "$1" "$2") click 1
  sleep 0.2
}
keys() {
  xdotool key --window "$window" "$@"
  sleep 0.2
}
# Saves the window as $1 and prints "X,Y R G B" for the points in dialog units.
shot() {
  local out=$1 points=()
  shift
  while [ $# -ge 2 ]; do
    points+=("$(px "$1" "$2" | tr ' ' ,)")
    shift 2
  done
  "$helper" shot "$window" "$out" "${points[@]}"
}
wait_closed() {
  for _ in $(seq 1 100); do
    kill -0 "$dialog_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$dialog_pid" 2>/dev/null; then
    fail "$1: the dialog is still open"
    kill "$dialog_pid"
  fi
  wait "$dialog_pid"
  local status=$?
  dialog_pid=
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
}
# The eight Name=value lines of the settings file, in their order.
values() { grep -v '^#' "$settings" | tr '\n' ' '; }

# The thumbnail area is 10,16 106 x 76 units; inside its one-pixel edge.
# Points near each corner and at each quarter's middle.
quarters=(13 19 113 19 13 89 113 89 36 35 90 35 36 73 90 73)
expected_quarters=(255,0,0 0,255,0 0,0,255 255,255,0 255,0,0 0,255,0 0,0,255 255,255,0)

if open_dialog "pick, check, OK"; then
  mkdir -p "$docs"
  lit=$(shot "$docs/settings-dialog.png" 30 40 63 54 90 70 | awk '$2 + $3 + $4 > 60' | wc -l)
  [ "$lit" -ge 2 ] || fail "the demo package's thumbnail is not drawn (the area is dark)"

  click 40 99        # the package list drops down (kelvo, the third, is selected)
  keys Up Return     # the second package
  i=0
  while read -r point r g b; do
    IFS=, read -r er eg eb <<<"${expected_quarters[$i]}"
    for c in "$r:$er" "$g:$eg" "$b:$eb"; do
      d=$((${c%%:*} - ${c##*:}))
      [ "${d#-}" -le 8 ] || { fail "thumbnail at $point is $r $g $b, expected ${expected_quarters[$i]}"; break; }
    done
    i=$((i + 1))
  done < <(shot "$work/bands.png" "${quarters[@]}")
  [ "$i" -eq 8 ] || fail "the thumbnail's colours could not be read"

  click 145 86.5     # Half Speed
  keys Tab Down      # the resolution list, one down from 800x600
  click 203 138      # OK
  wait_closed "first run"
  want="Module=bands Sounds=1 Fog=1 ResX=1024 ResY=768 Random=0 Speed=2 Colors=0 "
  [ "$(values)" = "$want" ] || fail "settings after OK: '$(values)', expected '$want'"
fi

cp "$settings" "$work/settings.before"
if open_dialog "change, Escape"; then
  click 140 22.5     # Enable Sounds off
  keys Tab space     # Enable Fog off
  click 190 103      # the resolution list drops down
  keys Down Return   # 1280x1024
  click 40 99
  keys Down Return   # the next package
  keys Escape
  wait_closed "second run"
  cmp -s "$settings" "$work/settings.before" || fail "Escape changed the settings file: '$(values)'"
fi

if open_dialog "keyboard only"; then
  keys Tab Tab Tab space Return   # Random Module on, OK
  wait_closed "third run"
  want="Module=bands Sounds=1 Fog=1 ResX=1024 ResY=768 Random=1 Speed=2 Colors=0 "
  [ "$(values)" = "$want" ] || fail "settings after Enter: '$(values)', expected '$want'"
fi

echo "--- no display"
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_CONFIG_HOME="$work/config" \
  "$work/app/kelvo" --config >/dev/null 2>"$work/nodisplay.err"
status=$?
[ "$status" -eq 1 ] || fail "no display: exit status $status, expected 1"
grep -q "no display" "$work/nodisplay.err" || fail "no display: message missing: $(cat "$work/nodisplay.err")"

finish
