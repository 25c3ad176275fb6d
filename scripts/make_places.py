#!/usr/bin/env python3
"""Writes the nearest-place table of geo/place.cpp: every GeoNames city of libgeonames with
its Chinese name, province and country, sorted by latitude. Run by the build."""
import sys

import geonames_zh


def c_string(text):
    out = []
    for ch in text:
        if ch in '"\\':
            out.append("\\" + ch)
        elif ord(ch) < 0x20:
            out.append("\\%03o" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


def main(target):
    names = geonames_zh.Names()
    pool = {}
    pool_parts = []
    pool_size = 0

    def intern(text):
        nonlocal pool_size
        if text not in pool:
            pool[text] = pool_size
            pool_parts.append(text)
            pool_size += len(text.encode("utf-8")) + 1
        return pool[text]

    intern("")
    rows = []
    for gid, name, admin1, state, cc, country, lat, lon, _ in geonames_zh.cities():
        rows.append((round(lat * 1e6), round(lon * 1e6),
                     intern(names.lookup(gid, name)),
                     intern(names.province(cc, admin1, state) if state or cc in geonames_zh.CHINA_PARTS else ""),
                     intern(names.country(cc, country))))
    rows.sort()

    with open(target, "w", encoding="utf-8") as f:
        f.write("// Generated from Debian's GeoNames data (libgeonames0, libgeonames-common) by\n")
        f.write("// scripts/make_places.py. Do not edit.\n")
        f.write('#include "geo/placetable.h"\n\n')
        f.write("extern const char kPlaceText[] =\n")
        for text in pool_parts:
            f.write('    "%s\\0"\n' % c_string(text))
        f.write("    ;\n\n")
        f.write("extern const PlaceEntry kPlaceEntries[] = {\n")
        for row in rows:
            f.write("    {%d, %d, %d, %d, %d},\n" % row)
        f.write("};\n\n")
        f.write("extern const int kPlaceEntryCount = %d;\n" % len(rows))
    print("%d places, %d bytes of names" % (len(rows), pool_size))


if __name__ == "__main__":
    main(sys.argv[1])
