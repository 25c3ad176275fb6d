// Datums of the offline map. The page receives BD-09 positions; the basemap and the grid are
// WGS-84, and an offline map package may be WGS-84, GCJ-02 or BD-09. The forward conversions
// are the program's own (WGS-84 → GCJ-02 → BD-09, the same formulas and constants); the
// inverses solve them by fixed-point iteration, to well below 1e-7°.
var MapDatum = (function () {
    "use strict";

    var KrasovskyA = 6378245.0;
    var KrasovskyEe = 0.006693421622965943;
    var Pi = 3.1415927410125732;  // the offsets were fitted with single-precision π
    var XPi = 52.35987755982988;

    function isOutsideChina(lat, lon) {
        return lon < 72.004 || lon > 137.8347 || lat < 0.8293 || lat > 55.8271;
    }

    function latOffset(x, y) {
        return -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * Math.sqrt(Math.abs(x)) +
            (20.0 * Math.sin(6.0 * x * Pi) + 20.0 * Math.sin(2.0 * x * Pi)) * 2.0 / 3.0 +
            (20.0 * Math.sin(y * Pi) + 40.0 * Math.sin(y / 3.0 * Pi)) * 2.0 / 3.0 +
            (160.0 * Math.sin(y / 12.0 * Pi) + 320.0 * Math.sin(y * Pi / 30.0)) * 2.0 / 3.0;
    }

    function lonOffset(x, y) {
        return 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * Math.sqrt(Math.abs(x)) +
            (20.0 * Math.sin(6.0 * x * Pi) + 20.0 * Math.sin(2.0 * x * Pi)) * 2.0 / 3.0 +
            (20.0 * Math.sin(x * Pi) + 40.0 * Math.sin(x / 3.0 * Pi)) * 2.0 / 3.0 +
            (150.0 * Math.sin(x / 12.0 * Pi) + 300.0 * Math.sin(x / 30.0 * Pi)) * 2.0 / 3.0;
    }

    // Positions are {lat, lon} in degrees. WGS-84 → GCJ-02 whether inside China's box or not.
    function offsetToGcj(p) {
        var dLat = latOffset(p.lon - 105.0, p.lat - 35.0);
        var dLon = lonOffset(p.lon - 105.0, p.lat - 35.0);
        var s = Math.sin(p.lat / 180.0 * Pi);
        var m = 1.0 - KrasovskyEe * s * s;
        var q = Math.sqrt(m);
        dLat = (dLat * 180.0) / ((KrasovskyA * (1.0 - KrasovskyEe)) / (m * q) * Pi);
        dLon = (dLon * 180.0) / (KrasovskyA / q * Math.cos(p.lat / 180.0 * Pi) * Pi);
        return { lat: p.lat + dLat, lon: p.lon + dLon };
    }

    function wgsToGcj(p) {
        return isOutsideChina(p.lat, p.lon) ? { lat: p.lat, lon: p.lon } : offsetToGcj(p);
    }

    function gcjToBd(p) {
        var x = p.lon, y = p.lat;
        var z = Math.sqrt(x * x + y * y) + 0.00002 * Math.sin(y * XPi);
        var theta = Math.atan2(y, x) + 0.000003 * Math.cos(x * XPi);
        return { lat: z * Math.sin(theta) + 0.006, lon: z * Math.cos(theta) + 0.0065 };
    }

    // The position whose forward image is target: the offsets vary slowly, so x ← x + (target −
    // forward(x)) converges by about three orders of magnitude per step.
    function invert(forward, target) {
        var x = { lat: target.lat, lon: target.lon };
        for (var i = 0; i < 30; i++) {
            var f = forward(x);
            var dLat = target.lat - f.lat, dLon = target.lon - f.lon;
            x = { lat: x.lat + dLat, lon: x.lon + dLon };
            if (Math.abs(dLat) < 1e-12 && Math.abs(dLon) < 1e-12) {
                break;
            }
        }
        return x;
    }

    function bdToGcj(p) { return invert(gcjToBd, p); }
    // Near the box's edges a GCJ-02 position can have two WGS-84 ones, the offset one inside the
    // box and itself outside; the one inside is taken, as the conversion put it there. (The
    // iteration may end a rounding error beyond an edge the position lay on.)
    function gcjToWgs(p) {
        var inside = invert(offsetToGcj, p);
        var e = 1e-9;
        var outside = inside.lon < 72.004 - e || inside.lon > 137.8347 + e ||
            inside.lat < 0.8293 - e || inside.lat > 55.8271 + e;
        return outside ? { lat: p.lat, lon: p.lon } : inside;
    }

    function same(p) { return p; }

    // Every datum ("wgs84", "gcj02", "bd09") goes to the others through GCJ-02.
    var viaGcj = {
        wgs84: { toGcj: wgsToGcj, fromGcj: gcjToWgs },
        gcj02: { toGcj: same, fromGcj: same },
        bd09: { toGcj: bdToGcj, fromGcj: gcjToBd }
    };

    function convert(p, from, to) {
        if (from === to) {
            return { lat: p.lat, lon: p.lon };
        }
        // One of the two steps converts, so the answer is always a new point.
        return viaGcj[to].fromGcj(viaGcj[from].toGcj(p));
    }

    // From the page's BD-09 to a datum and back; from WGS-84 to a datum and back, for what is
    // drawn in WGS-84 (the grid).
    function fromBd(p, datum) { return convert(p, "bd09", datum); }
    function toBd(p, datum) { return convert(p, datum, "bd09"); }
    function fromWgs(p, datum) { return convert(p, "wgs84", datum); }
    function toWgs(p, datum) { return convert(p, datum, "wgs84"); }

    return Object.freeze({ fromBd: fromBd, toBd: toBd, fromWgs: fromWgs, toWgs: toWgs });
})();
