#!/bin/bash
# Drives the real program on a private X server: the window shows with its
# menu, the Configuration dialog opens from the keyboard and closes with OK,
# the About box opens and closes, Exit quits and the settings file is
# written. Screenshots are left in the output folder.
#   live_smoke.sh <path to vocalume> [output folder]
# Needs Xvfb, xdotool, xwd and ImageMagick. Stops only what it started.
set -u
program=$(realpath "$1")
out=$(realpath -m "${2:-$(mktemp -d /tmp/vocalume-smoke.XXXXXX)}")
mkdir -p "$out/home"
export HOME="$out/home" XDG_CONFIG_HOME="$out/home/.config"
display=:$((90 + RANDOM % 100))
export DISPLAY=$display
title='Vocalume - The Sound Prism'
settings="$XDG_CONFIG_HOME/Larkspur Tools/$title.conf"

pids=()
stop_all() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
    for _ in $(seq 50); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
    kill -9 "${pids[i]}" 2>/dev/null
  done
}
trap stop_all EXIT
trap "exit 1" INT TERM
passes=0 failures=0
check() {
  if eval "$2"; then echo "ok   $1"; passes=$((passes + 1)); else echo "FAIL $1"; failures=$((failures + 1)); fi
}
# Top-level GTK dialogs are not always in a root-window capture on a server
# without a window manager: windows are captured by their own id.
shot() {
  if [ -n "${2:-}" ]; then xwd -silent -id "$2"; else xwd -silent -root; fi | /usr/bin/convert xwd:- "png:$out/$1.png"
}
wait_window() { for _ in $(seq 50); do w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1); [ -n "$w" ] && { echo "$w"; return; }; sleep 0.1; done; }
gone() { for _ in $(seq 30); do [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ] && return 0; sleep 0.1; done; return 1; }

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

"$program" >"$out/program.log" 2>&1 &
app=$!
pids+=($app)
frame=$(wait_window "^$title\$")
check "main window shows" '[ -n "$frame" ]'
[ -n "$frame" ] || exit 1
sleep 0.5
xdotool windowfocus --sync "$frame"
shot main

xdotool key alt+f; sleep 0.3; xdotool key c
dialog=$(wait_window '^Configuration$')
check "File > Configure opens the Configuration dialog" '[ -n "$dialog" ]'
if [ -n "$dialog" ]; then
  # With no window manager nothing hands the keyboard to a new window.
  xdotool windowfocus --sync "$dialog"
  sleep 0.3; shot configuration "$dialog"
  # OK is the default button.
  xdotool key Return
  check "OK closes the Configuration dialog" 'gone "^Configuration\$"'
fi

xdotool windowfocus --sync "$frame"
xdotool key alt+h; sleep 0.3; xdotool key a
about=$(wait_window '^About vocalume$')
check "Help > About opens the About box" '[ -n "$about" ]'
if [ -n "$about" ]; then
  xdotool windowfocus --sync "$about"
  sleep 0.3; shot about "$about"
  xdotool key Return
  check "OK closes the About box" 'gone "^About vocalume\$"'
fi

xdotool windowfocus --sync "$frame"
xdotool key alt+f; sleep 0.3; xdotool key x
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
  check "File > Exit quits" false
else
  wait "$app"; status=$?
  check "File > Exit quits with status 0" '[ $status -eq 0 ]'
fi
check "the settings file is written: $settings" '[ -f "$settings" ]'
check "the placement is stored" 'grep -q "^maximised=0" "$settings" && grep -q "^width=" "$settings"'
echo "screenshots and logs: $out"
echo "$passes checks passed, $failures failed"
[ "$failures" -eq 0 ]
