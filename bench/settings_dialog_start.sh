#!/bin/bash
# Times `kelvo --config` from the start of the process to its first drawn
# dialog frame (the debug log's "first frame drawn" line), five times in a
# virtual X display, and prints each time and the median.
#
# Usage: bench/settings_dialog_start.sh PATH/TO/kelvo
set -u
kelvo=${1:?usage: $0 PATH/TO/kelvo}
# A virtual display of its own.
[ -n "${KELVO_IN_XVFB:-}" ] || KELVO_IN_XVFB=1 exec "$(dirname "$0")/../tests/support/with_xvfb.sh" "$0" "$@"
work=$(mktemp -d /tmp/kelvo-dialog-time-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" KELVO_LOG=-

times=()
for run in 1 2 3 4 5; do
  fifo="$work/log$run"
  mkfifo "$fifo"
  start=$(date +%s%N)
  "$kelvo" --config 2>"$fifo" &
  pid=$!
  while read -r line; do
    if [[ "$line" == *"first frame drawn"* ]]; then
      times+=($((($(date +%s%N) - start) / 1000000)))
      kill "$pid"
    fi
  done <"$fifo"
  wait "$pid"
  echo "run $run: ${times[-1]} ms"
done
printf '%s\n' "${times[@]}" | sort -n | sed -n 3p | xargs printf 'median: %s ms from kelvo --config to the first dialog frame\n'
