#!/usr/bin/env bash
# An OpenGL screen of the Windows build under Wine (run through
# tests/x11/with_xserver.sh):
#   gl_screen_e2e.sh LAUNCHER
# LAUNCHER starts gl_screen.exe, which clears a 96 x 64 OpenGL screen to
# rgb(51, 102, 153) and flips; its window must show exactly that colour,
# and a key ends the program with status 0.
set -u
source "$(dirname "$0")/../x11/await_end.sh"
launcher=$1
dir=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$launcher" &
pid=$!
win=$(visible_window 60 --name '^gl_screen$')
[ -n "$win" ] || fail "no window titled gl_screen"
convert -size 96x64 xc:'rgb(51,102,153)' "$dir/cleared.ppm"
n=unknown
for _ in $(seq 100); do
  if timeout 5 import -window "$win" "$dir/shot.ppm" 2>/dev/null; then
    n=$(compare -metric AE "$dir/shot.ppm" "$dir/cleared.ppm" null: 2>&1)
    [ "$n" = 0 ] && break
  fi
  sleep 0.1
done
[ "$n" = 0 ] || fail "window differs from the clear colour in $n pixels"
xdotool windowactivate --sync "$win" key space
timeout 30 tail --pid="$pid" -f /dev/null || fail "still running after the key"
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "OpenGL screen under Wine: all checks passed"
