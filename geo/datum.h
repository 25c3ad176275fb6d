#pragma once
// WGS-84 → GCJ-02 → BD-09, the datum of the online map. Latitude first, longitude second.

bool IsOutsideChina(double lat, double lon);

// Raw offsets of the public GCJ-02 approximation; x = lon − 105, y = lat − 35.
double GcjLatOffset(double x, double y);
double GcjLonOffset(double x, double y);

void WgsToGcj(double lat, double lon, double* gcjLat, double* gcjLon);
void GcjToBd(double lat, double lon, double* bdLat, double* bdLon);

// What the rest of the program calls: WgsToGcj, then GcjToBd.
void WgsToBd(double lat, double lon, double* bdLat, double* bdLon);
