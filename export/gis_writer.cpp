#include "export/gis_writer.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "export/gis_names.h"
#include "export/path_extension.h"
#include "export/safe_file.h"
#include "export/writer_input.h"
#include "geo/area.h"
#include "import/name_text.h"
#include "import/record_geodesy.h"
#include "import/record_labels.h"
#include "import/record_time.h"
#include "import/recordplace.h"

namespace {

constexpr int Wgs84Epsg = 4326;
constexpr int FirstCgcsZone = 25, LastCgcsZone = 45;
constexpr int FirstCgcsZoneEpsg = 4513;

enum class Layout {
    TwoLayers,   // "measurement" and "points" in one file
    LayerFiles,  // one file set per layer, named after the target (Shapefile)
    OneLayer,    // outline and points as features of one collection (GeoJSON)
    TrackAndWaypoints,
};

struct GisDriver {
    const char* extension;
    const char* driver;  // GDAL's name
    Layout layout;
    bool holdsPlaneCoordinates;
    bool timeAsText;  // no date-time field (Shapefile), or one written in its own form (KML)
    bool timesInUtc;  // the format's date-times are UTC (GeoPackage, GPX); the others keep the offset
    const char* layerOption;
};

// KML through GDAL's own driver: libkml's takes seconds for a record's 3599 placemarks.
constexpr GisDriver kDrivers[] = {
    // A spatial index of two small layers costs two thirds of the time and saves a reader none.
    {"gpkg", "GPKG", Layout::TwoLayers, true, false, true, "SPATIAL_INDEX=NO"},
    {"shp", "ESRI Shapefile", Layout::LayerFiles, true, true, false, "ENCODING=UTF-8"},
    {"kml", "KML", Layout::TwoLayers, false, true, false, nullptr},
    // RFC 7946: WGS-84 without a "crs" member, outer rings counter-clockwise; the positions keep
    // every digit the instrument gave rather than the 7 decimals that standard's writer defaults to.
    {"geojson", "GeoJSON", Layout::OneLayer, false, false, false, "RFC7946=YES,COORDINATE_PRECISION=15"},
    {"gpx", "GPX", Layout::TrackAndWaypoints, false, false, true, nullptr},
};

const GisDriver* DriverForPath(const std::string& path)
{
    const std::string extension(PathExtension(path));
    if (extension.empty()) return nullptr;
    for (const GisDriver& d : kDrivers)
        if (EQUAL(extension.c_str(), d.extension)) return &d;
    return nullptr;
}

void RegisterDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

struct Deleter {
    void operator()(GDALDataset* d) const { GDALClose(d); }
    void operator()(OGRCoordinateTransformation* t) const { OGRCoordinateTransformation::DestroyCT(t); }
};

// Where the files are made: a folder in GDAL's memory file system, removed with what it holds.
class MemoryFolder {
public:
    MemoryFolder()
    {
        static std::atomic<unsigned> counter{0};
        path_ = "/vsimem/varnel-gis-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        VSIMkdir(path_.c_str(), 0755);
    }
    ~MemoryFolder() { VSIRmdirRecursive(path_.c_str()); }
    MemoryFolder(const MemoryFolder&) = delete;
    MemoryFolder& operator=(const MemoryFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The record's positions as the file holds them: x east, y north.
struct Coordinates {
    std::vector<double> x, y;
};

int RecordCoordinates(const MeasureRecord& record, const OGRSpatialReference& target, bool plane, Coordinates& out)
{
    const int n = record.pointCount;
    out.x.resize(size_t(n));
    out.y.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        out.x[size_t(i)] = record.points[i].lon;
        out.y[size_t(i)] = record.points[i].lat;
    }
    if (!plane || n == 0) return 0;
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(Wgs84Epsg);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    const std::unique_ptr<OGRCoordinateTransformation, Deleter> transform(
        OGRCreateCoordinateTransformation(&wgs84, &target));
    if (!transform || !transform->Transform(size_t(n), out.x.data(), out.y.data())) return -1;
    return 0;
}

std::unique_ptr<OGRGeometry> Outline(const MeasureRecord& record, const Coordinates& c)
{
    const int n = record.pointCount;
    if (n < 2) return nullptr;
    if (record.type != Area || n < 3) {
        auto line = std::make_unique<OGRLineString>();
        line->setPoints(n, c.x.data(), c.y.data());
        return line;
    }
    auto ring = std::make_unique<OGRLinearRing>();
    ring->setPoints(n, c.x.data(), c.y.data());
    ring->addPoint(c.x[0], c.y[0]);
    // Outer rings counter-clockwise (x east, y north), as GeoJSON, KML and GeoPackage want them;
    // GDAL's Shapefile writer turns them clockwise, as that format wants. The start stays first.
    if (ring->isClockwise()) ring->reversePoints();
    auto polygon = std::make_unique<OGRPolygon>();
    polygon->addRingDirectly(ring.release());
    return polygon;
}

OGRwkbGeometryType OutlineType(const MeasureRecord& record)
{
    return record.type == Area && record.pointCount >= 3 ? wkbPolygon : wkbLineString;
}

struct Field {
    const char* name;
    OGRFieldType type;
};

constexpr Field kMeasurementFields[] = {
    {"name", OFTString},     {"datetime", OFTString}, {"type", OFTString},     {"area_m2", OFTReal},
    {"area_mu", OFTReal},    {"curve_m", OFTReal},    {"straight_m", OFTReal}, {"perim_m", OFTReal},
    {"points", OFTInteger},  {"geod_m2", OFTReal},    {"geod_mu", OFTReal},    {"geod_per_m", OFTReal},
    {"place", OFTString},
};
constexpr Field kPointFields[] = {{"index", OFTInteger}, {"time", OFTDateTime}};
// ISO 8601 text, for formats without a date-time field of their own.
constexpr Field kPointFieldsAsText[] = {{"index", OFTInteger}, {"time", OFTString}};
// GPX: the track's points, whose time GPX holds in UTC, grouped into one track of one segment.
constexpr Field kTrackPointFields[] = {{"track_fid", OFTInteger}, {"track_seg_id", OFTInteger},
                                       {"track_seg_point_id", OFTInteger}, {"track_name", OFTString},
                                       {"time", OFTDateTime}, {"index", OFTInteger}};

bool AddFields(OGRLayer& layer, const Field* fields, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        OGRFieldDefn definition(fields[i].name, fields[i].type);
        if (layer.CreateField(&definition) != OGRERR_NONE) return false;
    }
    return true;
}

// The record's time in ISO 8601 with its offset; as it is, without one, where it is no date.
std::string RecordDateTimeText(const MeasureRecord& r)
{
    if (CivilTime t; RecordTime(r, t)) return Iso8601(t);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", r.year, r.month, r.day, r.hour, r.minute,
                  r.second);
    return text;
}

void SetMeasurementFields(OGRFeature& feature, const MeasureRecord& r)
{
    const RecordGeodesicFigures geodesic = RecordGeodesic(r);
    feature.SetField("name", NameText(RecordFileName(r.path)).c_str());
    feature.SetField("datetime", RecordDateTimeText(r).c_str());
    feature.SetField("type", MeasureTypeName(r.type));
    feature.SetField("area_m2", r.area);
    feature.SetField("area_mu", r.areaMu);
    feature.SetField("curve_m", r.curveLength);
    feature.SetField("straight_m", r.straightLength);
    // The closing edge of the plane ring is the straight line from the last point to the first.
    feature.SetField("perim_m", r.calcCurveLength + r.calcStraightLength);
    feature.SetField("points", r.pointCount);
    feature.SetField("geod_m2", geodesic.geodesicArea);
    feature.SetField("geod_mu", geodesic.geodesicAreaMu);
    feature.SetField("geod_per_m", geodesic.geodesicPerimeter);
    // Null where no place is near: no value, rather than a blank text.
    if (char place[PlaceTextSize]; FormatRecordPlace(r, place, sizeof place) == 0)
        feature.SetField("place", place);
    else
        feature.SetFieldNull(feature.GetFieldIndex("place"));
}

// A time in field index: a date-time with its offset, or ISO 8601 text where asText.
void SetTime(OGRFeature& feature, int index, bool asText, const CivilTime& t)
{
    if (asText) {
        feature.SetField(index, Iso8601(t).c_str());
        return;
    }
    // GDAL's zone flag: 100 is UTC, each step of 1 a quarter of an hour east.
    const int zoneFlag = 100 + t.utcOffset / 900;
    feature.SetField(index, t.year, t.month, t.day, t.hour, t.minute, float(t.second), zoneFlag);
}

// Point i's time in field index, local with its offset (in UTC where inUtc); a stamp that is no
// date and time leaves the field null.
void SetPointTime(OGRFeature& feature, int index, bool asText, const MeasureRecord& record, int i, bool inUtc = false)
{
    CivilTime t{};
    if (!PointTime(record, i, t)) return;
    SetTime(feature, index, asText, inUtc ? InUtc(t) : t);
}

bool WriteOutlineFeature(OGRLayer& layer, const MeasureRecord& record, const Coordinates& c)
{
    OGRFeature feature(layer.GetLayerDefn());
    SetMeasurementFields(feature, record);
    if (auto outline = Outline(record, c)) feature.SetGeometryDirectly(outline.release());
    return layer.CreateFeature(&feature) == OGRERR_NONE;
}

bool WritePointFeatures(OGRLayer& layer, const MeasureRecord& record, const Coordinates& c, bool timesInUtc)
{
    // The fields are looked up once, not by name for every point.
    OGRFeatureDefn* definition = layer.GetLayerDefn();
    const int indexField = definition->GetFieldIndex("index");
    const int timeField = definition->GetFieldIndex("time");
    const bool timeAsText = definition->GetFieldDefn(timeField)->GetType() == OFTString;
    for (int i = 0; i < record.pointCount; ++i) {
        OGRFeature feature(definition);
        feature.SetField(indexField, i);
        SetPointTime(feature, timeField, timeAsText, record, i, timesInUtc);
        feature.SetGeometryDirectly(new OGRPoint(c.x[size_t(i)], c.y[size_t(i)]));
        if (layer.CreateFeature(&feature) != OGRERR_NONE) return false;
    }
    return true;
}

// The measurement as a GPX waypoint at its first point: its name, its time in UTC (GPX's
// <time> is UTC), and its figures as extensions.
bool WriteMeasurementWaypoint(OGRLayer& layer, const MeasureRecord& record, const Coordinates& c)
{
    OGRFeature feature(layer.GetLayerDefn());
    SetMeasurementFields(feature, record);
    if (CivilTime t; RecordTime(record, t)) SetTime(feature, feature.GetFieldIndex("time"), false, InUtc(t));
    if (record.pointCount > 0) feature.SetGeometryDirectly(new OGRPoint(c.x[0], c.y[0]));
    return layer.CreateFeature(&feature) == OGRERR_NONE;
}

bool WriteTrackPoints(OGRLayer& layer, const MeasureRecord& record, const Coordinates& c)
{
    OGRFeatureDefn* definition = layer.GetLayerDefn();
    const int fid = definition->GetFieldIndex("track_fid"), segment = definition->GetFieldIndex("track_seg_id");
    const int sequence = definition->GetFieldIndex("track_seg_point_id");
    const int name = definition->GetFieldIndex("track_name"), time = definition->GetFieldIndex("time");
    const int index = definition->GetFieldIndex("index");
    const std::string trackName = NameText(RecordFileName(record.path));
    for (int i = 0; i < record.pointCount; ++i) {
        OGRFeature feature(definition);
        feature.SetField(fid, 0);
        feature.SetField(segment, 0);
        feature.SetField(sequence, i);
        feature.SetField(name, trackName.c_str());
        feature.SetField(index, i);
        SetPointTime(feature, time, false, record, i, true);
        feature.SetGeometryDirectly(new OGRPoint(c.x[size_t(i)], c.y[size_t(i)]));
        if (layer.CreateFeature(&feature) != OGRERR_NONE) return false;
    }
    return true;
}

constexpr size_t kMeasurementFieldCount = sizeof kMeasurementFields / sizeof kMeasurementFields[0];
constexpr size_t kPointFieldCount = sizeof kPointFields / sizeof kPointFields[0];

OGRLayer* CreateLayer(GDALDataset& dataset, const std::string& name, const OGRSpatialReference& srs,
                      OGRwkbGeometryType type, const Field* fields, size_t fieldCount, char** options = nullptr)
{
    OGRLayer* layer = dataset.CreateLayer(name.c_str(), const_cast<OGRSpatialReference*>(&srs), type, options);
    return layer != nullptr && AddFields(*layer, fields, fieldCount) ? layer : nullptr;
}

bool WriteLayers(GDALDataset& dataset, const GisDriver& driver, const std::string& stem, const MeasureRecord& record,
                 const OGRSpatialReference& srs, const Coordinates& c)
{
    switch (driver.layout) {
    case Layout::TwoLayers:
    case Layout::LayerFiles: {
        const bool files = driver.layout == Layout::LayerFiles;
        char** options = driver.layerOption != nullptr ? CSLAddString(nullptr, driver.layerOption) : nullptr;
        OGRLayer* outline = CreateLayer(dataset, files ? stem : "measurement", srs, OutlineType(record),
                                        kMeasurementFields, kMeasurementFieldCount, options);
        bool ok = outline != nullptr && WriteOutlineFeature(*outline, record, c);
        OGRLayer* points = ok ? CreateLayer(dataset, files ? stem + "_points" : "points", srs, wkbPoint,
                                            driver.timeAsText ? kPointFieldsAsText : kPointFields,
                                            kPointFieldCount, options)
                              : nullptr;
        ok = points != nullptr && WritePointFeatures(*points, record, c, driver.timesInUtc);
        CSLDestroy(options);
        return ok;
    }
    case Layout::OneLayer: {
        char** options = CSLTokenizeString2(driver.layerOption, ",", 0);
        OGRLayer* layer = CreateLayer(dataset, "measurement", srs, wkbUnknown, kMeasurementFields,
                                      kMeasurementFieldCount, options);
        CSLDestroy(options);
        return layer != nullptr && AddFields(*layer, kPointFields, kPointFieldCount) &&
               WriteOutlineFeature(*layer, record, c) && WritePointFeatures(*layer, record, c, driver.timesInUtc);
    }
    case Layout::TrackAndWaypoints: {
        // GPX has its waypoints before its tracks. A GPX track carries no attributes of its own
        // but a name: the measurement is a waypoint at the start with them, and the track its
        // points in order, each with its time.
        OGRLayer* waypoints = CreateLayer(dataset, "waypoints", srs, wkbPoint, kMeasurementFields,
                                          kMeasurementFieldCount);
        OGRLayer* trackPoints = waypoints != nullptr && WriteMeasurementWaypoint(*waypoints, record, c)
                                    ? CreateLayer(dataset, "track_points", srs, wkbPoint, kTrackPointFields,
                                                  std::size(kTrackPointFields))
                                    : nullptr;
        return trackPoints != nullptr && WriteTrackPoints(*trackPoints, record, c);
    }
    }
    return false;
}

// GDAL reports through its error handler; here failures are answered by return values, and
// the handler only keeps them quiet.
class QuietGdal {
public:
    QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); CPLErrorReset(); }
    ~QuietGdal() { CPLPopErrorHandler(); }
    QuietGdal(const QuietGdal&) = delete;
    QuietGdal& operator=(const QuietGdal&) = delete;
};

// Builds the files in folder. 0, or −1 with the cause.
int BuildFiles(const std::string& folder, const GisDriver& gis, const std::string& fileName, const std::string& stem,
               const MeasureRecord& record, GisCoordinates coordinates, int* error)
{
    const bool plane = coordinates == GisCoordinates::CgcsZonePlane;
    const int epsg = plane ? CgcsZoneEpsg(RecordZone(record)) : Wgs84Epsg;
    if (epsg == 0) return ReportFailure(error, OutsideCgcsZonesError);
    OGRSpatialReference srs;
    if (srs.importFromEPSG(epsg) != OGRERR_NONE) return ReportFailure(error, EIO);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    Coordinates c;
    if (RecordCoordinates(record, srs, plane, c) != 0) return ReportFailure(error, EIO);

    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(gis.driver);
    if (driver == nullptr) return ReportFailure(error, ENOSYS);

    char** options = nullptr;
    if (gis.layout == Layout::TrackAndWaypoints) options = CSLSetNameValue(options, "GPX_USE_EXTENSIONS", "YES");
    const std::string datasetPath = gis.layout == Layout::LayerFiles ? folder : folder + "/" + fileName;
    std::unique_ptr<GDALDataset, Deleter> dataset(driver->Create(datasetPath.c_str(), 0, 0, 0, GDT_Unknown, options));
    CSLDestroy(options);
    if (!dataset) return ReportFailure(error, EIO);
    // One transaction where the format has them (GeoPackage): not one per feature.
    const bool transaction = dataset->StartTransaction() == OGRERR_NONE;
    bool written = WriteLayers(*dataset, gis, stem, record, srs, c);
    if (transaction) written = dataset->CommitTransaction() == OGRERR_NONE && written;
    dataset.reset();
    if (!written || CPLGetLastErrorType() >= CE_Failure) return ReportFailure(error, EIO);
    return 0;
}

// Copies every file of folder to its place beside the target. All are complete before any is
// renamed into place.
int PlaceFiles(const std::string& folder, const std::string& target, int* error)
{
    char** names = VSIReadDir(folder.c_str());
    std::vector<std::string> files;
    for (char** name = names; name != nullptr && *name != nullptr; ++name)
        if (std::strcmp(*name, ".") != 0 && std::strcmp(*name, "..") != 0) files.emplace_back(*name);
    CSLDestroy(names);
    if (files.empty()) return ReportFailure(error, EIO);

    std::vector<std::unique_ptr<SafeFile>> placed;
    for (const std::string& name : files) {
        vsi_l_offset size = 0;
        const GByte* bytes = VSIGetMemFileBuffer((folder + "/" + name).c_str(), &size, FALSE);
        if (bytes == nullptr) return ReportFailure(error, EIO);
        auto file = std::make_unique<SafeFile>();
        const std::string path = GisPlacedName(name, target);
        if (file->Open(path.c_str(), error) != 0 || file->Write(bytes, size_t(size), error) != 0 ||
            file->Close(error) != 0)
            return -1;
        placed.push_back(std::move(file));
    }
    for (const auto& file : placed)
        if (file->Commit(error) != 0) return -1;
    return 0;
}

}  // namespace

int CgcsZoneEpsg(int zone)
{
    return zone >= FirstCgcsZone && zone <= LastCgcsZone ? FirstCgcsZoneEpsg + zone - FirstCgcsZone : 0;
}

int WriteGisFile(const char* path, const MeasureRecord& record, GisCoordinates coordinates, int* error)
{
    if (path == nullptr || !HasValidPointCount(record)) return ReportFailure(error, EINVAL);
    const std::string target = path;
    const GisDriver* gis = DriverForPath(target);
    if (gis == nullptr) return ReportFailure(error, EINVAL);
    if (coordinates == GisCoordinates::CgcsZonePlane && !gis->holdsPlaneCoordinates)
        return ReportFailure(error, EDOM);

    if (!GisNameRefusedCharacters(path).empty()) return ReportFailure(error, NameCharactersError);

    RegisterDrivers();
    const QuietGdal quiet;
    // A Shapefile's files all follow a link to the one it names, as the .shp itself does.
    std::string placed = target;
    if (gis->layout == Layout::LayerFiles) {
        struct stat link {};
        if (lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            char* resolved = realpath(target.c_str(), nullptr);
            if (resolved == nullptr) return ReportFailure(error, errno);
            placed = resolved;
            free(resolved);
            if (!GisNameRefusedCharacters(placed.c_str()).empty()) return ReportFailure(error, NameCharactersError);
        }
    }
    const std::string extension(PathExtension(target));
    const std::string builtName = std::string(GisBuiltStem) + "." + extension;
    const MemoryFolder folder;
    if (BuildFiles(folder.path(), *gis, builtName, GisBuiltStem, record, coordinates, error) != 0) return -1;
    return PlaceFiles(folder.path(), placed, error);
}

int WriteGisWgs84(const char* path, const MeasureRecord& record, int* error)
{
    return WriteGisFile(path, record, GisCoordinates::Wgs84, error);
}

int WriteGisZonePlane(const char* path, const MeasureRecord& record, int* error)
{
    return WriteGisFile(path, record, GisCoordinates::CgcsZonePlane, error);
}
