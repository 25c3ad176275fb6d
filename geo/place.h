#pragma once
// The nearest named place to a position, from the GeoNames cities built into the program, so
// that a user sees where a field lies without a network.
#include <cstddef>

struct Place {
    const char* name;      // UTF-8; Chinese where GeoNames has it, else the GeoNames name
    const char* province;  // "" when GeoNames gives none
    const char* country;
    double lat, lon;       // the place, WGS-84 degrees
    double distance;       // metres from the position asked for, on the mean sphere
};

// Places farther away than this are not "near": the position gets none.
inline constexpr double PlaceSearchRadius = 300000.0;

// The place nearest to (lat, lon) in WGS-84 degrees within PlaceSearchRadius: 0, or −1 when
// there is none or the position is not one.
int NearestPlace(double lat, double lon, Place* place);

// Room for any text FormatPlace gives for a place of the built-in table.
inline constexpr size_t PlaceTextSize = 256;

// "河南省 郑州市 附近 6.4 公里"; the country leads for places outside China. Metres below 1 km
// (to 10 m), one decimal below 10 km, whole kilometres beyond. 0, or −1 when it does not fit.
int FormatPlace(const Place& place, char* out, size_t size);
