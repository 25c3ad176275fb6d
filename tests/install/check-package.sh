#!/usr/bin/env bash
# Builds the Debian package into a scratch folder and checks its fields and contents: name,
# version, maintainer, description, dependencies on the linked libraries and on what is loaded
# at run time (each of them installed here, so each names a real package), the same files as
# the install, the doc folder and manual pages, and stripped programs that name neither the
# source nor the build tree.
# Usage: check-package.sh BUILD OUT EXPECTED-LIST VERSION
set -euo pipefail
export LC_ALL=C  # the order of sort
build=$1 out=$2 expected=$3 version=$4

rm -rf "$out"
mkdir -p "$out"
# CPack stores the guide's Chinese file name only under a UTF-8 locale.
(cd "$build" && LC_ALL=C.UTF-8 cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; exit 1; }
debs=("$out"/varnel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no single varnel_*.deb in $out" >&2; exit 1; }
deb=${debs[0]}

status=0
fail() { echo "$*" >&2; status=1; }
field() { dpkg-deb --field "$deb" "$1"; }

[ "$(field Package)" = varnel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
[ "$(dpkg-deb --info "$deb" | grep -c '^ Description:')" -eq 1 ] || fail "no Description"
[ "$(field Description | wc -l)" -ge 2 ] || fail "Description has no long part"

depends=$(field Depends)
# libgdal comes from the GIS writer's module, which the programs load rather than link.
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6webenginewidgets6 \
              libdxflib libgif libgdal fonts-wqy-zenhei qt6-translations-l10n; do
  grep -q "\b$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
# Each dependency (one of its alternatives) is a package installed on this machine.
IFS=',' read -ra groups <<<"$depends"
for group in "${groups[@]}"; do
  found=0
  IFS='|' read -ra alternatives <<<"$group"
  for alt in "${alternatives[@]}"; do
    name=$(awk '{ print $1 }' <<<"$alt")
    if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed"; then found=1; fi
  done
  [ "$found" -eq 1 ] || fail "no alternative of dependency '$group' is installed here"
done

if ! diff -u <(sed 's|^|usr/|' "$expected") \
       <(dpkg-deb --fsys-tarfile "$deb" | tar -t --quoting-style=literal | grep -v '/$' | sed 's|^\./||' | sort); then
  fail "the package's files differ from $expected (- expected, + packaged)"
fi

rm -rf "$out/unpacked"
dpkg-deb -x "$deb" "$out/unpacked"
# The doc folder: the project's copyright and changelog as they are in debian/, and a guide
# whose every picture is packaged beside it.
source_tree=$(cd "$(dirname "$0")/../.." && pwd -P)
doc=$out/unpacked/usr/share/doc/varnel
cmp -s "$source_tree/debian/copyright" "$doc/copyright" || fail "the packaged copyright is not debian/copyright"
gzip -dc "$doc/changelog.gz" | cmp -s "$source_tree/debian/changelog" - || fail "the packaged changelog is not debian/changelog"
pictures=$(grep -o '<img src="[^"]*"' "$doc/使用说明.html" | sed 's/<img src="//; s/"$//')
[ -n "$pictures" ] || fail "the guide shows no pictures"
for picture in $pictures; do
  [ -f "$doc/$picture" ] || fail "the guide's picture $picture is not packaged"
done
# The manual pages are what man shows for both programs, in English and in Chinese.
for page in man1/varnel.1.gz man1/varnel-convert.1.gz zh_CN/man1/varnel.1.gz zh_CN/man1/varnel-convert.1.gz; do
  name=$(basename "$page" .1.gz)
  LC_ALL=C.UTF-8 man -l "$out/unpacked/usr/share/man/$page" 2>/dev/null | grep -q "^$name(1)" ||
    fail "man cannot show $page"
done

for program in bin/varnel bin/varnel-convert lib/*/varnel/varnel-gis.so lib/*/varnel/varnel-report.so; do
  file=$(echo "$out"/unpacked/usr/$program)
  case $program in
    bin/*) [ -x "$file" ] || { fail "$program is not packaged as an executable"; continue; } ;;
    *) [ -f "$file" ] || { fail "$program is not packaged"; continue; } ;;
  esac
  if readelf -S "$file" | grep -q '\.symtab'; then fail "$program is not stripped"; fi
  for tree in "$(cd "$build" && pwd -P)" "$(cd "$(dirname "$0")/../.." && pwd -P)"; do
    if grep -qaF "$tree" "$file"; then fail "$program names $tree"; fi
  done
done
exit "$status"
