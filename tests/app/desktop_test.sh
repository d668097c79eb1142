#!/bin/bash
# The real program, end to end: a private sound server with a virtual
# microphone playing speech, a private X server, and `vocalume` driven by key
# presses as a person would. Space starts recording and the window fills with
# colour; space pauses and the picture stands still; R redraws the same
# picture; Ctrl+L draws the pitch line over it and takes it away again;
# Ctrl+minus zooms out to more seconds on the screen and Ctrl+plus back;
# View > Target note draws a note to aim at and takes it away again;
# File > Configure and Help > About open and close; File > Exit quits
# while recording and writes the settings file. A damaged placement opens on
# the screen; a settings file of random bytes is set aside with one message. A
# frozen sound server holds up neither Space nor File > Exit, and one that
# dies while recording is reported once. Unsaved sound is asked about before
# the program quits ("Save the recording?"), and a name typed without its
# extension before a file is replaced. `vocalume FILE` opens the file as the
# session (a pipe is refused at once), File > Export frame data writes its
# table (and a signal during the write leaves no temporary), and Esc cancels
# the opening of a long file. A remembered model that cannot be opened is no
# message box and is forgotten; space records while a remembered model opens.
# Every service is started here and stopped by its PID.
#   desktop_test.sh PATH/TO/vocalume SPEECH.wav [--keep DIR] [--screenshot FILE.png] [--probe PLAYBACK_PROBE]
#                   [--sanitized]
# --keep leaves screenshots and logs in DIR; --screenshot saves the window
# while it shows speech (the picture in the README is made this way);
# --sanitized: the program was built with a sanitizer (see the recording's
# length below).
set -u
program=$(realpath "${1:?usage: desktop_test.sh PROGRAM SPEECH.wav [--keep DIR] [--screenshot FILE]}")
speech=$(realpath "${2:?usage: desktop_test.sh PROGRAM SPEECH.wav}")
shift 2
keep="" screenshot="" probe="" sanitized=""
while [ $# -gt 0 ]; do
  case $1 in
    --keep) keep=$(realpath -m "$2"); shift 2 ;;
    --screenshot) screenshot=$(realpath -m "$2"); shift 2 ;;
    --probe) probe=$(realpath "$2"); shift 2 ;;
    --sanitized) sanitized=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in pulseaudio pactl paplay parec sox Xvfb xdotool xwd /usr/bin/convert /usr/bin/compare; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done

source "$(dirname "$0")/../support/services.sh"
services_init desktop "$keep"
# The frame's title names an opened or saved file before the program's
# name; message boxes bear the program's name alone.
titled="^(.* – )?$title\$"
# Only what an earlier run left there, never anything else in the folder.
rm -f "$out"/*.png "$out"/*.log

passes=0 failures=0
check() {
  if eval "$2"; then echo "ok   $1"; passes=$((passes + 1)); else echo "FAIL $1"; failures=$((failures + 1)); return 1; fi
}
finish() {
  if [ "$failures" -gt 0 ]; then
    for log in "$out"/*.log; do
      echo "--- $(basename "$log") (last lines)"
      grep -v -i -e '^ALSA' -e '^Cannot' -e 'jack' "$log" | tail -5
    done
  fi
  echo "$passes checks passed, $failures failed"
  [ -n "$keep" ] && echo "screenshots and logs: $out"
  [ "$failures" -eq 0 ]
  exit
}

# 1. X server.
check "the X server answers" start_x_server || finish

gone() { for _ in $(seq 30); do [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ] && return 0; sleep 0.1; done; return 1; }
# Mean saturation of a screenshot, 0 to 1: grey menus and a black picture
# are 0, coloured speech columns are not.
saturation() { /usr/bin/convert "$out/$1.png" -colorspace HSL -channel G -separate -format '%[fx:mean]' info:; }
# Mean brightness of the newest tenth of a second on the screen (the
# picture's right edge, inside the frame's border), 0 to 1.
newest_brightness() {
  /usr/bin/convert "$out/$1.png" -gravity east -crop 100x300+6+0 +repage -format '%[fx:mean]' info:
}
# Pixels of the waveform trace's colour in the top fifth of a screenshot.
trace_pixels() {
  /usr/bin/convert "$out/$1.png" -crop 100%x20%+0+0 +repage -fill black +opaque 'rgb(0,255,128)' \
    -fill white -opaque 'rgb(0,255,128)' -format '%[fx:round(mean*w*h)]' info:
}
# Pixels that differ between two screenshots, the frame's outer 6 pixels left
# out: the toolkit rounds the picture's border corners differently after a
# layout change (the scroll bar appearing), which is not the picture.
differing() {
  /usr/bin/convert "$out/$1.png" -shave 6x6 "$work/inner1.png"
  /usr/bin/convert "$out/$2.png" -shave 6x6 "$work/inner2.png"
  /usr/bin/compare -metric AE "$work/inner1.png" "$work/inner2.png" null: 2>&1 | cut -d' ' -f1
}
# Pixels of the picture alone that differ: the menu bar and the status bar
# (where a file's progress counts up) left out.
picture_differing() {
  /usr/bin/convert "$out/$1.png" -shave 6x6 -chop 0x22 -gravity south -chop 0x18 "$work/inner1.png"
  /usr/bin/convert "$out/$2.png" -shave 6x6 -chop 0x22 -gravity south -chop 0x18 "$work/inner2.png"
  /usr/bin/compare -metric AE "$work/inner1.png" "$work/inner2.png" null: 2>&1 | cut -d' ' -f1
}


# Pure white pixels of a screenshot: the pitch line's core is white, the
# picture's colours and the toolkit's greys hardly ever are.
white_pixels() {
  /usr/bin/convert "$out/$1.png" -fill black +opaque white -fill white -opaque white -format '%[fx:round(mean*w*h)]' info:
}

# The program's window other than its frame (a message box or a question,
# titled as the frame), waiting up to 5 s.
other_window() {
  local w
  for _ in $(seq 50); do
    w=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | grep -v "^$frame\$" | head -1)
    [ -n "$w" ] && { echo "$w"; return; }
    sleep 0.1
  done
}
# Answers the program's message box or question with KEY, after a
# screenshot of it named SHOT where given.
answer() {  # KEY [SHOT]
  local box w
  box=$(other_window)
  if [ -z "$box" ]; then
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
      echo "     no question; a window is showing: $(xdotool getwindowname "$w")"
    done
    return 1
  fi
  # A box just mapped may not take the focus at once.
  for _ in $(seq 10); do xdotool windowfocus --sync "$box" 2>/dev/null && break; sleep 0.2; done
  sleep 0.3
  [ -n "${2:-}" ] && shot "$2" "$box"
  xdotool key "$1"
}
# File > Exit: the program ends with status 0. With unsaved sound it asks
# "Save the recording?", answered with KEY (alt+n: Don't save).
quit_and_check() {  # NAME [KEY]
  local key=${2:-}
  xdotool windowfocus --sync "$frame"
  xdotool key alt+f; sleep 0.3; xdotool key x
  [ -n "$key" ] && check "File > Exit asks to save the unsaved recording ($1)" 'answer "$key"'
  for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app" 2>/dev/null; then
    check "File > Exit quits ($1)" false
  else
    wait "$app"; status=$?
    check "File > Exit quits with status 0 ($1)" '[ $status -eq 0 ]'
  fi
}
windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l; }

# Pictures are judged once they are what the step should lead to, or after
# 15 s: a busy machine (the sanitizer build, parallel builds) may take that
# long to handle a key, and the test waits for the program, never for the
# clock. shot_until NAME CONDITION: screenshots of the main window as NAME
# until CONDITION (about NAME) holds.
shot_until() {
  for _ in $(seq 60); do
    shot "$1" "$frame"
    eval "$2" && return 0
    sleep 0.25
  done
  return 1
}
# wait_moving NAME: the picture moves (recording has begun and sound
# arrives): screenshots NAME1, then NAME2 until its picture differs from
# NAME1's, then NAME3 until it differs from NAME2's.
wait_moving() {
  shot "${1}1" "$frame"
  shot_until "${1}2" "[ \"\$(picture_differing ${1}1 ${1}2)\" != 0 ]" &&
    # The first change may be the hint on the empty picture going away at
    # Space, before any sound has come: a second one is the picture moving.
    shot_until "${1}3" "[ \"\$(picture_differing ${1}2 ${1}3)\" != 0 ]"
}

# shot_still NAME: screenshots until two in a row, 0.3 s apart, are the same
# picture; the last is NAME.
shot_still() {
  shot "$1" "$frame"
  for _ in $(seq 50); do
    sleep 0.3
    cp "$out/$1.png" "$work/still-before.png"
    shot "$1" "$frame"
    [ "$(/usr/bin/compare -metric AE "$work/still-before.png" "$out/$1.png" null: 2>&1 | cut -d' ' -f1)" = 0 ] && return 0
  done
  return 1
}

# type_name TITLE PATH: waits for the file dialog TITLE, types PATH as the
# name and presses Return; false when no such dialog came.
type_name() {
  local box
  box=$(wait_window "^$1\$")
  [ -n "$box" ] || return 1
  xdotool windowfocus --sync "$box"; sleep 0.5
  xdotool key ctrl+a; xdotool type --delay 10 "$2"; sleep 0.2; xdotool key Return
}

# 2. With no sound server there is no record device: Start shows the
# message once, the program goes on working and quits cleanly. The stored
# placement is far off the screen and larger than it.
mkdir -p "$(dirname "$settings")"
printf '[position]\nmaximised=0\nleft=-50000\ntop=-60000\nwidth=100000\nheight=100000\n' >"$settings"
# True when window $1 lies wholly on the 1024 x 768 screen.
on_screen() {
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  echo "     window at $X,$Y size ${WIDTH}x$HEIGHT"
  [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1024 ] && [ $((Y + HEIGHT)) -le 768 ]
}
start_program "$program" nosound
frame=$(wait_window "$titled")
check "the main window shows" '[ -n "$frame" ]' || finish
check "a damaged stored placement opens on the screen" 'on_screen "$frame"'
sleep 0.5
xdotool windowfocus --sync "$frame"
xdotool key space
for _ in $(seq 50); do [ "$(windows "$titled")" -ge 2 ] && break; sleep 0.1; done
check "Start with no sound device shows one message box" '[ "$(windows "$titled")" -eq 2 ]'
box=$(xdotool search --onlyvisible --name "$titled" | grep -v "^$frame\$" | head -1)
if [ -n "$box" ]; then
  xdotool windowfocus --sync "$box"
  sleep 0.3; shot no-device "$box"
  xdotool key Return
  sleep 0.5
fi
check "the message box closes and no second one follows" '[ "$(windows "$titled")" -eq 1 ]'
xdotool windowfocus --sync "$frame"
xdotool key r Escape
sleep 0.3
check "the program goes on without sound" 'kill -0 $app 2>/dev/null'
quit_and_check "without sound"
stored() { sed -n "s/^$1=//p" "$settings"; }
check "the placement is saved back on the screen" \
  '[ "$(stored left)" -ge 0 ] && [ "$(stored top)" -ge 0 ] && [ "$(stored width)" -le 1024 ] && [ "$(stored height)" -le 768 ]'

# `vocalume FIFO`: a pipe is no sound file, said at once; the program goes
# on (nothing waits for a writer) and quits.
mkfifo "$work/pipe.wav"
start_program "$program" pipe "$work/pipe.wav"
frame=$(wait_window "^$title\$")
check "vocalume FIFO says at once that a pipe is no sound file" 'answer Return pipe-refused'
quit_and_check "after a pipe was refused"

# `vocalume FILE`, still with no sound server: the speech file opens as the
# session, and the window looks back at its start in the speech's colours.
start_program "$program" opened "$speech"
frame=$(wait_window "$titled")
check "vocalume FILE shows the main window" '[ -n "$frame" ]' || finish
shot_until opened "awk -v s=\"\$(saturation opened)\" 'BEGIN { exit !(s > 0.03) }'"
echo "     mean saturation of the opened file's picture $(saturation opened)"
check "vocalume FILE opens the file: its speech colours the picture" \
  "awk -v s=$(saturation opened) 'BEGIN { exit !(s > 0.03) }'"
check "the opened file asks nothing: one window" '[ "$(windows "$titled")" -eq 1 ]'
# File > Export frame data, to a path typed into its dialog: a header and a
# row for every frame (about 1000 a second).
xdotool windowfocus --sync "$frame"
xdotool key alt+f; sleep 0.3; xdotool key e
if type_name "Export frame data" "$work/frames.csv"; then
  for _ in $(seq 300); do [ -s "$work/frames.csv" ] && break; sleep 0.1; done
fi
seconds=$(soxi -D "$speech")
check "File > Export frame data writes the opened file's frame table" \
  'head -1 "$work/frames.csv" 2>/dev/null | grep -q "^frame,time_s,.*,f0_hz,voiced\$" &&
   awk -v n="$(wc -l <"$work/frames.csv")" -v s="$seconds" "BEGIN { exit !(n > s * 990 && n < s * 1010) }"'
quit_and_check "after opening a file"
# Ended by a signal while it writes the frame table: nothing is left. The
# program stops itself once the table is on disk, before it takes its name
# (the write's pause point for tests), and is signalled there.
VOCALUME_TEST_PAUSE_WRITE=1 VOCALUME_TEST_NAMED_TEMPORARY=1 start_program "$program" signalled "$speech"
frame=$(wait_window "^$title\$")
# Once the file is shown (a sanitizer's build on a busy machine takes its
# time to open it, and then to write the table).
shot_until signalled-opened "awk -v s=\"\$(saturation signalled-opened)\" 'BEGIN { exit !(s > 0.03) }'"
xdotool windowfocus --sync "$frame"
xdotool key alt+f; sleep 0.3; xdotool key e
if type_name "Export frame data" "$work/signalled.csv"; then
  for _ in $(seq 300); do [ "$(awk '{ print $3 }' "/proc/$app/stat" 2>/dev/null)" = T ] && break; sleep 0.1; done
fi
check "the program stops at the write's pause point with its temporary there" 'ls "$work" | grep -q "^signalled.csv.tmp-"'
kill -TERM "$app"; kill -CONT "$app"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
check "SIGTERM during Export frame data leaves no temporary and no half table" \
  '! kill -0 $app 2>/dev/null && ! ls "$work" | grep -q "^signalled.csv"'
# A long file (about 9 minutes, several seconds of analysis) is cancelled by
# Esc while it opens: the picture stays black, the session empty.
sox "$speech" "$work/long.wav" repeat 80
start_program "$program" cancelled "$work/long.wav"
frame=$(wait_window "$titled")
sleep 1
xdotool windowfocus --sync "$frame"
xdotool key Escape
sleep 8
shot cancelled "$frame"
check "Esc cancels opening a long file: nothing changes" \
  "awk -v s=$(saturation cancelled) 'BEGIN { exit !(s < 0.01) }'"
quit_and_check "after cancelling an opening"

# 3. Sound server with a virtual microphone, speech playing into it.
check "the sound server answers" start_sound_server || finish
sox "$speech" -r 44100 -c 1 "$work/speech.wav" pad 0 0.3 repeat 60
play_into_microphone "$work/speech.wav"

# 4. The program, with speech coming in, over a settings file of random
# bytes: it says so once, before its window opens, and starts from defaults.
head -c 4000 /dev/urandom >"$work/garbage"
cp "$work/garbage" "$settings"
start_program "$program" program
box=$(wait_window "$titled")
check "a damaged settings file is reported" '[ -n "$box" ]' || finish
xdotool windowfocus --sync "$box"
sleep 0.3; shot damaged-settings "$box"
xdotool key Return
for _ in $(seq 100); do
  frame=$(xdotool search --onlyvisible --name "$titled" 2>/dev/null | grep -v "^$box\$" | head -1)
  [ -n "$frame" ] && break
  sleep 0.1
done
check "the main window shows again" '[ -n "$frame" ]' || finish
check "the damaged file is kept beside the new one" 'cmp -s "$work/garbage" "$settings.damaged"'
sleep 0.5
xdotool windowfocus --sync "$frame"
shot idle "$frame"

idle_sat=$(saturation idle)
idle_trace=$(trace_pixels idle)
# Space: recording. The picture fills from the right with speech.
started_recording=$(date +%s.%N)
xdotool key space
shot_until recording '[ "$(trace_pixels recording)" -gt $((idle_trace + 500)) ] &&
  awk -v a="$idle_sat" -v b="$(saturation recording)" "BEGIN { exit !(b > a + 0.05) }"'
seen_recording=$(date +%s.%N)
rec_sat=$(saturation recording)
echo "     mean saturation idle $idle_sat, recording $rec_sat"
check "space starts recording and speech colours the picture" \
  "awk -v a=$idle_sat -v b=$rec_sat 'BEGIN { exit !(b > a + 0.05) }'"
# Silence draws the trace as a flat line, one pixel a column; speech widens it.
check "the waveform trace follows the speech along the top" \
  '[ "$(trace_pixels recording)" -gt $((idle_trace + 500)) ]'
[ -n "$screenshot" ] && cp "$out/recording.png" "$screenshot"
shot_until recording2 '[ "$(differing recording recording2)" != 0 ]'
check "the picture moves while recording" '[ "$(differing recording recording2)" != 0 ]'
# View > Pitch line (Ctrl+L) while recording speech: the white line appears.
xdotool key ctrl+l
shot_until pitchline '[ "$(white_pixels pitchline)" -gt $(($(white_pixels recording2) + 200)) ]'
echo "     white pixels without the pitch line $(white_pixels recording2), with it $(white_pixels pitchline)"
check "Ctrl+L draws the pitch line over the speech" \
  '[ "$(white_pixels pitchline)" -gt $(($(white_pixels recording2) + 200)) ]'
xdotool key ctrl+l

# Esc: pause, while speech is coming in, so that the moments looked back on
# below hold voice (the speech loops with pauses between its phrases, and a
# slow build may lag): after the pause timer the picture stands still.
shot_until speaking "awk -v b=\$(newest_brightness speaking) 'BEGIN { exit !(b > 0.1) }'"
xdotool key Escape
paused_recording=$(date +%s.%N)
sleep 0.6
shot_still paused
stood_still=$(date +%s.%N)
sleep 0.7
shot paused2 "$frame"
check "Esc pauses and the picture stands still" '[ "$(differing paused paused2)" = 0 ]'
xdotool key r
shot_still redrawn
check "R redraws the very same picture" '[ "$(differing paused redrawn)" = 0 ]'

# Ctrl+minus four times: 16 frames a column, many more time ticks (a tenth of
# a second each, in the trace's colour in the lower half); Ctrl+plus four
# times: back to the very picture of the pause.
tick_columns() {
  /usr/bin/convert "$out/$1.png" -gravity south -crop 100%x50%+0+0 +repage -fill black +opaque 'rgb(0,255,128)' \
    -fill white -opaque 'rgb(0,255,128)' -colorspace gray -scale 'x1!' txt:- |
    awk -F'[,:() ]+' '/^[0-9]/ && $0 !~ /#000000/ { n++ } END { print n + 0 }'
}
paused_ticks=$(tick_columns paused)
xdotool key ctrl+minus ctrl+minus ctrl+minus ctrl+minus
shot_until zoomed '[ "$(tick_columns zoomed)" -gt $((5 * paused_ticks)) ]'
echo "     columns with time ticks at one frame a column $paused_ticks, at sixteen $(tick_columns zoomed)"
check "Ctrl+minus zooms out: many more seconds on the screen" '[ "$(tick_columns zoomed)" -gt $((5 * paused_ticks)) ]'
xdotool key ctrl+plus ctrl+plus ctrl+plus ctrl+plus
shot_until unzoomed '[ "$(differing paused unzoomed)" = 0 ]'
check "Ctrl+plus zooms back in to the very picture of the pause" '[ "$(differing paused unzoomed)" = 0 ]'

# Esc while paused does nothing; the program keeps running.
xdotool key Escape
sleep 0.3
check "Esc while paused leaves the program running" 'kill -0 $app 2>/dev/null'

# Looking back: Home shows the session's start, End the very picture shown at
# the pause, Left goes back a tenth of the window.
xdotool key Home
shot_until home '[ "$(differing paused home)" != 0 ]'
check "Home looks back to the start of the session" '[ "$(differing paused home)" != 0 ]'
xdotool key End
shot_until end '[ "$(differing paused end)" = 0 ]'
check "End shows the very picture shown at the pause" '[ "$(differing paused end)" = 0 ]'
xdotool key Left
shot_until left '[ "$(differing end left)" != 0 ]' && shot_still left
check "Left goes back through the session" '[ "$(differing end left)" != 0 ]'
# Looking back the line is drawn over the picture, never into it: off again,
# the very same picture. It stays on, to be stored at exit.
xdotool key ctrl+l
shot_until leftline '[ "$(white_pixels leftline)" -gt $(($(white_pixels left) + 200)) ]'
check "the pitch line shows looking back" '[ "$(white_pixels leftline)" -gt $(($(white_pixels left) + 200)) ]'
xdotool key ctrl+l
shot_until leftoff '[ "$(differing left leftoff)" = 0 ]'
check "without the pitch line the picture is as before" '[ "$(differing left leftoff)" = 0 ]'
xdotool key ctrl+l
shot_until lineback '[ "$(white_pixels lineback)" -gt $(($(white_pixels left) + 200)) ]'

# View > Target note... (Ctrl+T) opens on A3: OK draws its yellow line across
# the picture on the pitch line's scale; "No target" (the list's first
# entry) takes it away again.
yellow_pixels() {
  /usr/bin/convert "$out/$1.png" -fill black +opaque 'rgb(255,214,0)' -fill white -opaque 'rgb(255,214,0)' \
    -format '%[fx:round(mean*w*h)]' info:
}
xdotool key ctrl+t
dialog=$(wait_window '^Target note$')
check "View > Target note opens its dialog" '[ -n "$dialog" ]'
if [ -n "$dialog" ]; then
  xdotool windowfocus --sync "$dialog"
  sleep 0.3; shot target-dialog "$dialog"
  xdotool key alt+o
  shot_until target '[ "$(yellow_pixels target)" -gt 500 ]'
  echo "     yellow pixels with the target note $(yellow_pixels target)"
  check "the target note is a yellow line across the picture" '[ "$(yellow_pixels target)" -gt 500 ]'
  xdotool windowfocus --sync "$frame"
  xdotool key ctrl+t
  dialog=$(wait_window '^Target note$')
  if [ -n "$dialog" ]; then
    xdotool windowfocus --sync "$dialog"; sleep 0.3
    xdotool key alt+n Home; sleep 0.2; xdotool key alt+o
  fi
  shot_until notarget '[ "$(differing lineback notarget)" = 0 ]'
  check "No target takes the line away: the picture as it was" '[ "$(differing lineback notarget)" = 0 ]'
  xdotool windowfocus --sync "$frame"
fi

# P plays the session back from its start (Home), here to loudspeakers of
# their own so that what their monitor hears is the program's alone; a white
# line moves across the picture with the sound (an idle test sink may take
# up to a second or so to start playing), and Esc stops it.
# The server moves the streams that follow the default sink along with it:
# the speech into the microphone goes back to its own sink.
streams=$(pactl list short sink-inputs | awk '{ print $1 }')
pactl load-module module-null-sink sink_name=speakers >/dev/null
pactl set-default-sink speakers
for id in $streams; do pactl move-sink-input "$id" vsink; done
parec -d speakers.monitor --format=s16le --rate=11025 --channels=1 --raw --latency-msec=20 >"$work/played.raw" &
pids+=($!)
monitor=$!
sleep 1
# The play line: the first column of the picture that is pure white a
# quarter, half and three quarters of the way down while its neighbours are
# not (the brightest speech is white too, but never one column alone from top
# to bottom, nor is the pitch line). The window's border is column 0.
white_column() {
  local h row
  h=$(/usr/bin/identify -format %h "$out/$1.png")
  for row in $((h / 4)) $((h / 2)) $((3 * h / 4)); do
    /usr/bin/convert "$out/$1.png" -crop "x1+1+$row" +repage txt:- 2>/dev/null
  done | awk -F'[,:() ]+' '
    /^[0-9]/ { if ($1 == 0) row++; white[row, $1] = /#FFFFFF/; if ($1 > last) last = $1 }
    END {
      for (x = 0; x <= last; x++)
        if (white[1, x] && white[2, x] && white[3, x] && !white[2, x - 1] && !white[2, x + 1]) { print x; exit }
    }'
}
xdotool key Home p
lines=""
for _ in $(seq 12); do
  sleep 0.15
  shot playing "$frame"
  lines="$lines $(white_column playing)"
done
xdotool key Escape
shot_until stopped '[ -z "$(white_column stopped)" ]'
kill "$monitor"
pactl set-default-sink vsink
played_db=$(sox -t raw -r 11025 -e signed -b 16 -c 1 "$work/played.raw" -n stats 2>&1 | awk '/^RMS lev dB/ { print $4 }')
echo "     play line at x =$lines; the loudspeakers heard ${played_db:-nothing} dB RMS"
check "P plays the recording to the loudspeakers" "awk -v d='${played_db:--inf}' 'BEGIN { exit !(d > -40) }'"
check "a white play line moves right across the picture while playing" \
  'echo $lines | awk "{ for (i = 2; i <= NF; i++) if (\$i > \$(i - 1)) moved = 1 } END { exit !moved }"'
check "Esc stops playing and the line goes" '[ -z "$(white_column stopped)" ]'

# File > Save recording and Save picture, each to a path typed into the file
# dialog. The sound lasts as long as the recording did, less the start-up of
# the device and the last part of a window still held.
save_as() {  # KEYS TITLE PATH
  xdotool windowfocus --sync "$frame"
  xdotool key "$1"
  type_name "$2" "$3" || return 1
  for _ in $(seq 50); do [ -s "$3" ] && gone "^$2\$" && return 0; sleep 0.1; done
  return 1
}
check "File > Save recording writes the typed file" 'save_as ctrl+s "Save recording" "$work/take.wav"'
# A name typed without its extension: the file under the name the program
# adds is asked about as a typed one would be; Cancel leaves it as it was.
take_sum=$(md5sum <"$work/take.wav")
xdotool windowfocus --sync "$frame"
xdotool key ctrl+s
type_name "Save recording" "$work/take"
check "a name typed without its extension asks before take.wav is replaced" 'answer alt+c replace-question'
sleep 0.5
check "Cancel leaves take.wav as it was" '[ "$(md5sum <"$work/take.wav")" = "$take_sum" ] && [ ! -e "$work/take" ]'
# The program recorded at least from when its picture was first seen to show
# speech until Esc, and at most from space until the picture stood still:
# bounds taken from what it was seen to do, however long it took to do it.
# The session keeps all of it but the part of a window still held.
least=$(awk -v a="$seen_recording" -v b="$paused_recording" 'BEGIN { printf "%.2f", b - a }')
most=$(awk -v a="$started_recording" -v b="$stood_still" 'BEGIN { printf "%.2f", b - a }')
saved=$(soxi -D "$work/take.wav" 2>/dev/null || echo 0)
echo "     recorded for $least to $most s, the saved sound lasts $saved s"
# Built with a sanitizer the program runs several times slower, and on a busy
# machine cannot take the sound as fast as it comes: the device then drops
# it, as a device does. Whether the session keeps all it was given is judged
# on the optimised build.
if [ -z "$sanitized" ]; then
  check "the saved recording lasts as long as the recording did" \
    "awk -v a=$least -v b=$saved -v c=$most 'BEGIN { exit !(b > a - 0.1 && b <= c) }'"
fi
# What the loudspeakers heard of P is the session's own sound, the one saved.
if [ -n "$probe" ]; then
  sox "$work/take.wav" -t raw -e signed -b 16 -c 1 "$work/take.raw"
  check "what P played is the session's sound (correlation at least 0.9)" \
    '"$probe" --compare "$work/played.raw" "$work/take.raw"'
fi
check "File > Save picture writes the typed PNG" 'save_as ctrl+shift+s "Save picture" "$work/picture.png"'
check "the saved picture is a PNG as wide as the picture" \
  '[ "$(/usr/bin/identify -format "%m" "$work/picture.png" 2>/dev/null)" = PNG ] && [ "$(/usr/bin/identify -format "%w" "$work/picture.png")" -gt 600 ]'

# The menus: File > Configure, OK; Help > About, OK.
xdotool key alt+f; sleep 0.3; xdotool key c
dialog=$(wait_window '^Configuration$')
check "File > Configure opens the Configuration dialog" '[ -n "$dialog" ]'
if [ -n "$dialog" ]; then
  xdotool windowfocus --sync "$dialog"
  sleep 0.3; shot configuration "$dialog"
  # The focus starts on OK; two tabs reach the refresh list: 10 becomes 15.
  xdotool key Tab Tab Down
  sleep 0.2
  # The Colours list by its label's letter: the colour-blind-safe colours;
  # then OK by its own letter.
  xdotool key alt+l Down
  sleep 0.2
  xdotool key alt+o
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

# View > Model... (Ctrl+M), a path typed into its file dialog: the window
# splits into the model's lane over the picture, parted by one grey row, and
# both move while recording. A file that is no sound gives one message and
# leaves the model. View > Close model gives the picture the whole window.
# Rows of a screenshot that are the lanes' separator nearly all the way across.
separator_rows() {
  /usr/bin/convert "$out/$1.png" -fill black +opaque 'rgb(96,96,96)' -fill white -opaque 'rgb(96,96,96)' \
    -colorspace Gray -scale '1x!' -threshold 90% -format '%[fx:round(mean*h)]' info:
}
open_model() {
  xdotool windowfocus --sync "$frame"
  xdotool key ctrl+m
  local box
  box=$(wait_window '^Open model$')
  [ -n "$box" ] || return 1
  xdotool windowfocus --sync "$box"; sleep 0.5
  xdotool key ctrl+l; xdotool type --delay 10 "$1"; sleep 0.2; xdotool key Return
  gone '^Open model$'
}
sox "$speech" -r 22050 -c 1 "$work/model.flac" trim 0 4
check "View > Model... opens the typed sound file" 'open_model "$work/model.flac"'
shot_until model '[ "$(separator_rows model)" -eq 1 ]'
check "the model's lane and the picture are parted by one grey row" '[ "$(separator_rows model)" -eq 1 ]'
xdotool key space
sleep 1.5
shot model-recording "$frame"
# A slow build (the sanitizers) may take a few seconds for the sound to come.
for _ in $(seq 15); do
  sleep 0.4
  shot model-recording2 "$frame"
  [ "$(differing model-recording model-recording2)" != 0 ] && break
done
check "both lanes move while recording" '[ "$(differing model-recording model-recording2)" != 0 ]'
xdotool key Escape
# The take just paused is scored against the model in the background: its
# line joins the progress log and the panel of its scores the picture. View >
# Follow my timing draws the model's lane on the take's time axis; File >
# Progress report... writes the report of the log.
progress="${XDG_DATA_HOME:-$HOME/.local/share}/vocalume/progress.csv"
shot_until scored '[ "$(wc -l <"$progress" 2>/dev/null || echo 0)" -ge 2 ]'
check "the paused take's scores join the progress log" \
  'head -1 "$progress" | grep -q "^date,model," && tail -1 "$progress" | grep -q ",model.flac,"'
# The model's lane is compared below where the View menu drops down.
model_lane_moved() {
  /usr/bin/convert "$out/scored.png" -crop 100%x90+0+135 +repage "$out/scored-lane.png"
  /usr/bin/convert "$out/follow.png" -crop 100%x90+0+135 +repage "$out/follow-lane.png"
  [ "$(differing scored-lane follow-lane)" != 0 ]
}
xdotool key alt+v; sleep 0.3; xdotool key f
shot_until follow model_lane_moved
check "View > Follow my timing draws the model's lane on the take's time axis" model_lane_moved
xdotool key alt+f; sleep 0.3; xdotool key r
box=$(wait_window "^Save progress report\$")
if [ -n "$box" ]; then
  xdotool windowfocus --sync "$box"; sleep 0.5
  xdotool key ctrl+a; xdotool type --delay 10 "$work/report.html"; sleep 0.2; xdotool key Return
  for _ in $(seq 100); do [ -s "$work/report.html" ] && break; sleep 0.1; done
fi
check "the report is one page with a chart and no script" \
  'grep -q "<svg" "$work/report.html" && grep -q "model.flac" "$work/report.html" && ! grep -qi "<script" "$work/report.html"'
sleep 1.2
open_model "$work/garbage"
for _ in $(seq 50); do [ "$(windows "$titled")" -ge 2 ] && break; sleep 0.1; done
check "a file that is no sound gives one message box" '[ "$(windows "$titled")" -eq 2 ]'
box=$(xdotool search --onlyvisible --name "$titled" | grep -v "^$frame\$" | head -1)
if [ -n "$box" ]; then
  xdotool windowfocus --sync "$box"
  sleep 0.3; shot model-refused "$box"
  xdotool key Return
  sleep 0.5
fi
shot model-kept "$frame"
check "the model stays" '[ "$(windows "$titled")" -eq 1 ] && [ "$(separator_rows model-kept)" -eq 1 ]'
xdotool windowfocus --sync "$frame"
xdotool key alt+v; sleep 0.3; xdotool key c
shot_until model-closed '[ "$(separator_rows model-closed)" -eq 0 ]'
check "View > Close model gives the picture the whole window" \
  '[ "$(separator_rows model-closed)" -eq 0 ] && [ "$(saturation model-closed)" != 0 ]'
# Open again, so that the next start finds it remembered: once it is shown.
open_model "$work/model.flac"
shot_until model-again '[ "$(separator_rows model-again)" -eq 1 ]'

# File > Exit while recording: "Save the recording?". Cancel keeps the
# program (paused); Save, the default, runs Save recording, and once the
# recording is saved the program ends and writes its settings.
xdotool windowfocus --sync "$frame"
xdotool key space
sleep 1
xdotool key alt+f; sleep 0.3; xdotool key x
check "File > Exit with unsaved sound asks \"Save the recording?\"" 'answer Escape save-question'
sleep 0.5
check "Cancel keeps the program" 'kill -0 $app 2>/dev/null && [ "$(windows "^$title\$")" -eq 1 ]'
xdotool windowfocus --sync "$frame"
xdotool key alt+f; sleep 0.3; xdotool key x
answer Return
type_name "Save recording" "$work/last.wav"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
check "Save saves the recording, and then the program quits" '[ -s "$work/last.wav" ] && ! kill -0 $app 2>/dev/null'
wait "$app"; status=$?
check "... with status 0" '[ $status -eq 0 ]'
check "the settings file is written" '[ -f "$settings" ]'
check "the settings hold the new refresh rate, colours and the placement" \
  'grep -q "^refresh=15" "$settings" && grep -q "^sampling=3" "$settings" && grep -q "^palette=1" "$settings" && grep -q "^maximised=0" "$settings"'
check "the settings hold the pitch line switched on" 'grep -q "^pitchline=1" "$settings"'
check "the settings hold Follow my timing switched on" 'grep -q "^followtiming=1" "$settings"'

check "the settings file is clean" '! grep -q -a -v -E "^(\[[a-z]+\]|[a-z]+=-?[0-9]+|input=.*|file=.*|folder=.*|)\$" "$settings"'
check "the settings remember the model" 'grep -q -x "file=$work/model.flac" "$settings"'

# The remembered model comes back at the next start.
start_program "$program" reopened
frame=$(wait_window "$titled")
shot_until reopened '[ "$(separator_rows reopened)" -eq 1 ]'
check "the model of the last run is shown again at start-up" '[ "$(separator_rows reopened)" -eq 1 ]'
xdotool windowfocus --sync "$frame"
xdotool key alt+v; sleep 0.3; xdotool key c
sleep 0.3
quit_and_check "after closing the model again"

# A remembered model that cannot be opened: no message box holds up the
# first keys, one note says so, and it is remembered no more.
sed -i "s|^file=.*|file=$work/garbage|" "$settings"
start_program "$program" unreadable-model
frame=$(wait_window "^$title\$")
sleep 2
check "a remembered model that cannot be opened shows no message box" '[ "$(windows "^$title\$")" -eq 1 ]'
quit_and_check "after a remembered model failed"
check "... and is forgotten" '! grep -q "^file=$work/garbage" "$settings"'
# Space while a long remembered model opens: recording starts at once.
sed -i "s|^file=.*|file=$work/long.wav|" "$settings"
start_program "$program" long-model
frame=$(wait_window "^$title\$")
sleep 0.5
xdotool windowfocus --sync "$frame"
xdotool key space
check "space records while a remembered model opens" 'wait_moving long-model'
quit_and_check "after recording while a model opened" alt+n

# 5. A sound server that freezes: Space then holds up nothing (File >
# Exit pressed at once quits within 2 s), nor does it hold up File > Exit
# while recording.
start_program "$program" frozen-start
frame=$(wait_window "^$title\$")
xdotool windowfocus --sync "$frame"
kill -STOP "$sound_server"
xdotool key space; sleep 0.1
xdotool key alt+f; sleep 0.3; xdotool key x
for _ in $(seq 20); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
check "Space at a frozen sound server holds nothing: File > Exit quits within 2 s" '! kill -0 $app 2>/dev/null'
kill -CONT "$sound_server"

# While recording, a server that freezes holds up File > Exit no more than
# 2 s. The server goes on afterwards.
start_program "$program" frozen
frame=$(wait_window "$titled")
xdotool windowfocus --sync "$frame"
xdotool key space
wait_moving frozen
kill -STOP "$sound_server"
sleep 0.3
xdotool key alt+f; sleep 0.3; xdotool key x
answer alt+n
for _ in $(seq 20); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
check "File > Exit quits within 2 s while the sound server is frozen" '! kill -0 $app 2>/dev/null'
kill -CONT "$sound_server"

# 6. A sound server that dies while recording: one message says so, the
# recording pauses and the picture stands still.
start_program "$program" lost
frame=$(wait_window "$titled")
xdotool windowfocus --sync "$frame"
xdotool key space
wait_moving lost
kill -KILL "$sound_server"
for _ in $(seq 50); do [ "$(windows "$titled")" -ge 2 ] && break; sleep 0.1; done
box=$(xdotool search --onlyvisible --name "$titled" | grep -v "^$frame\$" | head -1)
check "a sound server that dies while recording is reported in a message box" '[ -n "$box" ]'
if [ -n "$box" ]; then
  xdotool windowfocus --sync "$box"
  sleep 0.3; shot device-lost "$box"
  xdotool key Return
  for _ in $(seq 50); do [ "$(windows "$titled")" -eq 1 ] && break; sleep 0.1; done
  check "the message comes once, the recording pauses and the picture stands still" \
    'shot_still lost && sleep 0.5 && [ "$(windows "$titled")" -eq 1 ] && [ "$(saturation lost)" != 0 ]'
fi
quit_and_check "after the sound server died" alt+n

# Built with a sanitizer, the program reports any fault it meets on stderr.
check "no sanitizer report" '! grep -q -E "ERROR: (Address|Leak)Sanitizer|runtime error:" "$out"/*.log'
finish
