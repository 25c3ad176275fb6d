#!/usr/bin/env bash
# Installs the package with dpkg into a throw-away root, runs the converter there from the
# package's own paths (no source or build tree in sight), removes the package with dpkg and
# checks that nothing of it is left. The root has an empty dpkg database and no libraries of
# its own: inside a private mount namespace it borrows this machine's /usr/lib read-only, under
# the package's own files there, and GDAL's and PROJ's data (the package's dependencies are
# installed here, see check-package.sh), so no network is needed.
# The mounts vanish with the namespace, before the root is deleted.
# Usage: check-deb-root.sh DEB-FOLDER SAMPLES
set -euo pipefail
debs=("$1"/varnel_*.deb)
deb=$(cd "$(dirname "${debs[0]}")" && pwd -P)/$(basename "${debs[0]}")
samples=$(cd "$2" && pwd -P)

userns=()
if [ "$(id -u)" -ne 0 ]; then userns=(--map-root-user); fi
if ! unshare "${userns[@]}" --mount --fork true 2>/dev/null; then
  echo "SKIP: no private mount namespace here (unshare ${userns[*]} --mount fails)"
  exit 77
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/varnel-root.XXXXXX")
trap 'rm -rf --one-file-system "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/tmp" "$root/etc"
touch "$root/var/lib/dpkg/status"
cp -r "$samples" "$root/tmp/samples"

unshare "${userns[@]}" --mount --fork --propagation private bash -euo pipefail -s "$root" "$deb" <<'INNER'
root=$1 deb=$2
dpkg=(dpkg --root="$root" --force-depends --force-not-root)
"${dpkg[@]}" --install "$deb" >/dev/null
[ "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}' varnel)" = "install ok installed" ]

# This machine's libraries, read-only, and the loader's cache; the package's own files in
# /usr/lib (its writer modules) stay on top of them.
for dir in usr/lib usr/lib64; do
  [ -d "/$dir" ] || continue
  mkdir -p "$root/$dir"
  mount -t overlay overlay -o "lowerdir=$root/$dir:/$dir" "$root/$dir"
done
# GDAL's and PROJ's data (coordinate systems), which their packages bring.
for dir in usr/share/gdal usr/share/proj; do
  [ -d "/$dir" ] || continue
  mkdir -p "$root/$dir"
  mount --bind "/$dir" "$root/$dir"
  mount -o remount,bind,ro "$root/$dir"
done
for link in lib lib64; do [ -L "/$link" ] && ln -s "$(readlink "/$link")" "$root/$link"; done
cp /etc/ld.so.cache "$root/etc/"
# Libraries reached through Debian's alternatives (GDAL's BLAS) link through /etc/alternatives.
cp -a /etc/alternatives "$root/etc/"

chroot "$root" /usr/bin/varnel-convert --help >/dev/null
out=$(cd "$root" && chroot "$root" /usr/bin/varnel-convert /tmp/samples)
lines=$(printf '%s\n' "$out" | wc -l)
expected=$(ls "$root"/tmp/samples/*.nmea | wc -l)
if [ "$lines" -ne "$expected" ]; then
  echo "varnel-convert in the root printed $lines lines for $expected samples:" >&2
  printf '%s\n' "$out" >&2
  exit 1
fi
# The GIS writer's module is found from the package's own path.
chroot "$root" /usr/bin/varnel-convert "/tmp/samples/$(basename "$(ls "$root"/tmp/samples/*.nmea | head -1)")" \
  --gis /tmp/r.gpkg >/dev/null
[ "$(head -c 15 "$root/tmp/r.gpkg")" = "SQLite format 3" ] || { echo "varnel-convert --gis wrote no GeoPackage in the root" >&2; exit 1; }
# man finds both programs' pages where the package put them, the Chinese ones for zh_CN.
for lang in en zh_CN; do
  for program in varnel varnel-convert; do
    where=$(MANPATH="$root/usr/share/man" man -L "$lang" -w "$program" 2>/dev/null || true)
    want=$root/usr/share/man/man1/$program.1.gz
    [ "$lang" = zh_CN ] && want=$root/usr/share/man/zh_CN/man1/$program.1.gz
    if [ "$where" != "$want" ]; then
      echo "man -L $lang finds '$where' for $program, not $want" >&2
      exit 1
    fi
  done
done
# The window program's libraries all resolve there too.
interpreter=$(readelf -l "$root/usr/bin/varnel" | sed -n 's/.*program interpreter: \(.*\)]/\1/p')
if chroot "$root" "$interpreter" --list /usr/bin/varnel | grep 'not found'; then
  echo "varnel's libraries do not all resolve in the root" >&2
  exit 1
fi

for dir in usr/share/proj usr/share/gdal usr/lib64 usr/lib; do
  if mountpoint -q "$root/$dir"; then umount "$root/$dir"; fi
done
"${dpkg[@]}" --purge varnel >/dev/null
left=$(cd "$root" && find usr -type f 2>/dev/null || true)
if [ -n "$left" ]; then
  echo "files left after removing the package:" >&2
  printf '%s\n' "$left" >&2
  exit 1
fi
INNER
