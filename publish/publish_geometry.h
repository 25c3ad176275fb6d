#pragma once
// A record as the server stores it: its shape in WGS-84 (EPSG:4326) as well-known text, and
// its time with the offset it was measured in.
#include <string>

#include "import/record.h"

// A polygon for an area of three points or more, a line for any other record of two or more,
// a point for a record of one: longitude first, every number in its shortest exact form.
std::string RecordGeometryWkt(const MeasureRecord& record);

// The walked line with each point's time as M (seconds since 1970, UTC: an RMC stamp as it is,
// a local one through its offset), or "" when the record has fewer than two points or a point's
// stamp is no date and time (numbered points).
std::string RecordTrackWkt(const MeasureRecord& record);

// The record's time in ISO 8601 with its offset ("2026-04-11T10:20:30+08:00"), or "" when the
// record holds none.
std::string RecordTimeText(const MeasureRecord& record);
