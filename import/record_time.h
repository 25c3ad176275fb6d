#pragma once
// The times of a record and of its points, with their zone. A point's stamp is YYYYMMDDhhmmss:
// in UTC for an RMC sentence (a receiver's clock is the satellites'), in the instrument's local
// time for a dated or numbered line; a time in a file's name is local too. Local time is the
// system's time zone: the instrument keeps the clock of the place where it measures, and the
// program is run there. A record's year … second are local, converted from UTC at loading when
// they come from an RMC stamp, and every time written to a file carries its offset.
#include <cstdint>
#include <string>

#include "import/record.h"

struct CivilTime {
    int year, month, day, hour, minute, second;
    int utcOffset;  // seconds east of UTC
};

// A stamp as local time with its offset; utc: the stamp is in UTC. False (and out unchanged)
// when the stamp is no date and time (a month of 13, a numbered line's counter).
bool LocalStampTime(uint64_t stamp, bool utc, CivilTime& out);

// The record's time (its year … second, local) with its offset; false when it is no date and
// time (a record whose name and points carry none).
bool RecordTime(const MeasureRecord& record, CivilTime& out);

// Point i's time; false when its stamp is no date and time.
bool PointTime(const MeasureRecord& record, int i, CivilTime& out);

// The same instant in UTC (offset 0).
CivilTime InUtc(const CivilTime& time);

// ISO 8601 with the offset, "2026-04-15T09:05:12+08:00"; in UTC "…Z".
std::string Iso8601(const CivilTime& time);
