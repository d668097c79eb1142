#!/bin/bash
# The program's command line without a display: an option it does not know
# is refused with the usage and a non-zero status, before any window opens.
set -u
program=$1
out=$(DISPLAY= WAYLAND_DISPLAY= "$program" --bogus 2>&1)
status=$?
if [ "$status" -ne 2 ]; then
    echo "vocalume --bogus ended with status $status, not 2: $out"
    exit 1
fi
if ! grep -q '^Usage: vocalume' <<<"$out" || ! grep -q -- '--bogus' <<<"$out"; then
    echo "vocalume --bogus did not name the option and give the usage: $out"
    exit 1
fi
echo "refused: $out"
