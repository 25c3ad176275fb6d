#!/usr/bin/env bash
# The converter's manual pages list exactly the options its --help lists, each with the same
# argument name: every page, English and Chinese, as man shows it. (lintian checks that
# the pages format cleanly.)
# Usage: check-man-options.sh CONVERTER PAGE.1.gz...
set -euo pipefail
export LC_ALL=C.UTF-8 MANWIDTH=100
converter=$1
shift

# "  --dxf OUT  writes ..." and "  --report OUT" both give "--dxf OUT", "--report OUT".
from_help=$("$converter" --help | sed -nE 's/^  (--[a-z][a-z-]*( [A-Z]+)?).*/\1/p' | sort)
[ -n "$from_help" ] || { echo "$converter --help lists no options" >&2; exit 1; }

status=0
for page in "$@"; do
  # The options section is the one after the synopsis and description whose entries start
  # at the paragraph indent; man shows each entry's term alone on its line.
  rendered=$(man -l "$page" | col -b)
  from_page=$(sed -nE 's/^ {7}(--[a-z][a-z-]*( [A-Z]+)?) *$/\1/p' <<<"$rendered" | sort)
  if [ "$from_page" != "$from_help" ]; then
    echo "$page and --help list different options (- --help, + page):" >&2
    diff <(printf '%s\n' "$from_help") <(printf '%s\n' "$from_page") >&2 || true
    status=1
  fi
done
exit "$status"
