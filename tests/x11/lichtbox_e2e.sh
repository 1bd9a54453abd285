#!/usr/bin/env bash
# The real program in a real window (run through with_xserver.sh):
#   lichtbox_e2e.sh LICHTBOX LICHTBOX_PICTURES [FULLSCREEN]
# Checks the window's title and size, its pixels against the pictures the
# program computes without a window for the same steps (start, keys "r",
# "g", "R", panel button 2, the info box and a click that removes it),
# Alt+Enter to full-screen and back, "e" and the window manager's close
# request each ending the program with status 0 within a second.
# With LICHTBOX_SCREENSHOT set, the window's start picture is saved there
# (the README's docs/lichtbox.png comes from here).
# FULLSCREEN says what full-screen looks like: "scaled" (the default) is the
# window filling the screen with the picture scaled and centred; "mode" is
# the display switched to the picture's own 640 x 480 mode, the window made
# anew for each switch (the Windows drivers).
set -u
source "$(dirname "$0")/await_end.sh"
lichtbox=$1 pictures=$2 fullscreen=${3:-scaled}
dir=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$pictures" "$dir" || fail "the pictures could not be computed"

# Waits (for at most 30 s, well inside the test's own time limit) until
# window $1 (cropped by $3 when given) shows exactly picture $2.
same() {
  local n=unknown end=$((SECONDS + 30))
  while [ $SECONDS -lt $end ]; do
    if timeout 5 import -window "$1" ${3:+-crop "$3"} +repage "$dir/shot.ppm" 2>/dev/null; then
      n=$(compare -metric AE "$dir/shot.ppm" "$2" null: 2>&1)
      [ "$n" = "0" ] && return 0
    else
      n="unknown (the window could not be read)"
    fi
    sleep 0.1
  done
  [ -n "$pid" ] && describe_program "$pid"
  fail "window differs from $(basename "$2") in $n pixels"
}

size_is() { # window, WxH: waits until the window has that size
  for _ in $(seq 100); do
    [ "$(xwininfo -id "$1" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')" = "$2" ] && return 0
    sleep 0.05
  done
  fail "window size $(xwininfo -id "$1" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}'), not $2"
}

# The window titled lichtbox; with a size WxH, the one of that size, and
# with a window id besides, another than that one (when the program replaces
# its window, the old one may still be there for a moment, even of the same
# size). Looks every 100 ms for a minute (a first start under Wine is slow);
# a search that failed on a vanishing window is simply repeated.
find_window() {
  local w
  for _ in $(seq 600); do
    for w in $(xdotool search --onlyvisible --name '^lichtbox$' 2>/dev/null); do
      [ "$w" = "${2:-}" ] && continue
      if [ -z "${1:-}" ] || [ "$(xwininfo -id "$w" 2>/dev/null | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')" = "$1" ]; then
        win=$w
        return 0
      fi
    done
    sleep 0.1
  done
  [ -n "$pid" ] && describe_program "$pid"
  fail "no window titled lichtbox${1:+ of size $1}"
}

start() {
  "$lichtbox" &
  pid=$!
  find_window
}

screen_is() { # WxH: waits until the X screen has that size
  local now=
  for _ in $(seq 100); do
    now=$(xdpyinfo | awk '/dimensions:/{print $2}')
    [ "$now" = "$1" ] && return 0
    sleep 0.05
  done
  echo "-- focus $(xdotool getwindowfocus 2>&1), active $(xdotool getactivewindow 2>&1), windows titled lichtbox:" \
       "$(xdotool search --name '^lichtbox$' 2>/dev/null | tr '\n' ' ')" >&2
  [ -n "$pid" ] && describe_program "$pid"
  fail "screen size $now, not $1"
}

ends_with_zero() { # within a second
  await_end "$pid" 1 || { describe_program "$pid"; fail "still running a second after $1"; }
  wait "$pid"
  local status=$?
  pid=
  [ "$status" -eq 0 ] || fail "exit status $status after $1"
}

# Which of the pictures $2... window $1 shows, looking for a second (a
# window caught while it is being drawn shows none for a moment); "none".
showing() {
  local p
  for _ in $(seq 10); do
    if timeout 5 import -window "$1" "$dir/shot.ppm" 2>/dev/null; then
      for p in "${@:2}"; do
        [ "$(compare -metric AE "$dir/shot.ppm" "$p" null: 2>&1)" = "0" ] && { echo "$p"; return; }
      done
    fi
    sleep 0.1
  done
  echo none
}

# Clicks button $2 of buttons.txt (a point "X Y" when $2 has a space) until
# window $1 shows picture $3; $4 is the picture before. The simulation polls
# the mouse every 10 ms and waits 50 ms after a click, so the button is held
# for 15 ms: long enough to be seen, short enough to be seen once; a click
# the loop did not see (the picture is still $4) is repeated.
click() {
  local x y
  if [[ $2 == *" "* ]]; then read -r x y <<<"$2"; else read -r _ x y < <(grep "^$2 " "$dir/buttons.txt"); fi
  for _ in 1 2 3 4 5; do
    xdotool mousemove --window "$1" "$x" "$y" mousedown 1 sleep 0.015 mouseup 1
    sleep 0.3
    [ "$(showing "$1" "$3" "$4")" = "$4" ] || break
  done
  same "$1" "$3"
}

start
size_is "$win" 640x480
same "$win" "$dir/start.ppm"
if [ -n "${LICHTBOX_SCREENSHOT:-}" ]; then
  convert "$dir/shot.ppm" "$LICHTBOX_SCREENSHOT" || fail "cannot write $LICHTBOX_SCREENSHOT"
fi
xdotool key r
same "$win" "$dir/r.ppm"
xdotool key g
same "$win" "$dir/rg.ppm"
xdotool key R
same "$win" "$dir/rgR.ppm"
click "$win" 2 "$dir/b2.ppm" "$dir/rgR.ppm"
click "$win" 8 "$dir/info.ppm" "$dir/b2.ppm"
click "$win" "10 10" "$dir/b2.ppm" "$dir/info.ppm"

# Alt+Enter to full-screen and back.
read -r sw sh < <(xdpyinfo | awk '/dimensions:/{split($2, d, "x"); print d[1], d[2]}')
if [ "$fullscreen" = mode ]; then
  # The screen is the picture; back in a window, the window is a new one.
  xdotool key alt+Return
  screen_is 640x480
  same root "$dir/b2.ppm"
  find_window 640x480 "$win"  # the full-screen window, made active for the key
  timeout 10 xdotool windowactivate --sync "$win" || fail "the full-screen window did not become active"
  xdotool key alt+Return
  screen_is "${sw}x${sh}"
  find_window 640x480 "$win"
  same "$win" "$dir/b2.ppm"
else
  xdotool key alt+Return
  size_is "$win" "${sw}x${sh}"
  scale=$(( sw / 640 < sh / 480 ? sw / 640 : sh / 480 ))
  ox=$(( (sw - 640 * scale) / 2 )) oy=$(( (sh - 480 * scale) / 2 ))
  convert "$dir/b2.ppm" -scale "$((640 * scale))x$((480 * scale))" -background black -gravity center \
          -extent "${sw}x${sh}" "$dir/full.ppm"
  same "$win" "$dir/full.ppm"
  xdotool key alt+Return
  size_is "$win" 640x480
  same "$win" "$dir/b2.ppm"
fi

xdotool key e
ends_with_zero '"e"'

# The close button: the window manager's close request.
start
same "$win" "$dir/start.ppm"
wmctrl -i -c "$win"
ends_with_zero "the close request"
echo "lichtbox end-to-end: all checks passed"
