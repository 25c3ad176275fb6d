#!/usr/bin/env python3
"""Writes the offline map's basemap (map/offlinelayers.js draws it): land and country outlines of
the world and the province-level divisions of China with their Chinese names, from the Natural Earth
1:10m data that Debian's qgis-common ships as a GeoPackage, simplified and quantised; and China's
cities and towns. Names and towns come from GeoNames (libgeonames0, libgeonames-common). Run by the build: make_basemap.py GPKG OUTPUT.js
"""
import json
import math
import sqlite3
import struct
import sys

import geonames_zh

UNITS = 1000  # coordinates are stored as integers of 1/UNITS degree
COUNTRY_TOLERANCE = 0.05  # degrees; Douglas–Peucker
PROVINCE_TOLERANCE = 0.004
COUNTRY_MIN_AREA = 0.005  # square degrees: islets below this are left out
PROVINCE_MIN_AREA = 0.0002


def polygons(blob):
    """The rings of a GeoPackage (Multi)Polygon geometry: [[ring, ...], ...] in (lon, lat)."""
    flags = blob[3]
    envelope = {0: 0, 1: 32, 2: 48, 3: 48, 4: 64}[(flags >> 1) & 7]
    data = memoryview(blob)[8 + envelope:]
    offset = 0

    def read(fmt):
        nonlocal offset
        values = struct.unpack_from(fmt, data, offset)
        offset += struct.calcsize(fmt)
        return values

    def geometry():
        order = "<" if read("B")[0] == 1 else ">"
        kind = read(order + "I")[0] % 1000
        if kind == 3:
            rings = []
            for _ in range(read(order + "I")[0]):
                n = read(order + "I")[0]
                flat = read(order + "%dd" % (2 * n))
                rings.append(list(zip(flat[0::2], flat[1::2])))
            return [rings]
        if kind == 6:
            out = []
            for _ in range(read(order + "I")[0]):
                out.extend(geometry())
            return out
        raise ValueError("geometry type %d" % kind)

    return geometry()


def ring_area(ring):
    return abs(sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(ring, ring[1:] + ring[:1]))) / 2


def simplify(points, tolerance):
    """Douglas–Peucker, iterative; keeps the ends."""
    if len(points) < 3:
        return points
    keep = [False] * len(points)
    keep[0] = keep[-1] = True
    stack = [(0, len(points) - 1)]
    while stack:
        first, last = stack.pop()
        (x0, y0), (x1, y1) = points[first], points[last]
        dx, dy = x1 - x0, y1 - y0
        norm = math.hypot(dx, dy)
        worst, index = 0.0, -1
        for i in range(first + 1, last):
            x, y = points[i]
            d = abs(dy * (x - x0) - dx * (y - y0)) / norm if norm else math.hypot(x - x0, y - y0)
            if d > worst:
                worst, index = d, i
        if worst > tolerance:
            keep[index] = True
            stack.append((first, index))
            stack.append((index, last))
    return [p for p, k in zip(points, keep) if k]


def encode(ring, tolerance):
    """A ring as [x0, y0, dx1, dy1, ...] in 1/UNITS degree, or None when it vanishes."""
    points = simplify(ring, tolerance)
    out, px, py = [], 0, 0
    for x, y in points:
        qx, qy = round(x * UNITS), round(y * UNITS)
        if out and qx == px and qy == py:
            continue
        out += [qx - px, qy - py]
        px, py = qx, qy
    return out if len(out) >= 8 else None


def label_point(shape):
    """A point inside the largest polygon of a shape: the middle of the widest run of the
    horizontal line through its outer ring's centroid, which stays inside odd shapes."""
    ring = max((p[0] for p in shape), key=ring_area)
    cy = sum(y for _, y in ring) / len(ring)
    crossings = []
    for (x0, y0), (x1, y1) in zip(ring, ring[1:] + ring[:1]):
        if (y0 <= cy) != (y1 <= cy):
            crossings.append(x0 + (cy - y0) * (x1 - x0) / (y1 - y0))
    crossings.sort()
    runs = list(zip(crossings[0::2], crossings[1::2]))
    if not runs:
        return [round(ring[0][0], 3), round(cy, 3)]
    a, b = max(runs, key=lambda r: r[1] - r[0])
    return [round((a + b) / 2, 3), round(cy, 3)]


def feature(name, shape, tolerance, min_area):
    rings = []
    for polygon in shape:
        for ring in polygon[:1]:  # outlines only: lakes and holes are not drawn
            if ring_area(ring) >= min_area:
                encoded = encode(ring, tolerance)
                if encoded:
                    rings.append(encoded)
    if not rings:
        return None
    # The label's room: the square root of the largest part's area, in degrees.
    size = math.sqrt(max(ring_area(p[0]) for p in shape))
    return {"name": name, "label": label_point(shape), "size": round(size, 2), "rings": rings}


def main(gpkg, target):
    names = geonames_zh.Names()
    # GeoNames' English province names → admin1 codes, for provinces the map data gives no code.
    cities = geonames_zh.cities()
    cn_codes = {state: admin1 for _, _, admin1, state, cc, _, _, _, _ in cities if cc == "CN"}
    db = sqlite3.connect("file:%s?mode=ro" % gpkg, uri=True)

    countries, provinces, vertices = [], [], 0
    for iso, english, blob in db.execute("SELECT iso_a2, NAME, geom FROM countries"):
        shape = polygons(blob)
        if iso in geonames_zh.CHINA_PARTS:
            f = feature(geonames_zh.CHINA_PARTS[iso], shape, PROVINCE_TOLERANCE, PROVINCE_MIN_AREA)
            target_list = provinces
        else:
            # China's own coast as fine as its provinces', so that the two lines meet.
            fine = iso == "CN"
            f = feature(names.country(iso, english) if iso else english, shape,
                        PROVINCE_TOLERANCE if fine else COUNTRY_TOLERANCE,
                        PROVINCE_MIN_AREA if fine else COUNTRY_MIN_AREA)
            target_list = countries
        if f:
            target_list.append(f)
    for fips, english, blob in db.execute(
            "SELECT fips, name, geom FROM states_provinces WHERE adm0_a3 = 'CHN'"):
        code = fips[2:] if fips and fips.startswith("CH") else cn_codes.get(english)
        if not code:
            continue  # islands the GeoNames data has no province for
        f = feature(names.province("CN", code, english), polygons(blob), PROVINCE_TOLERANCE,
                    PROVINCE_MIN_AREA)
        if f:
            provinces.append(f)
    for f in countries + provinces:
        vertices += sum(len(r) for r in f["rings"]) // 2

    # China's cities and towns, largest first: [lon, lat, name, population].
    towns = sorted(([round(lon, 3), round(lat, 3), names.lookup(gid, name), population]
                    for gid, name, _, _, cc, _, lat, lon, population in cities
                    if cc == "CN" or cc in geonames_zh.CHINA_PARTS), key=lambda t: -t[3])

    data = {"units": UNITS, "countries": countries, "provinces": provinces, "towns": towns}
    with open(target, "w", encoding="utf-8") as out:
        out.write("// Generated by scripts/make_basemap.py from Natural Earth (public domain) and GeoNames\n")
        out.write("// names, as JSON. Rings are delta-encoded integers of 1/units degree. Do not edit.\n")
        # As a JSON text in a string, parsed when the map draws it: a string is read at once
        # when the page loads, and JSON.parse is several times faster than the same literal.
        text = json.dumps(data, ensure_ascii=False, separators=(",", ":"))
        out.write("var BaseMapText = '%s';\n" % text.replace("\\", "\\\\").replace("'", "\\'"))
    print("basemap: %d countries, %d provinces, %d vertices, %d towns" %
          (len(countries), len(provinces), vertices, len(towns)))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
