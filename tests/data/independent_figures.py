#!/usr/bin/env python3
"""Works out the figures the loader and converter tests expect, without the program's code.

Points come from a regular expression over each line (a complete RMC sentence with a fix that
starts its line), are ordered by time and projected by Krueger's n-series for the transverse
Mercator (not the program's series in the latitude), in the 3-degree zone of the centre of the
record's longitude range; areas and lengths are summed here. Run it over tests/data/real-nmea:
  python3 tests/data/independent_figures.py tests/data/real-nmea
"""
import glob
import math
import os
import re
import sys

a = 6378137.0; f = 1/298.257223563
n = f/(2-f); e = math.sqrt(f*(2-f))
A = a/(1+n)*(1 + n**2/4 + n**4/64)
al = [n/2 - 2*n**2/3 + 5*n**3/16 + 41*n**4/180,
      13*n**2/48 - 3*n**3/5 + 557*n**4/1440,
      61*n**3/240 - 103*n**4/140,
      49561*n**4/161280]
def tm(lat, lon, lon0):
    phi = math.radians(lat); lam = math.radians(lon - lon0)
    t = math.sinh(math.atanh(math.sin(phi)) - e*math.atanh(e*math.sin(phi)))
    xi = math.atan2(t, math.cos(lam)); eta = math.atanh(math.sin(lam)/math.sqrt(1+t*t))
    x = xi + sum(al[j]*math.sin(2*(j+1)*xi)*math.cosh(2*(j+1)*eta) for j in range(4))
    y = eta + sum(al[j]*math.cos(2*(j+1)*xi)*math.sinh(2*(j+1)*eta) for j in range(4))
    return A*x, A*y
def measures(pts):  # pts: (lat, lon)
    lons = [p[1] for p in pts]; c = (min(lons)+max(lons))/2
    zone = math.trunc((c-1.5)/3)+1
    P = [tm(la, lo, 3*zone) for la, lo in pts]
    d = lambda p, q: math.hypot(p[0]-q[0], p[1]-q[1])
    curve = sum(d(P[i], P[i+1]) for i in range(len(P)-1))
    straight = d(P[0], P[-1]) if P else 0
    area = abs(sum(P[i][0]*P[(i+1) % len(P)][1] - P[(i+1) % len(P)][0]*P[i][1] for i in range(len(P))))/2 if len(P) > 2 else 0
    return area, curve, straight
rmc = re.compile(r'\$[A-Z]{2}RMC,(\d{6})(?:\.\d*)?,([^V,]?),(\d+\.?\d*),([NS]),(\d+\.?\d*),([EW]),[^,]*,[^,]*,(\d{6}),.*\*[0-9A-Fa-f]{2}')
def dm(v):
    v = float(v); d = math.trunc(v/100); return d + (v-100*d)/60
def real(path):
    pts = []
    for line in open(path, 'rb').read().decode('latin-1').replace('\r', '\n').split('\n'):
        if line.count('RMC,') > 1: continue
        m = rmc.match(line)  # the sentence starts the line
        if not m: continue
        hms, st, la, ns, lo, ew, dmy = m.groups()
        lat = dm(la)*(-1 if ns == 'S' else 1); lon = dm(lo)*(-1 if ew == 'W' else 1)
        stamp = '20'+dmy[4:]+dmy[2:4]+dmy[:2]+hms
        pts.append((stamp, lat, lon))
    pts.sort(key=lambda p: p[0])
    area, curve, straight = measures([(p[1], p[2]) for p in pts])
    s = pts[0][0]
    return len(pts), f'{s[:4]}-{s[4:6]}-{s[6:8]} {s[8:10]}:{s[10:12]}:{s[12:14]}', round(curve, 2), round(straight, 2)
# The converter tests' field: a 0.001-degree square at 22.5 N.
field = [(22.5, 113.9), (22.501, 113.9), (22.501, 113.901), (22.5, 113.901)]
ar, cu, stt = measures(field)
print('convert field: area %.0f m2, %.2f mu, curve %.2f, straight %.2f' % (ar, ar/(10000/15), cu, stt))
for p in sorted(glob.glob(sys.argv[1] + '/*.nmea')):
    print(os.path.basename(p), *real(p))
