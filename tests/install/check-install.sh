#!/usr/bin/env bash
# Installs the build into a scratch prefix and compares what lands there with the expected list;
# the icons must have the sizes their folders name, the record file type must be the loader's,
# and the installed converter must work from there.
# Usage: check-install.sh BUILD PREFIX EXPECTED-LIST SAMPLES
set -euo pipefail
export LC_ALL=C  # the order of sort
build=$1 prefix=$2 expected=$3 samples=$4

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

if ! diff -u "$expected" <(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort); then
  echo "The installed files differ from $expected (- expected, + installed)" >&2
  exit 1
fi

# Width and height are the big-endian words at bytes 16..23 of a PNG file.
status=0
for png in "$prefix"/share/icons/hicolor/*x*/apps/varnel.png; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }')
  if [ "${w}x${h}" != "$size" ]; then
    echo "$png is ${w}x${h}, not $size" >&2
    status=1
  fi
done

# GDAL and, in the converter, Qt are loaded by the exports that need them, never linked.
needed() { readelf -d "$prefix/bin/$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
if needed varnel-convert | grep -E 'libgdal|libQt'; then echo "varnel-convert links the above" >&2; status=1; fi
if needed varnel | grep libgdal; then echo "varnel links the above" >&2; status=1; fi

# The record file type is read by the desktop's MIME database as the loader's rule: a name
# holding ".nmea" in lower case.
mime=$(mktemp -d "${TMPDIR:-/tmp}/varnel-mime.XXXXXX")
cp -r "$prefix/share/mime/packages" "$mime/"
update-mime-database "$mime" 2>/dev/null
if ! grep -qx '[0-9]*:application/x-varnel-record:\*\.nmea\*:cs' "$mime/globs2"; then
  echo "the MIME database does not read the record type's glob as case-sensitive *.nmea*:" >&2
  grep varnel "$mime/globs2" >&2
  status=1
fi
rm -rf "$mime"

cd /
"$prefix/bin/varnel-convert" --help >/dev/null
out=$("$prefix/bin/varnel-convert" "$samples")
if [ "$(printf '%s\n' "$out" | wc -l)" -ne "$(ls "$samples"/*.nmea | wc -l)" ]; then
  echo "the installed varnel-convert did not list one line per sample:" >&2
  printf '%s\n' "$out" >&2
  status=1
fi
# The installed converter finds its modules from where it is installed.
exports=$(mktemp -d)
trap 'rm -rf "$exports"' EXIT
sample=$(ls "$samples"/*.nmea | head -1)
if ! "$prefix/bin/varnel-convert" "$sample" --gis "$exports/r.gpkg" --report "$exports/r.pdf" >/dev/null ||
   [ "$(head -c 15 "$exports/r.gpkg")" != "SQLite format 3" ] || [ "$(head -c 5 "$exports/r.pdf")" != "%PDF-" ]; then
  echo "the installed varnel-convert did not write a GeoPackage and a report" >&2
  status=1
fi
exit "$status"
