#!/usr/bin/env bash
# End-to-end checks of the Windows program under Wine, run inside
# tests/x11/with_xserver.sh (Xvfb with openbox):
#   wine_e2e.sh MODE BIN_DIR PICTURE_TOOL
# MODE: GDI or DirectX (a window), DirectX-fullscreen (Alt+Enter into an
# exclusive 640 x 480 mode; the X server's screen must be 640 x 480), or
# OpenGL (BIN_DIR/gl_screen.exe clears an OpenGL screen). PICTURE_TOOL is
# the Linux build's lichtbox_picture, which computes the expected screens.
# Wine's environment (WINEPREFIX, ...) comes from the caller.
set -u
mode=$1 bin=$2 picture=$3
work=$(mktemp -d)
trap 'rm -rf "$work"; timeout 30 wineserver -k 2>/dev/null' EXIT

fail() { echo "wine_e2e $mode: $*" >&2; exit 1; }

# The visible window named $1 (exactly); fails after 60 s.
find_window() {
  local id
  id=$(timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)
  [ -n "$id" ] || fail "no window \"$1\""
  echo "$id"
}

# Waits until the X window $1 (or "root") shows exactly the picture $2.
wait_picture() {
  local differ=-1
  for _ in $(seq 100); do
    if import -window "$1" "$work/shot.png" 2>/dev/null; then
      differ=$(compare -metric AE "$2" "$work/shot.png" null: 2>&1)
      [ "$differ" = 0 ] && return 0
    fi
    sleep 0.2
  done
  cp "$work/shot.png" "/tmp/wine_e2e_${mode}_last.png" 2>/dev/null
  fail "window $1 differs from $(basename "$2") in $differ pixels (last screen: /tmp/wine_e2e_${mode}_last.png)"
}

# Waits for process $1 to end and checks that its status is 0.
expect_status_0() {
  local status
  timeout 60 tail --pid="$1" -f /dev/null || fail "the program did not end"
  wait "$1"
  status=$?
  [ "$status" = 0 ] || fail "exit status $status"
}

start() { # driver, program
  ZRGFX=$1 wine "$bin/$2" >"$work/$2.log" 2>&1 &
  pid=$!
}

# Presses a panel button (the window at $1, button centre $2 $3) long
# enough for the main loop to see it.
click() {
  if [ "$1" = root ]; then xdotool mousemove "$2" "$3"; else xdotool mousemove --window "$1" "$2" "$3"; fi &&
  xdotool mousedown 1 && sleep 0.3 && xdotool mouseup 1
}

"$picture" "$work/start.ppm" || fail "no start picture"
"$picture" "$work/keys.ppm" rgR || fail "no picture after keys"
read -r restart_x restart_y < <("$picture" --button 7) || fail "no button position"
timeout 30 wineserver -k 2>/dev/null

case $mode in
  GDI|DirectX)
    start "$mode" lichtbox.exe
    win=$(find_window lichtbox)
    wait_picture "$win" "$work/start.ppm"
    xdotool windowactivate --sync "$win" key r g R
    wait_picture "$win" "$work/keys.ppm"
    click "$win" "$restart_x" "$restart_y"
    wait_picture "$win" "$work/start.ppm"
    xdotool key e
    expect_status_0 "$pid"

    # The window manager's close request ends the program too.
    start "$mode" lichtbox.exe
    win=$(find_window lichtbox)
    wait_picture "$win" "$work/start.ppm"
    wmctrl -i -c "$win"
    expect_status_0 "$pid"
    ;;
  DirectX-fullscreen)
    start DirectX lichtbox.exe
    win=$(find_window lichtbox)
    # Windowed, the frame keeps the picture from filling the screen.
    sleep 1
    import -window root "$work/shot.png"
    [ "$(compare -metric AE "$work/start.ppm" "$work/shot.png" null: 2>&1)" != 0 ] || fail "full-screen before Alt+Enter"
    xdotool windowactivate --sync "$win" key alt+Return
    wait_picture root "$work/start.ppm"
    xdotool key r g R
    wait_picture root "$work/keys.ppm"
    click root "$restart_x" "$restart_y"
    wait_picture root "$work/start.ppm"
    xdotool key e
    expect_status_0 "$pid"
    ;;
  OpenGL)
    start OpenGL gl_screen.exe
    win=$(find_window gl_screen)
    convert -size 96x64 xc:'rgb(51,102,153)' "$work/cleared.ppm"
    wait_picture "$win" "$work/cleared.ppm"
    xdotool windowactivate --sync "$win" key space
    expect_status_0 "$pid"
    ;;
  *) fail "unknown mode" ;;
esac
echo "wine_e2e $mode: passed"
