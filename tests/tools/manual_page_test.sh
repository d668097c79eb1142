#!/usr/bin/env bash
# Every option vocalume-render --help offers is described in its manual page.
# Usage: manual_page_test.sh VOCALUME-RENDER MANUAL-PAGE
set -euo pipefail
tool=$1 page=$2

help=$("$tool" --help)
# The page as text: troff's "\-" is a plain hyphen.
text=$(sed 's/\\-/-/g' "$page")
options=$(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u)
[ -n "$options" ] || { echo "no options found in --help"; exit 1; }
missing=0
for option in $options; do
  if ! grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$text"; then
    echo "$option is offered by --help but not described in $(basename "$page")"
    missing=1
  fi
done
exit $missing
