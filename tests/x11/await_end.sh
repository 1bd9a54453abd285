# Sourced by the scripts that run the real program.

# visible_window SECONDS SEARCH-ARGS...: the first visible window xdotool
# finds with the search arguments, looking every 100 ms for at most SECONDS;
# empty when none shows. A search is repeated when it fails: xdotool ends
# on an X error when a window it walks past vanishes meanwhile (another
# program's window closing).
visible_window() {
  local seconds=$1 i w
  shift
  for ((i = 0; i < seconds * 10; i++)); do
    w=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -n1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
# await_end PID SECONDS: waits, looking every 10 ms, until process PID has
# ended; false when it still runs after SECONDS.
await_end() {
  local i
  for ((i = 0; i < $2 * 100; i++)); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.01
  done
  ! kill -0 "$1" 2>/dev/null
}

# describe_program PID: what a failing check prints about the program: its
# process state, its windows (map state, parent, window-manager state) and,
# when gdb is there and the process runs, its threads' stacks. Under Wine
# PID is the launcher, and the processes running WINE_PROGRAM are described.
describe_program() {
  local pid
  for pid in "$1" ${WINE_PROGRAM:+$(pgrep -f "$(basename "$WINE_PROGRAM")")}; do
    describe_process "$pid"
  done
}
describe_process() {
  local pid=$1 w
  echo "-- program $pid: $(ps -o stat=,wchan=,etime= -p "$pid" 2>/dev/null || echo 'not running')" >&2
  for w in $(xdotool search --pid "$pid" 2>/dev/null); do
    {
      xwininfo -id "$w" | grep -E 'Window id|Map State|Absolute upper-left|Width|Height'
      xprop -id "$w" WM_NAME _NET_WM_STATE WM_STATE
      xwininfo -id "$w" -children | grep -E 'Parent window'
    } 2>&1 | sed 's/^/   /' >&2
  done
  if command -v gdb >/dev/null && kill -0 "$pid" 2>/dev/null; then
    timeout 20 gdb -batch -p "$pid" -ex 'thread apply all bt 12' 2>/dev/null | grep -E '^(Thread|#)' | sed 's/^/   /' >&2
  fi
}
