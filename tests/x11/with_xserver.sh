#!/usr/bin/env bash
# Runs a command against a private X server: Xvfb on a free display, with
# openbox as window manager (new windows get the focus, close requests and
# full-screen state work).
#   with_xserver.sh DEPTH WIDTHxHEIGHT command [args...]
# DISPLAY (and XSERVER_PID and XWM_PID, the server's and the window
# manager's processes) is set for the command;
# the server and window manager are stopped afterwards, and the command's
# exit status is returned.
set -u
depth=$1 size=$2
shift 2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# -displayfd picks a free display and writes its number once the server is
# ready; -noreset keeps it from resetting when the last client leaves.
Xvfb -noreset -nolisten tcp -displayfd 3 -screen 0 "${size}x${depth}" 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 200); do
  [ -s "$dir/display" ] && break
  sleep 0.05
done
if [ ! -s "$dir/display" ]; then
  echo "with_xserver: Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi
export DISPLAY=":$(head -n1 "$dir/display")" XSERVER_PID=$xvfb

openbox --sm-disable >"$dir/openbox.log" 2>&1 &
wm=$!
export XWM_PID=$wm
for _ in $(seq 200); do
  timeout 2 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done
# The window manager announces itself before it handles map requests, and a
# request that comes in between can be lost (the window then never shows):
# wait until it has mapped a probe window.
for _ in $(seq 10); do
  xmessage -name lichtbox-probe -timeout 20 probe >/dev/null 2>&1 &
  probe=$!
  timeout 3 xdotool search --sync --onlyvisible --classname lichtbox-probe >/dev/null 2>&1
  found=$?
  kill "$probe" 2>/dev/null
  wait "$probe" 2>/dev/null
  [ $found -eq 0 ] && break
done

"$@"
status=$?

kill "$wm" "$xvfb" 2>/dev/null
wait "$wm" "$xvfb" 2>/dev/null
exit $status
