#!/usr/bin/env bash
# The installed bash completion of varnel-convert, run by bash-completion as bash would on Tab:
# options come from the program's --help, --formats completes each item of its list, and a
# PATH is a folder or a record file (".nmea" in lower case, as the converter takes them).
# Usage: check-completion.sh PREFIX
set -uo pipefail
prefix=$(cd "$1" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnel-completion.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/sub"
touch "$scratch/a.nmea" "$scratch/b.nmea.bak" "$scratch/C.NMEA" "$scratch/notes.txt"
cd "$scratch"

# Completes the words of LINE (the last one being completed) and prints the candidates sorted.
complete_line() {
  PATH="$prefix/bin:$PATH" bash --norc --noprofile -c '
    source /usr/share/bash-completion/bash_completion
    source "$1/share/bash-completion/completions/varnel-convert"
    read -ra COMP_WORDS <<<"$2"
    [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$2 COMP_POINT=${#2}
    _varnel_convert varnel-convert "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' bash "$prefix" "$1" | sort
}

status=0
expect() {
  local got
  got=$(complete_line "$1")
  if [ "$got" != "$2" ]; then
    printf 'completing "%s" gave:\n%s\nexpected:\n%s\n' "$1" "$got" "$2" >&2
    status=1
  fi
}

options=$("$prefix/bin/varnel-convert" --help | sed -nE 's/^  (--[a-z][a-z-]*).*/\1/p' | sort)
expect "varnel-convert --" "$options"
expect "varnel-convert --fo" "--formats"
expect "varnel-convert a.nmea --out-dir o --formats dxf,g" $'dxf,geojson\ndxf,gpkg\ndxf,gpkg-cgcs2000\ndxf,gpx'
expect "varnel-convert a.nmea --out-dir " "sub"
expect "varnel-convert " $'a.nmea\nb.nmea.bak\nsub'
exit "$status"
