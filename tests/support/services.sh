# Private services for the live tests and measurements, sourced by their
# scripts: a sound server with a virtual microphone and an X server, each
# started here and stopped by its own PID (last started, first stopped).
#   source services.sh; services_init NAME OUTDIR; start_sound_server; start_x_server
# Sets $work (removed at exit), $out (logs), $title and $settings.

services_init() {
  work=$(mktemp -d "/tmp/vocalume-$1.XXXXXX")
  out=${2:-$work/out}
  mkdir -p "$out"
  pids=()
  trap stop_services EXIT
  trap "exit 1" INT TERM
  # Own folders for the sound server, its clients and the program's settings.
  export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
  export PULSE_RUNTIME_PATH=$work/run/pulse PULSE_STATE_PATH=$work/state
  export PULSE_SERVER=unix:$work/run/pulse/native
  export JACK_NO_START_SERVER=1
  mkdir -p "$HOME" "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
  chmod 700 "$XDG_RUNTIME_DIR"
  printf 'autospawn = no\n' >"$work/client.conf"
  export PULSE_CLIENTCONFIG=$work/client.conf
  title='Vocalume - The Sound Prism'
  settings="$XDG_CONFIG_HOME/Larkspur Tools/$title.conf"
}

stop_services() {
  local i pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}

# PulseAudio with a null sink "vsink" whose monitor is the default source;
# $sound_server is its PID.
start_sound_server() {
  cat >"$work/pulse.pa" <<CONF
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/run/pulse/native
load-module module-null-sink sink_name=vsink
set-default-sink vsink
set-default-source vsink.monitor
CONF
  pulseaudio -n -F "$work/pulse.pa" --daemonize=no --exit-idle-time=-1 \
    --log-target=file:"$out/pulse.log" &
  sound_server=$!
  pids+=($sound_server)
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

# Plays FILE into the virtual microphone in the background; $player is its PID.
play_into_microphone() {
  paplay -d vsink "$1" &
  player=$!
  pids+=($player)
}

# Xvfb picks a free display number itself and writes it once it accepts
# clients, so two runs on one machine never collide. -noreset: otherwise the
# server resets when its last client leaves (the readiness probe) and may
# refuse the program that connects during the reset.
start_x_server() {
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >"$out/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || return 1
  export DISPLAY=:$(head -1 "$work/display")
  for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

# Starts the program in the background; $app is its PID.
start_program() {  # PROGRAM LOGNAME [ARGUMENT...]
  "$1" "${@:3}" >"$out/$2.log" 2>&1 &
  app=$!
  pids+=($app)
}

# The id of the first visible window whose title matches, waiting up to 10 s.
wait_window() {
  local w
  for _ in $(seq 100); do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$w" ] && { echo "$w"; return; }
    sleep 0.1
  done
}

# Captures a window by id into $out/NAME.png (with no window manager, dialogs
# are separate top-level windows that a root capture does not always show).
shot() { xwd -silent -id "$2" | /usr/bin/convert xwd:- "png:$out/$1.png"; }

# CPU time of process PID so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
