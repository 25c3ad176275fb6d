#pragma once
// The built-in GeoNames cities, generated at build time (scripts/make_places.py): one entry per
// city, sorted by latitude; texts are offsets into kPlaceText, NUL-terminated UTF-8.
#include <cstdint>

struct PlaceEntry {
    int32_t lat, lon;  // micro-degrees, WGS-84
    uint32_t name, province, country;
};

extern const char kPlaceText[];
extern const PlaceEntry kPlaceEntries[];
extern const int kPlaceEntryCount;
