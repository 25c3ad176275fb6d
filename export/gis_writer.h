#pragma once
// GIS files of a record through GDAL/OGR: GeoPackage, ESRI Shapefile, KML, GeoJSON and GPX,
// chosen by the extension of the file name.
#include <string>
#include <vector>

#include "import/record.h"

enum class GisCoordinates {
    Wgs84,           // EPSG:4326, longitude and latitude
    CgcsZonePlane,   // CGCS2000 3° Gauss–Krüger zone of the record, zone-prefixed eastings
};

// Writes the record's outline (a polygon for an Area record of 3 points or more, a line
// otherwise; none for fewer than 2 points) with its attributes: name, datetime, type, area_m2,
// area_mu, curve_m, straight_m (as the window shows them), perim_m (closed plane perimeter),
// points, geod_m2, geod_mu, geod_per_m (on the ellipsoid), place (the nearest named place as
// the window shows it, null where none is near); and its points with their index and
// time. GeoPackage and KML hold two layers, "measurement" and "points"; a Shapefile is NAME.shp
// with its .shx, .dbf, .prj and .cpg, and NAME_points.* for the points; GeoJSON holds both in one
// collection. The extension is matched without regard to case.
// Every file is replaced only when all of them are complete. The files take exactly the names
// asked for (a backslash is a character like any other), or none is written. A target that is a
// symbolic link is written through: a Shapefile's other files go beside the file the link names.
// 0 on success; −1 with the errno-style cause in *error: EINVAL for a null path, an unknown
// extension or a pointCount out of range; NameCharactersError for a name the format cannot keep
// (GisNameRefusedCharacters, gis_names.h); OutsideCgcsZonesError for plane coordinates of a record outside
// zones 25–45; EDOM for plane coordinates in a format that holds only longitude and latitude;
// EIO where GDAL failed. Times carry their offset (GPX's in UTC); outer rings are
// counter-clockwise where the format wants them so (GeoJSON as RFC 7946 has it), clockwise in a
// Shapefile. GPX holds the measurement as a waypoint at its start with the attributes, and its
// points as a track whose points carry their time and index.
int WriteGisFile(const char* path, const MeasureRecord& record, GisCoordinates coordinates, int* error = nullptr);

// The same in WGS-84, and in the record's CGCS2000 zone, as record writers.
int WriteGisWgs84(const char* path, const MeasureRecord& record, int* error);
int WriteGisZonePlane(const char* path, const MeasureRecord& record, int* error);

// EPSG code of "CGCS2000 / 3-degree Gauss-Kruger zone N" (4513 for 25 … 4533 for 45), or 0.
int CgcsZoneEpsg(int zone);
