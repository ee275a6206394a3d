# Shared by the player's shell tests (sourced): a private set of XDG folders
# for the player, failure counting and waiting for processes.
#
# After sourcing: $work (removed on exit), $base (the player's runtime
# folder), player_env (a command prefix giving the player its folders), fail,
# wait_for_exit, expect_exit, wait_until, instance_dirs, finish.

work=$(mktemp -d /tmp/kelvo-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/run" "$work/config" "$work/state" "$work/data" "$work/share"
chmod 700 "$work/run"
base="$work/run/kelvo"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A command prefix (an array, so that `"${player_env[@]}" kelvo &` gives the
# player's own process id).
player_env=(env XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
  XDG_DATA_HOME="$work/share" SDL_AUDIODRIVER=dummy)

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

# Waits up to SECONDS for PID and checks its exit status; a process still
# running then is killed, and the call returns 1.
expect_exit() {  # pid seconds status what
  wait_for_exit "$1" "$2"
  if [ -z "$exit_status" ]; then
    fail "$4: still running after $2 s"
    kill -KILL "$1"
    wait "$1" 2>/dev/null
    return 1
  fi
  [ "$exit_status" -eq "$3" ] || fail "$4: exit status $exit_status, expected $3"
}

# Polls the command every 0.1 s until it succeeds or SECONDS have passed.
wait_until() {  # seconds command...
  local tenths=$(($1 * 10))
  shift
  for _ in $(seq 1 "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

instance_dirs() {
  find "$base" -mindepth 1 -maxdepth 1 -name 'inst-*' 2>/dev/null | wc -l
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
