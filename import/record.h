#pragma once
// One loaded measurement as a fixed-size value, and the process-wide table of them.
// Records own no memory: they are copied whole, and a zeroed record is an empty one.
#include <cstdint>
#include <type_traits>

#include "geo/projection.h"

struct TrackPoint {
    double lon;      // WGS-84 degrees
    double lat;      // WGS-84 degrees
    uint64_t stamp;  // YYYYMMDDhhmmss for dated points and RMC fixes; points are ordered by it
};

enum MeasureType : int32_t {
    Area = 0,
    Vehicle = 2,
    Distance = 6,
};

// Which of a record's displayed figures its file stated, rather than the loader computed.
enum StatedFigure : int32_t {
    StatedArea = 1,
    StatedCurve = 2,      // the walked length, from a curve line
    StatedPerimeter = 4,  // the walked length, from a perimeter line ("周长", "PERIMETER")
    StatedStraight = 8,
};

inline constexpr int PointCapacity = 3600;
inline constexpr int MaxPointCount = PointCapacity - 1;  // the loader never fills the last entry
inline constexpr int PathCapacity = 4096;                // PATH_MAX on Linux, NUL included
inline constexpr int MaxRecords = 200;

struct MeasureRecord {
    uint8_t nameKey;  // low 8 bits of (minute ^ hour) of the name's time; 0: no name time
    char path[PathCapacity];
    double area;            // displayed, m²
    double areaMu;          // displayed, mu
    double curveLength;     // displayed, m
    double straightLength;  // displayed, m
    double calcArea;
    double calcAreaMu;
    double calcCurveLength;
    double calcStraightLength;
    int32_t year, month, day, hour, minute, second;
    int32_t type;  // MeasureType
    int32_t pointCount;
    int32_t stampsUtc;  // 1: the points' stamps are UTC (RMC sentences), else the instrument's local time
    int32_t statedFigures;  // StatedFigure bits: which displayed figures the file's summary lines stated
    TrackPoint points[PointCapacity];
    GeoPoint mapPoints[PointCapacity];      // BD-09 of points[i], unless mapPointsPending
    PlanePoint planePoints[PointCapacity];  // drawing form: {easting, −northing}, metres
    double mapCenterLat, mapCenterLon;
    double minX, minY, maxX, maxY;
    double width, height, extent;
    double drawScale;  // pixels per metre, written by the result panel
    // 1: mapPoints are not filled, and MapPointOf computes each from points when it is read.
    // The loader leaves them so: the map shows one record at a time.
    int32_t mapPointsPending;
};

static_assert(std::is_trivially_copyable_v<MeasureRecord>);

// The BD-09 position of points[i] {lon, lat}: mapPoints[i], or computed from points[i] when
// the record's map points are pending. Everyone who shows or writes map points reads them here.
GeoPoint MapPointOf(const MeasureRecord& record, int i);

struct RecordTable {
    MeasureRecord records[MaxRecords];
    int32_t selected;
    int32_t count;
};

// The centre of the box around points[0 … pointCount): the record's one position, for its zone,
// its map centre and its nearest place. pointCount must be at least 1.
GeoPoint RecordCentre(const MeasureRecord& record);

// The program's one table, zero at start.
RecordTable& TheRecordTable();

// First index below count whose path equals path byte for byte, or −1.
int RecordTableFind(const RecordTable& table, const char* path);

// Moves entries 0…198 down one place (199 is lost), stores record at 0, selects it.
void RecordTableInsertTop(RecordTable& table, const MeasureRecord& record);

// A device import's first load: the table becomes empty.
void RecordTableRestart(RecordTable& table);

// Stores record at index count. −1 when the table is full.
int RecordTableAppend(RecordTable& table, const MeasureRecord& record);

// selected becomes index; −1 (and no change) when index is not below count.
int RecordTableSelect(RecordTable& table, int index);
