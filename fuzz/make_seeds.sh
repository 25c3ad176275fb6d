#!/usr/bin/env bash
# Writes the fuzzer's seed corpus into the folder given (default $TMPDIR/varnel-fuzz-seeds):
# every sample, real receiver log and bad-input file under the plain name form, under its own
# name (the free form) and under one of the other name forms, so the mutations start from real
# names and content.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-${TMPDIR:-/tmp}/varnel-fuzz-seeds}"
mkdir -p "$out"
free_form=$'\x08'  # byte 0 = 8: the name is the input's first line
i=0
for f in "$root"/samples/*.nmea "$root"/tests/data/real-nmea/*.nmea "$root"/tests/data/bad/*.nmea; do
    [ -f "$f" ] || continue
    i=$((i + 1))
    { printf '\x00'; cat "$f"; } > "$out/plain-$i"
    { printf '%s%s\n' "$free_form" "$(basename "$f")"; cat "$f"; } > "$out/named-$i"
    # The same content under each fixed name form, so every form starts with real lines.
    form=$(( i % 8 ))
    { printf "\\x0$form"; cat "$f"; } > "$out/form-$i"
done
echo "$i files → $out"
