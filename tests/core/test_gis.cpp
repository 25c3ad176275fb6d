// GIS files read back through GDAL: layers, geometry, coordinates, attributes and coordinate
// system per format; the zone-plane variant against PROJ; failures that must leave targets as
// they were.
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <proj.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "export/gis_names.h"
#include "export/gis_writer.h"
#include "export/safe_file.h"
#include "geo/projection.h"
#include "import/record.h"
#include "import/record_geodesy.h"
#include "import/recordplace.h"
#include "import/record_time.h"
#include "tests/support/testsupport.h"

namespace {

namespace fs = std::filesystem;

constexpr double DegreeTolerance = 1e-9;
constexpr double MetreTolerance = 1e-3;

std::string ReadBytes(const std::string& path) { return ReadWholeFile(path); }

void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<std::string> Entries(const fs::path& dir) { return FolderEntries(dir.string()); }

// A dated four-corner field as the loader leaves it: a GBK name, stated results, stamps.
std::unique_ptr<MeasureRecord> SmallField(int type = Area)
{
    auto r = std::make_unique<MeasureRecord>();
    std::strcpy(r->path, "/media/d/\xc3\xe6\xbb\xfd" "20240315.nmea");  // 面积 in GBK
    r->type = type;
    r->year = 2024, r->month = 3, r->day = 15, r->hour = 9, r->minute = 30, r->second = 5;
    const double corners[][2] = {{113.90, 22.50}, {113.901, 22.50}, {113.901, 22.501}, {113.90, 22.501}};
    r->pointCount = 4;
    for (int i = 0; i < 4; ++i) r->points[i] = {corners[i][0], corners[i][1], 20240315093005u + uint64_t(i)};
    r->area = 11437.0, r->areaMu = 17.16, r->curveLength = 325.5, r->straightLength = 110.6;
    r->calcCurveLength = 325.5, r->calcStraightLength = 110.6;
    return r;
}

struct Dataset {
    std::unique_ptr<GDALDataset> data;
    explicit Dataset(const std::string& path, const char* const* drivers = nullptr)
        : data(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers))
    {
    }
};

// Where a format keeps the outline and the points, and what its reader calls the fields.
struct FormatCase {
    const char* extension;
    const char* outlineFile;  // relative to the target's folder, "" for the target
    const char* outlineLayer;
    const char* attributesLayer;  // where the measurement's attributes are read back
    const char* pointsFile;
    const char* pointsLayer;
    const char* fieldPrefix;  // GPX reads its extension fields back with a prefix
    const char* timeField;
    bool polygons;
    bool pointsInOutlineLayer;
};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.extension; }

const FormatCase kFormats[] = {
    {"gpkg", "", "measurement", "measurement", "", "points", "", "time", true, false},
    {"shp", "", "field", "field", "field_points.shp", "field_points", "", "time", true, false},
    {"kml", "", "measurement", "measurement", "", "points", "", "time", true, false},
    {"geojson", "", "measurement", "measurement", "", "measurement", "", "time", true, true},
    // A GPX track has no attributes: the measurement is a waypoint, the track its timed points.
    {"gpx", "", "tracks", "waypoints", "", "track_points", "ogr_", "time", false, false},
};

class GisTest : public testing::Test {
protected:
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    const ScratchFolder scratch_{"varnel-gis"};
    const fs::path dir_ = scratch_.path();
};

class GisFormatTest : public GisTest, public testing::WithParamInterface<FormatCase> {
protected:
    // Writes record in the format under test and reads back its outline's first feature, or
    // nullptr (with a test failure) when the file or the outline is missing.
    std::unique_ptr<OGRFeature> WriteAndReadOutline(const MeasureRecord& record)
    {
        const FormatCase& f = GetParam();
        const std::string target = Path(std::string("field.") + f.extension);
        if (WriteGisWgs84(target.c_str(), record, nullptr) != 0) return Fail("the write failed");
        file_ = std::make_unique<Dataset>(target);
        if (!file_->data) return Fail("the file does not open");
        OGRLayer* outline = file_->data->GetLayerByName(f.outlineLayer);
        if (!outline) return Fail("no outline layer");
        outline->ResetReading();
        return std::unique_ptr<OGRFeature>(outline->GetNextFeature());
    }

private:
    static std::unique_ptr<OGRFeature> Fail(const char* what)
    {
        ADD_FAILURE() << GetParam().extension << ": " << what;
        return nullptr;
    }

    std::unique_ptr<Dataset> file_;
};

INSTANTIATE_TEST_SUITE_P(Formats, GisFormatTest, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<FormatCase>& info) { return info.param.extension; });

// The outline's vertices as the file holds them.
std::vector<OGRPoint> Vertices(const OGRGeometry& geometry)
{
    const OGRLineString* line = nullptr;
    if (wkbFlatten(geometry.getGeometryType()) == wkbPolygon)
        line = geometry.toPolygon()->getExteriorRing();
    else if (wkbFlatten(geometry.getGeometryType()) == wkbMultiLineString)
        line = geometry.toMultiLineString()->getGeometryRef(0);
    else if (wkbFlatten(geometry.getGeometryType()) == wkbLineString)
        line = geometry.toLineString();
    std::vector<OGRPoint> points;
    if (line == nullptr) return points;
    for (int i = 0; i < line->getNumPoints(); ++i) points.emplace_back(line->getX(i), line->getY(i));
    return points;
}

// Compares the outline with the record's positions, in order or (a Shapefile turns its
// rings clockwise) reversed.
void ExpectOutline(const std::vector<OGRPoint>& vertices, const MeasureRecord& r, bool closed, double tolerance)
{
    ASSERT_EQ(int(vertices.size()), r.pointCount + (closed ? 1 : 0));
    const bool reversed = r.pointCount > 1 && std::fabs(vertices[1].getX() - r.points[1].lon) > tolerance;
    for (int i = 0; i < r.pointCount; ++i) {
        const OGRPoint& v = vertices[size_t(reversed ? r.pointCount - i : i) % vertices.size()];
        EXPECT_NEAR(v.getX(), r.points[i].lon, tolerance) << "vertex " << i;
        EXPECT_NEAR(v.getY(), r.points[i].lat, tolerance) << "vertex " << i;
    }
}

// The instant a time field holds, in seconds since the epoch, whether it holds a date-time or
// ISO 8601 text (a Shapefile's, a KML's); −1 where it is missing or says no zone.
long long Instant(OGRFeature& feature, const char* field)
{
    const int index = feature.GetFieldIndex(field);
    if (index < 0 || !feature.IsFieldSetAndNotNull(index)) return -1;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, tz = 0;
    float second = 0;
    if (feature.GetFieldDefnRef(index)->GetType() == OFTString) {
        OGRField parsed;
        if (!OGRParseDate(feature.GetFieldAsString(index), &parsed, 0)) return -1;
        year = parsed.Date.Year, month = parsed.Date.Month, day = parsed.Date.Day, hour = parsed.Date.Hour;
        minute = parsed.Date.Minute, second = parsed.Date.Second, tz = parsed.Date.TZFlag;
    } else {
        feature.GetFieldAsDateTime(index, &year, &month, &day, &hour, &minute, &second, &tz);
    }
    if (tz < 100) return -1;  // unknown or "local": no instant
    std::tm tm{};
    tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
    tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = int(second);
    return static_cast<long long>(timegm(&tm)) - (tz - 100) * 15 * 60;
}

// 2024-03-15T09:30:05+08:00, SmallField's first point, as an instant.
constexpr long long kSmallFieldStart = 1710466205;

int Epsg(const OGRSpatialReference* srs)
{
    if (srs == nullptr) return 0;
    OGRSpatialReference copy(*srs);
    copy.AutoIdentifyEPSG();
    const char* code = copy.GetAuthorityCode(nullptr);
    if (code == nullptr && copy.IsGeographic() && copy.GetSemiMajor() == SRS_WGS84_SEMIMAJOR) return 4326;
    return code != nullptr ? std::atoi(code) : 0;
}

TEST_P(GisFormatTest, FileHoldsOutlineAttributesPointsAndCoordinateSystem)
{
    const ScopedTimeZone zone("Asia/Shanghai");
    const FormatCase& f = GetParam();
    const auto record = SmallField();
    const std::string target = Path(std::string("field.") + f.extension);
    int error = 0;
    ASSERT_EQ(WriteGisWgs84(target.c_str(), *record, &error), 0) << strerror(error);

    Dataset file(target);
    ASSERT_TRUE(file.data) << target;
    OGRLayer* outline = file.data->GetLayerByName(f.outlineLayer);
    ASSERT_NE(outline, nullptr) << f.outlineLayer;
    EXPECT_EQ(Epsg(outline->GetSpatialRef()), 4326);
    outline->ResetReading();
    std::unique_ptr<OGRFeature> feature(outline->GetNextFeature());
    ASSERT_TRUE(feature);
    ASSERT_NE(feature->GetGeometryRef(), nullptr);
    EXPECT_EQ(wkbFlatten(feature->GetGeometryRef()->getGeometryType()) == wkbPolygon, f.polygons);
    // A polygon's ring closes; GPX's track is the points walked.
    ExpectOutline(Vertices(*feature->GetGeometryRef()), *record, f.polygons, DegreeTolerance);

    OGRLayer* attributes = file.data->GetLayerByName(f.attributesLayer);
    ASSERT_NE(attributes, nullptr) << f.attributesLayer;
    attributes->ResetReading();
    feature.reset(attributes->GetNextFeature());
    ASSERT_TRUE(feature);
    const std::string p = f.fieldPrefix;
    EXPECT_STREQ(feature->GetFieldAsString("name"), "面积20240315.nmea");
    // The record's time with its offset (GeoJSON's reader takes the text for a date-time).
    EXPECT_EQ(Instant(*feature, (p + "datetime").c_str()), kSmallFieldStart);
    EXPECT_STREQ(feature->GetFieldAsString("type"), "Area");
    EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble((p + "area_m2").c_str()), 11437.0);
    EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble((p + "area_mu").c_str()), 17.16);
    EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble((p + "curve_m").c_str()), 325.5);
    EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble((p + "straight_m").c_str()), 110.6);
    EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble((p + "perim_m").c_str()), 436.1);
    EXPECT_EQ(feature->GetFieldAsInteger((p + "points").c_str()), 4);
    const RecordGeodesicFigures geodesic = RecordGeodesic(*record);
    EXPECT_NEAR(feature->GetFieldAsDouble((p + "geod_m2").c_str()), geodesic.geodesicArea, 1e-6);
    EXPECT_NEAR(feature->GetFieldAsDouble((p + "geod_mu").c_str()), geodesic.geodesicAreaMu, 1e-9);
    EXPECT_NEAR(feature->GetFieldAsDouble((p + "geod_per_m").c_str()), geodesic.geodesicPerimeter, 1e-6);
    char place[PlaceTextSize];
    ASSERT_EQ(FormatRecordPlace(*record, place, sizeof place), 0);
    EXPECT_NE(std::strstr(place, "屯门"), nullptr) << place;
    EXPECT_STREQ(feature->GetFieldAsString((p + "place").c_str()), place);

    Dataset pointsFile(*f.pointsFile ? Path(f.pointsFile) : target);
    ASSERT_TRUE(pointsFile.data);
    OGRLayer* points = pointsFile.data->GetLayerByName(f.pointsLayer);
    ASSERT_NE(points, nullptr) << f.pointsLayer;
    EXPECT_EQ(Epsg(points->GetSpatialRef()), 4326);
    points->ResetReading();
    if (f.pointsInOutlineLayer) feature.reset(points->GetNextFeature());
    for (int i = 0; i < record->pointCount; ++i) {
        SCOPED_TRACE(i);
        feature.reset(points->GetNextFeature());
        ASSERT_TRUE(feature);
        const auto* point = feature->GetGeometryRef()->toPoint();
        EXPECT_NEAR(point->getX(), record->points[i].lon, DegreeTolerance);
        EXPECT_NEAR(point->getY(), record->points[i].lat, DegreeTolerance);
        EXPECT_EQ(Instant(*feature, f.timeField), kSmallFieldStart + i);
    }
    feature.reset(points->GetNextFeature());
    EXPECT_FALSE(feature);
}

TEST_P(GisFormatTest, FieldFarFromAnyPlaceHasNoPlace)
{
    const FormatCase& f = GetParam();
    auto record = SmallField();
    for (int i = 0; i < record->pointCount; ++i) record->points[i].lat -= 22.5, record->points[i].lon -= 254.0;
    const std::unique_ptr<OGRFeature> feature = WriteAndReadOutline(*record);
    ASSERT_TRUE(feature);
    // No value; GPX, which writes no nulls, leaves the field out altogether.
    const int index = feature->GetFieldIndex((std::string(f.fieldPrefix) + "place").c_str());
    if (index >= 0) {
        EXPECT_FALSE(feature->IsFieldSetAndNotNull(index)) << feature->GetFieldAsString(index);
    }
}

TEST_P(GisFormatTest, DistanceIsAnOpenLineAndAFullRecordKeepsEveryVertex)
{
    auto record = FullRecord();
    record->type = Distance;
    const std::unique_ptr<OGRFeature> feature = WriteAndReadOutline(*record);
    ASSERT_TRUE(feature && feature->GetGeometryRef());
    EXPECT_NE(wkbFlatten(feature->GetGeometryRef()->getGeometryType()), wkbPolygon);
    ExpectOutline(Vertices(*feature->GetGeometryRef()), *record, false, DegreeTolerance);
}

// Outer rings turn as each standard wants them, whichever way the field was walked:
// counter-clockwise (GeoJSON's RFC 7946, KML, GeoPackage), clockwise in a Shapefile. The start
// stays the ring's first vertex where the format keeps it.
TEST_P(GisFormatTest, OuterRingsTurnAsTheFormatWants)
{
    const FormatCase& f = GetParam();
    if (!f.polygons) GTEST_SKIP() << "no polygons in " << f.extension;
    for (const bool walkedClockwise : {false, true}) {
        SCOPED_TRACE(walkedClockwise ? "walked clockwise" : "walked counter-clockwise");
        auto record = SmallField();
        if (walkedClockwise) std::reverse(record->points, record->points + record->pointCount);
        const std::unique_ptr<OGRFeature> feature = WriteAndReadOutline(*record);
        ASSERT_TRUE(feature && feature->GetGeometryRef());
        const OGRLinearRing* ring = feature->GetGeometryRef()->toPolygon()->getExteriorRing();
        EXPECT_EQ(bool(ring->isClockwise()), std::string(f.extension) == "shp");
        if (std::string(f.extension) != "shp") {
            EXPECT_NEAR(ring->getX(0), record->points[0].lon, DegreeTolerance);
            EXPECT_NEAR(ring->getY(0), record->points[0].lat, DegreeTolerance);
        }
    }
}

// GeoJSON as RFC 7946 has it: no "crs" member, and no digit of a position lost. GPX's track
// points carry their time, in UTC as GPX wants it.
TEST_F(GisTest, GeoJsonAndGpxFollowTheirStandards)
{
    const ScopedTimeZone zone("Asia/Shanghai");
    auto record = SmallField();
    record->points[1].lon = 113.90123456789;
    ASSERT_EQ(WriteGisWgs84(Path("field.geojson").c_str(), *record, nullptr), 0);
    const std::string json = ReadBytes(Path("field.geojson"));
    EXPECT_EQ(json.find("\"crs\""), std::string::npos) << json.substr(0, 300);
    EXPECT_NE(json.find("113.90123456789"), std::string::npos);
    EXPECT_NE(json.find("2024-03-15T09:30:05+08:00"), std::string::npos);

    ASSERT_EQ(WriteGisWgs84(Path("field.gpx").c_str(), *record, nullptr), 0);
    const std::string gpx = ReadBytes(Path("field.gpx"));
    const size_t track = gpx.find("<trkpt ");
    ASSERT_NE(track, std::string::npos);
    EXPECT_NE(gpx.find("<time>2024-03-15T01:30:05Z</time>", track), std::string::npos) << gpx.substr(track, 300);
    for (size_t at = gpx.find("<time>"); at != std::string::npos; at = gpx.find("<time>", at + 1))
        EXPECT_EQ(gpx[gpx.find("</time>", at) - 1], 'Z') << gpx.substr(at, 40);
}

TEST_F(GisTest, KmlReadsWithLibkmlToo)
{
    const auto record = SmallField();
    const std::string target = Path("field.kml");
    ASSERT_EQ(WriteGisWgs84(target.c_str(), *record, nullptr), 0);
    const char* const libkml[] = {"LIBKML", nullptr};
    Dataset file(target, libkml);
    ASSERT_TRUE(file.data);
    OGRLayer* outline = file.data->GetLayerByName("measurement");
    ASSERT_NE(outline, nullptr);
    std::unique_ptr<OGRFeature> feature(outline->GetNextFeature());
    ASSERT_TRUE(feature && feature->GetGeometryRef());
    EXPECT_STREQ(feature->GetFieldAsString("Name"), "面积20240315.nmea");
    ExpectOutline(Vertices(*feature->GetGeometryRef()), *record, true, DegreeTolerance);
    EXPECT_EQ(file.data->GetLayerByName("points")->GetFeatureCount(), record->pointCount);
}

// Zone-prefixed eastings and northings of the positions, as PROJ gives them.
std::vector<std::pair<double, double>> ProjZonePlane(const MeasureRecord& r, int epsg)
{
    PJ_CONTEXT* context = proj_context_create();
    PJ* raw = proj_create_crs_to_crs(context, "EPSG:4326", ("EPSG:" + std::to_string(epsg)).c_str(), nullptr);
    PJ* transform = proj_normalize_for_visualization(context, raw);
    std::vector<std::pair<double, double>> plane;
    for (int i = 0; i < r.pointCount; ++i) {
        const PJ_COORD out = proj_trans(transform, PJ_FWD, proj_coord(r.points[i].lon, r.points[i].lat, 0, 0));
        plane.emplace_back(out.xy.x, out.xy.y);
    }
    proj_destroy(transform);
    proj_destroy(raw);
    proj_context_destroy(context);
    return plane;
}

TEST_F(GisTest, ZonePlaneVariantMatchesProjAndTheRecordsOwnProjection)
{
    const auto record = FullRecord();
    ASSERT_EQ(RecordZone(*record), 38);
    ASSERT_EQ(CgcsZoneEpsg(38), 4526);
    const auto expected = ProjZonePlane(*record, 4526);
    for (const char* name : {"zone.gpkg", "zone.shp"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(WriteGisZonePlane(Path(name).c_str(), *record, nullptr), 0);
        Dataset file(Path(name));
        ASSERT_TRUE(file.data);
        OGRLayer* outline = file.data->GetLayer(0);
        EXPECT_EQ(Epsg(outline->GetSpatialRef()), 4526);
        std::unique_ptr<OGRFeature> feature(outline->GetNextFeature());
        ASSERT_TRUE(feature && feature->GetGeometryRef());
        auto vertices = Vertices(*feature->GetGeometryRef());
        ASSERT_EQ(int(vertices.size()), record->pointCount + 1);
        if (std::fabs(vertices[1].getX() - expected[1].first) > MetreTolerance)
            std::reverse(vertices.begin(), vertices.end());
        for (int i = 0; i < record->pointCount; i += 97) {
            EXPECT_NEAR(vertices[size_t(i)].getX(), expected[size_t(i)].first, MetreTolerance);
            EXPECT_NEAR(vertices[size_t(i)].getY(), expected[size_t(i)].second, MetreTolerance);
            // The loader's own projection differs only by the ellipsoid (GRS 80 against WGS 84)
            // and its easting offset.
            const PlanePoint own = GaussKrugerForwardInZone({record->points[i].lon, record->points[i].lat}, 38);
            EXPECT_NEAR(vertices[size_t(i)].getX(), own.second + 38e6, 0.01);
            EXPECT_NEAR(vertices[size_t(i)].getY(), own.first, 0.01);
        }
    }
}

TEST_F(GisTest, RefusalsWriteNothing)
{
    auto abroad = SmallField();
    for (int i = 0; i < abroad->pointCount; ++i) abroad->points[i].lon -= 100.0;  // zone 5
    auto overfull = SmallField();
    overfull->pointCount = PointCapacity + 1;
    const auto field = SmallField();
    const struct {
        const char* what;
        std::string path;
        const MeasureRecord* record;
        GisCoordinates coordinates;
        int error;
    } cases[] = {
        {"unknown extension", Path("field.txt"), field.get(), GisCoordinates::Wgs84, EINVAL},
        {"no extension", Path("field"), field.get(), GisCoordinates::Wgs84, EINVAL},
        {"too many points", Path("field.gpkg"), overfull.get(), GisCoordinates::Wgs84, EINVAL},
        {"outside the CGCS2000 zones", Path("field.gpkg"), abroad.get(), GisCoordinates::CgcsZonePlane,
         OutsideCgcsZonesError},
        {"plane coordinates in KML", Path("field.kml"), field.get(), GisCoordinates::CgcsZonePlane, EDOM},
        {"folder missing", Path("missing/field.gpkg"), field.get(), GisCoordinates::Wgs84, ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int error = 0;
        EXPECT_EQ(WriteGisFile(c.path.c_str(), *c.record, c.coordinates, &error), -1);
        EXPECT_EQ(error, c.error) << strerror(error);
        EXPECT_TRUE(Entries(dir_).empty());
    }
    int error = 0;
    EXPECT_EQ(WriteGisFile(nullptr, *field, GisCoordinates::Wgs84, &error), -1);
    EXPECT_EQ(error, EINVAL);
    // The refusal says why, not "Numerical argument out of domain".
    EXPECT_NE(std::strstr(ExportErrorText(OutsideCgcsZonesError), "outside the CGCS2000"), nullptr);
}

// A name is written as asked or refused before anything is written: a Shapefile's driver
// would write a:c.shp as a_c.*, over another export; a backslash is a plain character elsewhere.
TEST_F(GisTest, NamesAreWrittenAsAskedOrRefused)
{
    const auto field = SmallField();
    WriteBytes(Path("a_c.shp"), "another export");
    for (const char* name : {"a:c.shp", "a\\c.shp", "q\"<>?*|.shp"}) {
        SCOPED_TRACE(name);
        int error = 0;
        EXPECT_EQ(WriteGisWgs84(Path(name).c_str(), *field, &error), -1);
        EXPECT_EQ(error, NameCharactersError);
        EXPECT_EQ(Entries(dir_), std::vector<std::string>{"a_c.shp"});
    }
    EXPECT_EQ(ReadBytes(Path("a_c.shp")), "another export");
    EXPECT_EQ(GisNameRefusedCharacters(Path("q\"<>?*|:\"?.shp").c_str()), "\"<>?*|:");
    EXPECT_EQ(GisNameRefusedCharacters(Path("a:c.gpkg").c_str()), "");
    EXPECT_EQ(GisNameRefusedCharacters((dir_.string() + "/x:y/field.shp").c_str()), "");  // the folder's name is not the file's

    fs::remove(Path("a_c.shp"));
    for (const char* extension : {"gpkg", "kml", "geojson", "gpx"}) {
        SCOPED_TRACE(extension);
        const std::string name = std::string("a\\b:c.") + extension;
        int error = 0;
        EXPECT_EQ(WriteGisWgs84(Path(name).c_str(), *field, &error), 0) << strerror(error);
        EXPECT_EQ(Entries(dir_), std::vector<std::string>{name});
        EXPECT_NE(Dataset(Path(name)).data, nullptr);
        fs::remove(Path(name));
    }
}

// A Shapefile named by a symbolic link is written through it, as its .shp alone would be: all
// its files go beside the file the link names, under that file's name.
TEST_F(GisTest, ShapefileThroughALinkKeepsItsFilesTogether)
{
    const auto field = SmallField();
    fs::create_directory(dir_ / "real");
    WriteBytes(Path("real/kept.shp"), "old");
    fs::create_symlink("real/kept.shp", dir_ / "link.shp");
    ASSERT_EQ(WriteGisWgs84(Path("link.shp").c_str(), *field, nullptr), 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.shp"));
    EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"link.shp", "real"}));
    EXPECT_EQ(Entries(dir_ / "real"), (std::vector<std::string>{"kept.cpg", "kept.dbf", "kept.prj", "kept.shp", "kept.shx",
                                                                 "kept_points.cpg", "kept_points.dbf", "kept_points.prj",
                                                                 "kept_points.shp", "kept_points.shx"}));
    const Dataset read(Path("real/kept.shp"));
    ASSERT_NE(read.data, nullptr);
    EXPECT_EQ(read.data->GetLayer(0)->GetFeatureCount(), 1);
    std::vector<std::string> listed;
    for (const std::string& file : GisFilesWritten(Path("real/kept.shp").c_str())) listed.push_back(fs::path(file).filename());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, Entries(dir_ / "real"));
}

// A Shapefile's files are all replaced or none: one that may not be replaced keeps all of them.
TEST_F(GisTest, ShapefileFilesAppearTogetherOrNotAtAll)
{
    const auto record = SmallField();
    const std::vector<std::string> names = {"field.cpg", "field.dbf", "field.prj", "field.shp", "field.shx",
                                            "field_points.cpg", "field_points.dbf", "field_points.prj",
                                            "field_points.shp", "field_points.shx"};
    ASSERT_EQ(WriteGisWgs84(Path("field.shp").c_str(), *record, nullptr), 0);
    EXPECT_EQ(Entries(dir_), names);
    for (const auto& name : names) {
        WriteBytes(Path(name), "old " + name);
        fs::permissions(Path(name), fs::perms(name == "field_points.dbf" ? 0444 : 0666));
    }
    fs::permissions(dir_, fs::perms(0777));
    const ChildOutcome outcome = RunInChild([&] {
        if (!DropRootPrivileges()) return ChildOutcome{};
        ChildOutcome result;
        result.result = WriteGisWgs84(Path("field.shp").c_str(), *record, &result.error);
        return result;
    });
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.error, EACCES) << strerror(outcome.error);
    EXPECT_EQ(Entries(dir_), names);
    for (const auto& name : names) EXPECT_EQ(ReadBytes(Path(name)), "old " + name);
}

TEST_F(GisTest, ReadOnlyFolderAndFileSizeLimitLeaveTheTargetUntouched)
{
    const auto record = FullRecord();
    const std::string target = Path("out.gpkg");
    WriteBytes(target, "old content");
    const struct {
        const char* what;
        std::function<bool()> limit;
        int error;
    } cases[] = {
        {"read-only folder",
         [&] {
             fs::permissions(dir_, fs::perms(0555));
             return DropRootPrivileges();
         },
         EACCES},
        {"file size limit",
         [] {
             const rlimit limit{4096, 4096};
             return signal(SIGXFSZ, SIG_IGN) != SIG_ERR && setrlimit(RLIMIT_FSIZE, &limit) == 0;
         },
         EFBIG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ChildOutcome outcome = RunInChild([&] {
            if (!c.limit()) return ChildOutcome{};
            ChildOutcome result;
            result.result = WriteGisWgs84(target.c_str(), *record, &result.error);
            return result;
        });
        fs::permissions(dir_, fs::perms(0755));
        EXPECT_EQ(outcome.result, -1);
        EXPECT_EQ(outcome.error, c.error) << strerror(outcome.error);
        EXPECT_EQ(ReadBytes(target), "old content");
        EXPECT_EQ(Entries(dir_), std::vector<std::string>{"out.gpkg"});
    }
}

TEST_F(GisTest, FullFileSystemFailsAndLeavesTheTargetUntouched)
{
    const std::string mountPoint = Path("small");
    fs::create_directory(mountPoint);
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << strerror(errno);
    const std::string target = mountPoint + "/out.gpkg";
    WriteBytes(target, "old content");
    int error = 0;
    const int result = WriteGisWgs84(target.c_str(), *FullRecord(), &error);
    const std::string after = ReadBytes(target);
    const auto entries = Entries(mountPoint);
    umount2(mountPoint.c_str(), MNT_DETACH);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, ENOSPC) << strerror(error);
    EXPECT_EQ(after, "old content");
    EXPECT_EQ(entries, std::vector<std::string>{"out.gpkg"});
}

}  // namespace
