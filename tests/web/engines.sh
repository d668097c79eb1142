#!/usr/bin/env bash
# The browser edition in WebKitGTK and Firefox ESR (tests/web/engines_test.js),
# with a private X server and a private sound server whose microphone hears a
# steady 220 Hz tone; both are stopped by their PIDs at the end.
#   bash tests/web/engines.sh [webkit|firefox]...   (both when none is named)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/services.sh"
services_init web-engines
start_sound_server || { echo "engines: no sound server"; exit 1; }
start_x_server || { echo "engines: no X server"; exit 1; }
sox -n -r 48000 -c 1 -b 16 "$work/tone.wav" synth 600 sine 220 vol 0.4
play_into_microphone "$work/tone.wav"
status=0
for engine in "${@:-webkit firefox}"; do
  for e in $engine; do
    node --no-warnings --experimental-websocket "$here/engines_test.js" "$e" || status=1
  done
done
exit $status
