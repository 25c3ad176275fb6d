#include "import/record.h"

#include <cstring>

#include "geo/datum.h"

GeoPoint MapPointOf(const MeasureRecord& record, int i)
{
    if (!record.mapPointsPending) return record.mapPoints[i];
    double bdLat = 0.0, bdLon = 0.0;
    WgsToBd(record.points[i].lat, record.points[i].lon, &bdLat, &bdLon);
    return {bdLon, bdLat};
}

RecordTable& TheRecordTable()
{
    static RecordTable table{};
    return table;
}

int RecordTableFind(const RecordTable& table, const char* path)
{
    for (int i = 0; i < table.count; ++i)
        if (std::strcmp(table.records[i].path, path) == 0) return i;
    return -1;
}

void RecordTableInsertTop(RecordTable& table, const MeasureRecord& record)
{
    const int moved = table.count < MaxRecords ? table.count : MaxRecords - 1;
    std::memmove(&table.records[1], &table.records[0], sizeof(MeasureRecord) * moved);
    table.records[0] = record;
    if (table.count < MaxRecords) ++table.count;
    table.selected = 0;
}

void RecordTableRestart(RecordTable& table)
{
    table.count = 0;
}

int RecordTableAppend(RecordTable& table, const MeasureRecord& record)
{
    if (table.count >= MaxRecords) return -1;
    table.records[table.count++] = record;
    return 0;
}

int RecordTableSelect(RecordTable& table, int index)
{
    if (index < 0 || index >= table.count) return -1;
    table.selected = index;
    return 0;
}

GeoPoint RecordCentre(const MeasureRecord& record)
{
    const int n = record.pointCount < PointCapacity ? record.pointCount : PointCapacity;
    double minLat = record.points[0].lat, maxLat = minLat;
    double minLon = record.points[0].lon, maxLon = minLon;
    for (int i = 1; i < n; ++i) {
        const TrackPoint& p = record.points[i];
        if (p.lat < minLat) minLat = p.lat;
        if (p.lat > maxLat) maxLat = p.lat;
        if (p.lon < minLon) minLon = p.lon;
        if (p.lon > maxLon) maxLon = p.lon;
    }
    return {(maxLon - minLon) / 2.0 + minLon, (maxLat - minLat) / 2.0 + minLat};
}
