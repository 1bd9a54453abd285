# Sourced by the scripts that run the real program.
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
