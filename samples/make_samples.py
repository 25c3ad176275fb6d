#!/usr/bin/env python3
"""Writes the sample record files beside this script.

Every file is what the instrument (or a plain GNSS receiver) would leave on its drive: one
position per second, CR LF line ends, summary lines where the instrument states its own
results. The output is the same on every run: jitter comes from generators with fixed seeds,
and no clock is read.

File names carry local time (UTC+8); RMC sentences carry UTC, as NMEA does.
"""

import math
import os
import random
from datetime import datetime, timedelta

HERE = os.path.dirname(os.path.abspath(__file__))

# WGS-84
A = 6378137.0
F = 1 / 298.257223563
E2 = F * (2 - F)

UTC_OFFSET = timedelta(hours=8)
MAX_POINTS = 3599
MAX_BYTES = 100 * 1024


class Plane:
    """A local east/north plane in metres around an origin, good to millimetres over a few km."""

    def __init__(self, lat, lon):
        self.lat, self.lon = lat, lon
        s = math.sin(math.radians(lat))
        w = math.sqrt(1 - E2 * s * s)
        self.north_per_rad = A * (1 - E2) / w ** 3  # meridian radius of curvature
        self.east_per_rad = A / w * math.cos(math.radians(lat))

    def to_geo(self, east, north):
        return (self.lat + math.degrees(north / self.north_per_rad),
                self.lon + math.degrees(east / self.east_per_rad))

    def to_plane(self, lat, lon):
        return (math.radians(lon - self.lon) * self.east_per_rad,
                math.radians(lat - self.lat) * self.north_per_rad)


class Jitter:
    """GPS error: slowly wandering (first-order autoregressive), not white noise, so that a
    walked line stays smooth from one second to the next."""

    def __init__(self, seed, sigma, keep=0.95):
        self.rng = random.Random(seed)
        self.keep = keep
        self.step = sigma * math.sqrt(1 - keep * keep)  # stationary spread is sigma
        self.east = self.north = 0.0

    def gauss(self):
        # Box-Muller over random() alone, whose sequence Python keeps stable across versions.
        u = 1.0 - self.rng.random()
        return math.sqrt(-2 * math.log(u)) * math.cos(2 * math.pi * self.rng.random())

    def next(self):
        self.east = self.keep * self.east + self.step * self.gauss()
        self.north = self.keep * self.north + self.step * self.gauss()
        return self.east, self.north


def travel(vertices, speed_at, rng):
    """Positions once a second along the polyline, moving at speed_at(distance) m/s with a
    little variation; the last position is the last vertex."""
    legs = []
    total = 0.0
    for (x0, y0), (x1, y1) in zip(vertices, vertices[1:]):
        length = math.hypot(x1 - x0, y1 - y0)
        legs.append((total, length, x0, y0, x1, y1))
        total += length

    def at(s):
        for start, length, x0, y0, x1, y1 in legs:
            if s <= start + length:
                t = (s - start) / length
                return x0 + t * (x1 - x0), y0 + t * (y1 - y0)
        return vertices[-1]

    out = []
    s = 0.0
    while s < total:
        out.append(at(s))
        s += speed_at(s) * (0.92 + 0.16 * rng.random())
    out.append(vertices[-1])
    return out


def on_grid(position, step):
    return tuple(round(v / step) * step for v in position)


def add_jitter(track, jitter):
    out = []
    for x, y in track:
        dx, dy = jitter.next()
        out.append((x + dx, y + dy))
    return out


def ring_area(pts):
    s = 0.0
    for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
        s += x0 * y1 - x1 * y0
    return abs(s) / 2


def path_length(pts):
    return sum(math.hypot(x1 - x0, y1 - y0) for (x0, y0), (x1, y1) in zip(pts, pts[1:]))


def ring_length(pts):
    return path_length(pts + pts[:1])


def motion(a, b):
    """Speed in knots and course in degrees true from one position to the next, 1 s apart."""
    de, dn = b[0] - a[0], b[1] - a[1]
    return math.hypot(de, dn) * 3600 / 1852, math.degrees(math.atan2(de, dn)) % 360


def heading(track, i):
    """Motion at fix i: towards the next fix, or for the last one, from the one before."""
    return motion(track[i], track[i + 1]) if i + 1 < len(track) else motion(track[i - 1], track[i])


def deg_min(value, deg_digits, decimals):
    """ddmm.mmmm (or dddmm.mmmm) with its hemisphere letter, rounded in whole units of the
    last digit so that minutes never print as 60."""
    unit = 10 ** decimals
    total = round(abs(value) * 60 * unit)
    deg, rest = divmod(total, 60 * unit)
    minutes, frac = divmod(rest, unit)
    return f"{deg:0{deg_digits}d}{minutes:02d}.{frac:0{decimals}d}"


def nmea(body):
    checksum = 0
    for ch in body.encode("ascii"):
        checksum ^= ch
    return f"${body}*{checksum:02X}"


def rmc(talker, when, lat, lon, knots, course, decimals, speed_fmt, course_fmt):
    return nmea(f"{talker}RMC,{when:%H%M%S}.00,A,"
                f"{deg_min(lat, 2, decimals)},{'N' if lat >= 0 else 'S'},"
                f"{deg_min(lon, 3, decimals)},{'E' if lon >= 0 else 'W'},"
                f"{speed_fmt.format(knots)},{course_fmt.format(course)},{when:%d%m%y},,,A")


def gga(talker, when, lat, lon, decimals, satellites, hdop, altitude, separation):
    return nmea(f"{talker}GGA,{when:%H%M%S}.00,"
                f"{deg_min(lat, 2, decimals)},{'N' if lat >= 0 else 'S'},"
                f"{deg_min(lon, 3, decimals)},{'E' if lon >= 0 else 'W'},"
                f"1,{satellites:02d},{hdop:.2f},{altitude:.1f},M,{separation:.1f},M,,")


def dated(when, lat, lon):
    return f"{when:%Y-%m-%d,%H:%M:%S},{lat:.7f},{lon:.7f}"


def numbered(n, lat, lon):
    line = f"{n:014d},{lat:.7f},{lon:.6f}"
    assert len(line) == 36, line  # so that CR LF falls at bytes 36 and 37
    return line


def write(name, lines, encoding="ascii"):
    data = b"".join(line.encode(encoding) + b"\r\n" for line in lines)
    assert len(data) < MAX_BYTES, (name, len(data))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
    return len(data)


def report(name, size, plane, geo, stated=None):
    pts = [plane.to_plane(lat, lon) for lat, lon in geo]
    assert len(pts) <= MAX_POINTS, (name, len(pts))
    print(f"{name}\n    {len(pts)} points, {size} bytes; from the points: "
          f"area {ring_area(pts):.1f} m2 ({ring_area(pts) / 666.66668701171875:.2f} mu), "
          f"path {path_length(pts):.1f} m, start to end "
          f"{math.hypot(pts[-1][0] - pts[0][0], pts[-1][1] - pts[0][1]):.1f} m")
    if stated:
        print(f"    stated in the file: {stated}")


def field_summary(plane, geo):
    """The instrument's own results for a walked outline: area of the ring and its perimeter."""
    pts = [plane.to_plane(lat, lon) for lat, lon in geo]
    area = round(ring_area(pts), 1)
    return area, round(area / 666.66668701171875, 2), round(ring_length(pts), 1)


def walked_field():
    """A field of about 1.45 ha walked once round with a GPS-only receiver, GBK summary."""
    name = "TRACK-0001_2026-04-11 102030.nmea"
    plane = Plane(34.80215, 113.60387)
    outline = [(0, 0), (128, -9), (136, 104), (66, 116), (-6, 112), (0, 0)]
    rng = random.Random(11)
    track = add_jitter(travel(outline, lambda s: 1.2, rng), Jitter(12, 0.35))
    # The instrument states results for the positions it writes: 0.0001' in RMC.
    geo = [on_grid(plane.to_geo(x, y), 1 / 600000) for x, y in track]
    start = datetime(2026, 4, 11, 10, 20, 30) - UTC_OFFSET
    lines = []
    for i, (lat, lon) in enumerate(geo):
        knots, course = heading(track, i)
        lines.append(rmc("GP", start + timedelta(seconds=i), lat, lon, knots, course,
                         4, "{:.2f}", "{:.2f}"))
    area, mu, perimeter = field_summary(plane, geo)
    summary = [f"面积: {area:.1f}平方米({mu:.2f}亩)", f"周长: {perimeter:.1f}米"]
    size = write(name, lines + summary, "gbk")
    report(name, size, plane, geo, " / ".join(summary))


def walked_distance():
    """A distance paced along a field road with a bend, as dated lines in local time."""
    name = "2026年04月12日09时15分30秒距离.nmea"
    plane = Plane(34.78841, 113.58126)
    route = [(0, 0), (92, 14), (181, 22), (228, 81), (262, 143)]
    rng = random.Random(21)
    track = add_jitter(travel(route, lambda s: 1.3, rng), Jitter(22, 0.3))
    geo = [plane.to_geo(x, y) for x, y in track]
    start = datetime(2026, 4, 12, 9, 15, 30)
    lines = [dated(start + timedelta(seconds=i), lat, lon) for i, (lat, lon) in enumerate(geo)]
    report(name, write(name, lines), plane, geo)


def vehicle_track():
    """A car driven along a county road, through a right turn, stopping at the end: numbered
    fixed-width lines (the number is the fix's sequence number)."""
    name = "CAR_TRACK-0003_2026-04-13 164207.nmea"
    plane = Plane(34.77402, 113.62158)
    route = [(0, 0), (640, 35), (1420, 52), (1436, 60), (1444, 80), (1452, 760), (1505, 1480), (1531, 2210)]
    legs = [math.hypot(b[0] - a[0], b[1] - a[1]) for a, b in zip(route, route[1:])]
    total = sum(legs)
    turn = sum(legs[:3])  # the corner at the junction
    accel, cruise, corner = 1.6, 14.0, 5.0

    def speed(s):
        limits = [cruise, math.sqrt(2 * accel * s), math.sqrt(2 * accel * (total - s)),
                  math.sqrt(corner * corner + 2 * accel * abs(s - turn))]
        return max(min(limits), 1.5)

    rng = random.Random(31)
    track = add_jitter(travel(route, speed, rng), Jitter(32, 0.4))
    geo = [plane.to_geo(x, y) for x, y in track]
    lines = [numbered(i + 1, lat, lon) for i, (lat, lon) in enumerate(geo)]
    report(name, write(name, lines), plane, geo)


def english_field():
    """A five-sided orchard plot measured by an instrument set to English: dated lines, then
    its results as English summary lines."""
    name = "TRACK-0004_2026-04-14 153012.nmea"
    plane = Plane(34.75163, 113.66492)
    outline = [(0, 0), (95, 3), (110, 60), (50, 95), (-5, 70), (0, 0)]
    rng = random.Random(41)
    track = add_jitter(travel(outline, lambda s: 1.1, rng), Jitter(42, 0.3))
    geo = [plane.to_geo(x, y) for x, y in track]
    start = datetime(2026, 4, 14, 15, 30, 12)
    lines = [dated(start + timedelta(seconds=i), lat, lon) for i, (lat, lon) in enumerate(geo)]
    area, mu, perimeter = field_summary(plane, geo)
    summary = [f"AREA: {area:.1f} SQ.M. ({mu:.2f} MU)", f"PERIMETER: {perimeter:.1f} M"]
    size = write(name, lines + summary)
    report(name, size, plane, geo, " / ".join(summary))


def receiver_log():
    """A long strip field logged by a multi-constellation receiver: $GNRMC every second,
    no-fix sentences while it starts and during a short dropout under trees, and a $GNGGA now
    and then. The name carries no time, so the record takes the first fix's (UTC)."""
    name = "GNSS_0005.nmea"
    plane = Plane(34.83057, 113.54812)
    outline = [(0, 0), (6, 221), (-49, 224), (-55, 3), (0, 0)]
    rng = random.Random(51)
    track = add_jitter(travel(outline, lambda s: 1.25, rng), Jitter(52, 0.25))
    geo = [plane.to_geo(x, y) for x, y in track]
    dropout = range(170, 173)  # seconds without a fix, partway along the far side
    start = datetime(2026, 4, 15, 1, 5, 12)
    lines = [nmea("GNRMC,,V,,,,,,,,,,N"),
             nmea(f"GNRMC,{start - timedelta(seconds=2):%H%M%S}.00,V,,,,,,,{start:%d%m%y},,,N"),
             nmea(f"GNRMC,{start - timedelta(seconds=1):%H%M%S}.00,V,,,,,,,{start:%d%m%y},,,N")]
    fixes = []
    for i, (lat, lon) in enumerate(geo):
        when = start + timedelta(seconds=i)
        if i in dropout:
            lines.append(nmea(f"GNRMC,{when:%H%M%S}.00,V,,,,,,,{when:%d%m%y},,,N"))
            continue
        knots, course = heading(track, i)
        lines.append(rmc("GN", when, lat, lon, knots, course, 5, "{:.3f}", "{:.2f}"))
        fixes.append((lat, lon))
        if i in (0, 240):
            lines.append(gga("GN", when, lat, lon, 5, 14 if i == 0 else 17,
                             0.92 if i == 0 else 0.71, 108.3 + 0.4 * (i > 0), -19.6))
    report(name, write(name, lines), plane, fixes)


if __name__ == "__main__":
    walked_field()
    walked_distance()
    vehicle_track()
    english_field()
    receiver_log()
