#!/usr/bin/env bash
# Times whole processes on the benchmark's device folder (200 RMC files of 3599 points), all in
# one run: cat of the files (the floor), varnel-convert (plain lines, and --json --points), and
# GPSBabel's NMEA reader (not a dependency: installed by hand for this comparison). Prints each
# best-of-N wall time and its ratio to cat.
#   bench/compare_converter.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?usage: compare_converter.sh BUILD_DIR [RUNS]}
runs=${2:-5}
dir=$(mktemp -d /tmp/varnel-compare-XXXXXX)
trap 'rm -rf "$dir"' EXIT
"$build/bench/bench_folder_import" --write-workload "$dir"
files=("$dir"/*.nmea)
cat "${files[@]}" >/dev/null  # into the page cache

best() {  # best wall time in seconds of RUNS runs of the command
  local n=$1 best_ns= start end; shift
  for ((i = 0; i < n; i++)); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    if [ -z "$best_ns" ] || [ $((end - start)) -lt "$best_ns" ]; then best_ns=$((end - start)); fi
  done
  awk -v ns="$best_ns" 'BEGIN { printf "%.4f", ns / 1e9 }'
}

gpsbabel_args=(-i nmea)
for f in "${files[@]}"; do gpsbabel_args+=(-f "$f"); done
gpsbabel_args+=(-o unicsv -F /dev/null)

floor=$(best "$runs" cat "${files[@]}")
plain=$(best "$runs" "$build/cli/varnel-convert" "$dir")
json=$(best "$runs" "$build/cli/varnel-convert" --json --points "$dir")
printf '%-34s %8s s\n' "cat (floor)" "$floor"
printf '%-34s %8s s  %6.1fx cat\n' "varnel-convert DIR" "$plain" "$(awk -v a="$plain" -v b="$floor" 'BEGIN { print a / b }')"
printf '%-34s %8s s  %6.1fx cat\n' "varnel-convert --json --points DIR" "$json" "$(awk -v a="$json" -v b="$floor" 'BEGIN { print a / b }')"
if command -v gpsbabel >/dev/null; then
  babel=$(best 2 gpsbabel "${gpsbabel_args[@]}")
  printf '%-34s %8s s  %6.1fx cat, %.1fx varnel-convert\n' "gpsbabel -i nmea ... -o unicsv" "$babel" \
    "$(awk -v a="$babel" -v b="$floor" 'BEGIN { print a / b }')" "$(awk -v a="$babel" -v b="$plain" 'BEGIN { print a / b }')"
else
  echo "gpsbabel is not installed: apt-get install gpsbabel"
fi
