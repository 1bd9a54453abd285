#!/usr/bin/env bash
# Starts the Windows program WINE_PROGRAM under Wine in the X server of
# DISPLAY, for the end-to-end tests of tests/x11 (which start the program
# they are given without arguments), and returns its exit code. The X
# server gets a 640 x 480 mode first, the display mode the drivers switch to
# for full-screen.
set -u
if ! xrandr -q | grep -q '^ *640x480 '; then
  xrandr --newmode 640x480 25.175 640 656 752 800 480 490 492 525 -hsync -vsync &&
  xrandr --addmode screen 640x480 || exit 1
fi
# The status is the program's Windows exit code, which start.exe waits for
# and returns. The wine process's own status is not: wineserver kills a
# process that has not gone a second after it ended, and under load a
# program that tears down OpenGL (in Wine's Direct3D too) can take longer;
# its status is then 137, whatever the program returned.
exec wine start /b /wait /unix "$WINE_PROGRAM" "$@"
