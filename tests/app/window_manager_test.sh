#!/bin/bash
# The window's placement under a window manager (Openbox on a private X
# server), where the toolkit's first placement is the manager's to change: a
# stored place and size come back, a stored maximised window opens
# maximised, and the first window at twice the scale still fits the screen.
# Every service is started here and stopped by its PID.
#   window_manager_test.sh PATH/TO/vocalume
set -u
program=$(realpath "${1:?usage: window_manager_test.sh PROGRAM}")
for tool in Xvfb xdotool openbox /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done
source "$(dirname "$0")/../support/services.sh"
services_init window-manager ""

passes=0 failures=0
check() {
  if eval "$2"; then echo "ok   $1"; passes=$((passes + 1)); else echo "FAIL $1"; failures=$((failures + 1)); fi
}

check "the X server answers" start_x_server || { echo "0 checks passed, 1 failed"; exit 1; }
openbox --sm-disable >"$out/openbox.log" 2>&1 &
pids+=($!)
# The manager is there once it names the desktops it keeps.
for _ in $(seq 50); do xdotool get_num_desktops >/dev/null 2>&1 && break; sleep 0.1; done
check "the window manager answers" 'xdotool get_num_desktops >/dev/null 2>&1' 

mkdir -p "$(dirname "$settings")"

# Where window ID's client area lies on the screen, as X= Y= WIDTH= HEIGHT=
# (xdotool counts a manager's title bar twice).
client_area() {
  /usr/bin/python3 - "$1" <<'PY'
import sys
from Xlib import display
d = display.Display()
w = d.create_resource_object('window', int(sys.argv[1]))
g = w.get_geometry()
at = w.translate_coords(d.screen().root, 0, 0)
print(f'X={-at.x} Y={-at.y} WIDTH={g.width} HEIGHT={g.height}')
PY
}
# The frame's client area once it shows and the manager has placed it (its
# geometry is the same twice, 0.3 s apart): X, Y, WIDTH and HEIGHT.
placed() {
  local frame before now
  frame=$(wait_window "^$title\$")
  [ -n "$frame" ] || return 1
  for _ in $(seq 30); do
    sleep 0.3
    now=$(client_area "$frame")
    [ "$now" = "${before:-}" ] && break
    before=$now
  done
  eval "$now"
  echo "     window at $X,$Y size ${WIDTH}x$HEIGHT"
}
# Ends the program by its PID, without letting it store another placement.
end_program() { kill -KILL "$app" 2>/dev/null; wait "$app" 2>/dev/null; }

printf '[position]\nmaximised=0\nleft=300\ntop=200\nwidth=600\nheight=400\n' >"$settings"
start_program "$program" stored
placed
# The manager's title bar lies between the frame's corner and its client area.
check "a stored place comes back under a window manager" \
  '[ "${X:-0}" -ge 300 ] && [ "$X" -le 310 ] && [ "$Y" -ge 200 ] && [ "$Y" -le 240 ]'
check "a stored size comes back" '[ "${WIDTH:-0}" -ge 580 ] && [ "$WIDTH" -le 620 ] && [ "$HEIGHT" -le 420 ]'
end_program

printf '[position]\nmaximised=1\nleft=300\ntop=200\nwidth=600\nheight=400\n' >"$settings"
start_program "$program" maximised
placed
check "a stored maximised window opens maximised" '[ "${WIDTH:-0}" -ge 1000 ] && [ "$HEIGHT" -ge 700 ]'
end_program

rm -f "$settings"
GDK_SCALE=2 start_program "$program" scaled
placed
check "the first window at twice the scale fits the screen" \
  '[ "${X:-0}" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1024 ] && [ $((Y + HEIGHT)) -le 768 ]'
end_program

echo "$passes checks passed, $failures failed"
[ "$failures" -eq 0 ]
