// varnel-convert as a user runs it: output lines, JSON, failures and exit status.
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class ConvertCommand : public testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) { return scratch_.Write(name, bytes); }

    // Runs the converter with args, in the folder cwd when one is given.
    Outcome Run(const std::string& args, const std::string& cwd = "")
    {
        return RunShell((cwd.empty() ? "" : "cd '" + cwd + "' && ") + std::string(VARNEL_CONVERT) + " " + args);
    }

    Outcome RunShell(const std::string& line)
    {
        const std::string out = dir_ + "/.out", err = dir_ + "/.err";
        const std::string command = line + " >" + out + " 2>" + err;
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(out), ReadWholeFile(err)};
    }

    const ScratchFolder scratch_{"varnel-convert"};
    const std::string dir_ = scratch_.path();
};

// Its area and lengths as printed agree with tests/data/independent_figures.py, worked out on its own.
const char kField[] =
    "2018-04-11,10:20:01,22.5000000,113.9000000\r\n"
    "2018-04-11,10:20:02,22.5010000,113.9000000\r\n"
    "2018-04-11,10:20:03,22.5010000,113.9010000\r\n"
    "2018-04-11,10:20:04,22.5000000,113.9010000\r\n";

TEST_F(ConvertCommand, FolderInNameOrderWithFailuresNamed)
{
    Write("b.nmea", kField);
    Write("a DISTANCE.nmea", kField);
    Write("c.nmea", "no points here\r\n");
    Write("notes.txt", kField);
    // GBK names (距离, 距离0) read as the window shows them.
    Write("\xBE\xE0\xC0\xEB.nmea", kField);
    Write("\xBE\xE0\xC0\xEB" "0.nmea", "no points here\r\n");
    const Outcome run = Run(dir_);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "a DISTANCE.nmea\t2018-04-11 10:20:01\tDistance\t11394 m²\t17.09 mu\t324.37 m\t102.90 m\t4 points\n"
              "b.nmea\t2018-04-11 10:20:01\tArea\t11394 m²\t17.09 mu\t324.37 m\t102.90 m\t4 points\n"
              "距离.nmea\t2018-04-11 10:20:01\tDistance\t11394 m²\t17.09 mu\t324.37 m\t102.90 m\t4 points\n");
    EXPECT_NE(run.err.find("c.nmea: no point line"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("/距离0.nmea: no point line"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("notes.txt"), std::string::npos);
}

TEST_F(ConvertCommand, JsonLinesRoundTripTheRecord)
{
    const ScopedTimeZone zone("Asia/Shanghai");  // a dated line is local time: kept, with its offset
    const std::string file = Write("f.nmea", kField);
    const Outcome run = Run("--json --points " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one record, one line";
    for (const char* key : {"\"path\":\"", "\"nameKey\":0,", "\"type\":0,", "\"year\":2018,", "\"second\":1,",
                            "\"pointCount\":4,", "\"datetime\":\"2018-04-11T10:20:01+08:00\"", "\"calcAreaMu\":", "\"extent\":", "\"points\":[{\"lat\":22.5,\"lon\":113.9,\"stamp\":20180411102001,\"mapLat\":"})
        EXPECT_NE(run.out.find(key), std::string::npos) << key;
    // Shortest exact form: the printed value reads back to the same double.
    const size_t at = run.out.find("\"calcCurveLength\":") + 18;
    const double curve = std::strtod(run.out.c_str() + at, nullptr);
    const size_t atText = run.out.find("\"curveLength\":") + 14;
    EXPECT_EQ(curve, std::strtod(run.out.c_str() + atText, nullptr));
    EXPECT_NEAR(curve, 110.7 + 102.9 + 110.7, 0.5);  // three sides of a 0.001° square at 22.5°N
}

TEST_F(ConvertCommand, JsonNamesTheNearestPlaceOrNull)
{
    // Guangzhou; kField lies in the river's mouth, nearer Hong Kong's shore.
    const Outcome near = Run("--json " + Write("near.nmea",
        "2018-04-11,10:20:01,23.1300000,113.2600000\r\n2018-04-11,10:20:02,23.1310000,113.2600000\r\n"));
    ASSERT_EQ(near.status, 0) << near.err;
    EXPECT_NE(near.out.find("\"place\":{\"name\":\""), std::string::npos) << near.out;
    EXPECT_NE(near.out.find("\"province\":\"广东省\",\"country\":\"中国\",\"distance\":"), std::string::npos)
        << near.out;
    const size_t at = near.out.find("\"distance\":") + 11;
    const double distance = std::strtod(near.out.c_str() + at, nullptr);
    EXPECT_GT(distance, 0.0);
    EXPECT_LT(distance, 30000.0);

    const Outcome sea = Run("--json " + Write("sea.nmea",
        "2018-04-11,10:20:01,0.5000000,160.0000000\r\n2018-04-11,10:20:02,0.5010000,160.0000000\r\n"));
    ASSERT_EQ(sea.status, 0) << sea.err;
    EXPECT_NE(sea.out.find("\"place\":null"), std::string::npos) << sea.out;
}

TEST_F(ConvertCommand, JsonEscapesPathsThatAreNotUtf8)
{
    const std::string file = Write("\xBE\xE0\xC0\xEB\"q\".nmea", kField);
    const Outcome run = Run("--json '" + file + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\\u00be\\u00e0\\u00c0\\u00eb\\\"q\\\".nmea\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"type\":6"), std::string::npos);
}

TEST_F(ConvertCommand, UsageErrorsAndHelp)
{
    EXPECT_EQ(Run("").status, 2);
    EXPECT_EQ(Run("--bogus x.nmea").status, 2);
    EXPECT_EQ(Run("--points " + dir_).status, 2);
    const Outcome help = Run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    const Outcome missing = Run(dir_ + "/none.nmea");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.nmea: cannot be opened"), std::string::npos);
    Write("here.nmea", kField);
    EXPECT_EQ(Run("--json " + dir_ + "/here.nmea").status, 0);
}

TEST_F(ConvertCommand, ExportsTheLoadedRecords)
{
    const std::string file = Write("field.nmea", kField);
    Write("second.nmea", kField);
    ASSERT_EQ(std::system(("mkdir " + dir_ + "/out").c_str()), 0);

    const Outcome single = Run(file + " --dxf " + dir_ + "/f.dxf --csv " + dir_ + "/f.csv");
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_EQ(ReadWholeFile(dir_ + "/f.csv"), "22.500000,113.900000\n22.501000,113.900000\n22.501000,113.901000\n");
    EXPECT_NE(ReadWholeFile(dir_ + "/f.dxf").find("SECTION\n  2\nHEADER"), std::string::npos);

    const Outcome all = Run(dir_ + " --out-dir " + dir_ + "/out");
    ASSERT_EQ(all.status, 0) << all.err;
    for (const char* name : {"/out/field.dxf", "/out/field.csv", "/out/second.dxf", "/out/second.csv"})
        EXPECT_TRUE(std::filesystem::exists(dir_ + name)) << name;
    EXPECT_EQ(ReadWholeFile(dir_ + "/out/field.csv"), ReadWholeFile(dir_ + "/f.csv"));
    EXPECT_EQ(ReadWholeFile(dir_ + "/out/field.dxf"), ReadWholeFile(dir_ + "/f.dxf"));

    const Outcome failed = Run(file + " --csv " + dir_ + "/missing/f.csv");
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("missing/f.csv: cannot be written: No such file or directory"), std::string::npos)
        << failed.err;
    EXPECT_EQ(Run(dir_ + " --dxf " + dir_ + "/x.dxf").status, 2);  // several records, one drawing
    EXPECT_EQ(Run(file + " --dxf").status, 2);
    EXPECT_EQ(Run(file + " --out-dir " + dir_ + "/nowhere").status, 1);
}

int FeatureCount(const std::string& path, const char* layer)
{
    GDALAllRegister();
    const std::unique_ptr<GDALDataset> file(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    OGRLayer* found = file ? file->GetLayerByName(layer) : nullptr;
    return found ? int(found->GetFeatureCount()) : -1;
}

TEST_F(ConvertCommand, GeodesicFiguresBesideThePlaneOnes)
{
    const Outcome run = Run("--json " + Write("f.nmea", kField));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto number = [&](const std::string& key) {
        const size_t at = run.out.find("\"" + key + "\":");
        return at == std::string::npos ? NAN : std::strtod(run.out.c_str() + at + key.size() + 3, nullptr);
    };
    // A 0.001° square at 22.5° N, 3 km west of its zone's central meridian: the plane area is
    // larger by the projection's scale, a few parts in a million.
    EXPECT_NEAR(number("geodesicArea") / number("calcArea"), 1.0, 1e-5);
    EXPECT_NEAR(number("geodesicAreaMu") * 666.66668701171875, number("geodesicArea"), 1e-6);
    EXPECT_NEAR(number("geodesicPerimeter"), 2 * (110.7 + 102.9), 0.5);
}

TEST_F(ConvertCommand, GisAndReportFromTheFormatTable)
{
    const std::string file = Write("field.nmea", kField);
    ASSERT_EQ(std::system(("mkdir " + dir_ + "/out").c_str()), 0);

    const Outcome single = Run(file + " --gis " + dir_ + "/f.GPKG");
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_EQ(FeatureCount(dir_ + "/f.GPKG", "points"), 4);

    const Outcome all = Run(file + " --out-dir " + dir_ + "/out --formats gpkg,shp-cgcs2000,kml,csv");
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(FeatureCount(dir_ + "/out/field.gpkg", "measurement"), 1);
    EXPECT_EQ(FeatureCount(dir_ + "/out/field.shp", "field"), 1);
    EXPECT_EQ(FeatureCount(dir_ + "/out/field_points.shp", "field_points"), 4);
    EXPECT_EQ(FeatureCount(dir_ + "/out/field.kml", "points"), 4);
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/out/field.csv"));

    for (const std::string& args : std::vector<std::string>{" --gis " + dir_ + "/f.txt", " --out-dir " + dir_ + "/out --formats gpkg,gpkg-cgcs2000",
                                    " --out-dir " + dir_ + "/out --formats bogus", " --formats gpkg"}) {
        const Outcome refused = Run(file + args);
        EXPECT_EQ(refused.status, 2) << args;
        EXPECT_FALSE(refused.err.empty()) << args;
    }

    // A build without Qt has no report module, and says so.
    const Outcome report = Run(file + " --report " + dir_ + "/f.pdf");
    if (!VARNEL_WITH_REPORT) {
        EXPECT_EQ(report.status, 1);
        EXPECT_EQ(report.err.rfind("varnel-convert: cannot load the report writer: ", 0), 0u) << report.err;
        return;
    }
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_EQ(report.err, "");
    EXPECT_EQ(ReadWholeFile(dir_ + "/f.pdf").substr(0, 5), "%PDF-");
}

// Faults an attacker's drive or a full disk used to turn into an abort, a lie or forged output.
TEST_F(ConvertCommand, NeverAbortsNorHidesAFailedWrite)
{
    const std::string file = Write("field.nmea", kField);
    const std::string loop = dir_ + "/loop";
    ASSERT_EQ(symlink("loop", loop.c_str()), 0);
    const std::string longName = dir_ + "/" + std::string(300, 'n');
    const struct {
        const char* what;
        std::string outDir;
    } badFolders[] = {{"symlink loop", loop}, {"name over 255 bytes", longName}, {"under a loop", loop + "/x"}};
    for (const auto& c : badFolders) {
        SCOPED_TRACE(c.what);
        const Outcome run = Run(file + " --out-dir '" + c.outDir + "'");
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("varnel-convert: "), std::string::npos) << run.err;
    }

    for (const char* args : {"--json ", "", "--help "}) {
        SCOPED_TRACE(args);
        const std::string command = std::string(VARNEL_CONVERT) + " " + args + file + " >/dev/full 2>" + dir_ + "/.err";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_NE(ReadWholeFile(dir_ + "/.err").find("varnel-convert: cannot write output: No space left on device"),
                  std::string::npos) << ReadWholeFile(dir_ + "/.err");
    }
}

TEST_F(ConvertCommand, NamesAreEscapedInTextAndMessages)
{
    ASSERT_EQ(mkdir((dir_ + "/d").c_str(), 0755), 0);
    Write("d/a\nforged\tline\x1b[2J.nmea", kField);
    Write("d/b\x1b]0;x\x07.nmea", "no points\r\n");
    const Outcome run = Run(dir_ + "/d");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("a\\nforged\\tline\\x1b[2J.nmea\t2018-04-11 10:20:01\tArea\t", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
    EXPECT_NE(run.err.find("b\\x1b]0;x\\x07.nmea: no point line"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
    const Outcome json = Run("--json " + dir_ + "/d");
    EXPECT_NE(json.out.find("a\\u000aforged\\u0009line\\u001b[2J.nmea"), std::string::npos) << json.out;
}

// C1 controls (as UTF-8 and as a bare byte) act on terminals as C0 ones do, and the
// bidirectional controls show a name reversed ("rtlaemn.exe.jpg"); GBK pairs whose second byte
// lies in C1's range stay as they are.
TEST_F(ConvertCommand, C1AndBidirectionalControlsAreEscaped)
{
    ASSERT_EQ(mkdir((dir_ + "/d").c_str(), 0755), 0);
    const struct {
        std::string name, shown, json;
    } cases[] = {
        {"a\xc2\x9b" "31m.nmea", "a\\u009b31m.nmea", "a\\u009b31m.nmea"},
        {"b\xc2\x85x.nmea", "b\\u0085x.nmea", "b\\u0085x.nmea"},
        {"c\x9b" "2J.nmea", "c\\x9b2J.nmea", "c\\u009b2J.nmea"},
        {"d\xe2\x80\xaegpj.nmea", "d\\u202egpj.nmea", "d\\u202egpj.nmea"},
        {"e\xe2\x81\xa6x\xe2\x81\xa9.nmea", "e\\u2066x\\u2069.nmea", "e\\u2066x\\u2069.nmea"},
        {"f\x81\x80.nmea", "f亐.nmea", "f\\u0081\\u0080.nmea"},
    };
    for (const auto& c : cases) Write("d/" + c.name, kField);
    Write("d/g\xe2\x80\xaeno.nmea", "no points\r\n");
    const Outcome run = Run(dir_ + "/d");
    EXPECT_EQ(run.status, 1);
    const Outcome json = Run("--json " + dir_ + "/d");
    for (const auto& c : cases) {
        EXPECT_NE(("\n" + run.out).find("\n" + c.shown + "\t"), std::string::npos) << c.shown << " in\n" << run.out;
        EXPECT_NE(json.out.find("/d/" + c.json + "\""), std::string::npos) << c.json << " in\n" << json.out;
    }
    EXPECT_NE(run.err.find("g\\u202eno.nmea: no point line"), std::string::npos) << run.err;
    for (const std::string& text : {run.out, run.err, json.out})
        for (const char* raw : {"\xc2\x9b", "\xc2\x85", "\xe2\x80\xae", "\xe2\x81\xa6", "\x9b" "2J"})
            EXPECT_EQ(text.find(raw), std::string::npos) << text;
}

TEST_F(ConvertCommand, TwoRecordsOfOneExportNameFailTheSecond)
{
    ASSERT_EQ(mkdir((dir_ + "/d").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir_ + "/out").c_str(), 0755), 0);
    Write("d/x.nmea", kField);
    Write("d/x.nmea1", std::string(kField) + "2018-04-11,10:20:05,22.5020000,113.9020000\r\n");
    Write("d/x.nmea~", kField);
    const Outcome run = Run(dir_ + "/d --out-dir " + dir_ + "/out");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("x.nmea1: would overwrite the export of " + dir_ + "/d/x.nmea"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("x.nmea~: would overwrite the export of " + dir_ + "/d/x.nmea"), std::string::npos) << run.err;
    const std::string csv = ReadWholeFile(dir_ + "/out/x.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << "x.nmea's export, not x.nmea1's";

    // A FIFO planted where an export goes is refused, not opened (which would block for ever).
    ASSERT_EQ(mkfifo((dir_ + "/out/y.dxf").c_str(), 0644), 0);
    const Outcome fifo = RunShell("timeout 20 " + std::string(VARNEL_CONVERT) + " " + dir_ + "/d/x.nmea --dxf " + dir_ + "/out/y.dxf");
    EXPECT_EQ(fifo.status, 1);
    EXPECT_NE(fifo.err.find("y.dxf: cannot be written: not a regular file"), std::string::npos) << fifo.err;
}

// The collision check looks at every file a format writes: a.nmea's Shapefile writes
// a_points.*, which is a_points.nmea's own export. A name the Shapefile cannot keep is refused,
// with its characters named, and replaces nothing.
TEST_F(ConvertCommand, ExportsNeverReplaceAnotherRecordsFiles)
{
    ASSERT_EQ(mkdir((dir_ + "/d").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir_ + "/out").c_str(), 0755), 0);
    Write("d/a.nmea", kField);
    Write("d/a_points.nmea", std::string(kField) + "2018-04-11,10:20:05,22.5020000,113.9020000\r\n");
    Write("d/x:y.nmea", kField);
    Write("d/x_y.nmea", kField);
    const Outcome run = Run(dir_ + "/d --out-dir " + dir_ + "/out --formats shp,csv");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("a_points.nmea: would overwrite the export of " + dir_ + "/d/a.nmea"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("x:y.shp: cannot be written: the name holds characters this format cannot keep in a file name: :"),
              std::string::npos) << run.err;
    EXPECT_EQ(ReadWholeFile(dir_ + "/out/x_y.csv"), ReadWholeFile(dir_ + "/out/x:y.csv"));
    const std::string points = ReadWholeFile(dir_ + "/out/a.csv");
    EXPECT_EQ(std::count(points.begin(), points.end(), '\n'), 3) << "a.nmea's export, not a_points.nmea's";
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/out/a_points.csv"));

    Write("out/a_c.shp", "another export");
    const Outcome single = Run(dir_ + "/d/a.nmea --gis '" + dir_ + "/out/a:c.shp'");
    EXPECT_EQ(single.status, 1);
    EXPECT_NE(single.err.find("in a file name: :"), std::string::npos) << single.err;
    EXPECT_EQ(ReadWholeFile(dir_ + "/out/a_c.shp"), "another export");
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/out/a:c.shp"));
    // A backslash is a character like any other in a GeoPackage's name.
    const Outcome backslash = Run(dir_ + "/d/a.nmea --gis '" + dir_ + "/out/a\\b.gpkg'");
    EXPECT_EQ(backslash.status, 0) << backslash.err;
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/out/a\\b.gpkg"));
}

// tests/data/expected/convert-json-points.jsonl was written by the converter as it stood before
// folders were loaded on several threads and the loader was rebuilt around one field scanner,
// run from the source folder as below. Every figure, point and order must be what it was.
TEST_F(ConvertCommand, JsonPointsOutputIsByteForByteWhatItWas)
{
    const ScopedTimeZone zone("UTC");  // as it was written: RMC times are then shown as they are
    const std::string source = std::string(VARNEL_TEST_DATA) + "/../..";
    const Outcome run = Run("--json --points tests/data/real-nmea samples tests/data/bad", source);
    EXPECT_EQ(run.status, 1);  // two files of the bad corpus hold no point
    const std::string expected = ReadWholeFile(std::string(VARNEL_TEST_DATA) + "/expected/convert-json-points.jsonl");
    ASSERT_FALSE(expected.empty());
    // The ellipsoidal figures, the nearest place and the time with its zone came later; they
    // stand after "extent" and before the points.
    std::string out = run.out;
    for (size_t at = out.find(",\"geodesicArea\":"); at != std::string::npos; at = out.find(",\"geodesicArea\":", at)) {
        const size_t points = out.find(",\"points\":", at), close = out.find("}\n", at);
        out.erase(at, std::min(points, close) - at);
    }
    EXPECT_TRUE(out == expected) << "the output differs from tests/data/expected/convert-json-points.jsonl";
}

// A folder of more records than the table holds is printed whole, in name order.
TEST_F(ConvertCommand, FolderOfMoreThanTheTableHolds)
{
    for (int i = 0; i < 205; ++i) Write("r" + std::string(i < 10 ? "00" : i < 100 ? "0" : "") + std::to_string(i) + ".nmea", kField);
    Write("r150.nmea", "no points here\r\n");
    const Outcome run = Run(dir_);
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> names;
    for (size_t at = 0; at < run.out.size();) {
        const size_t tab = run.out.find('\t', at), end = run.out.find('\n', at);
        names.push_back(run.out.substr(at, tab - at));
        at = end + 1;
    }
    ASSERT_EQ(names.size(), 204u);
    EXPECT_EQ(names[0], "r000.nmea");
    EXPECT_EQ(names[150], "r151.nmea");
    EXPECT_EQ(names[203], "r204.nmea");
    EXPECT_NE(run.err.find("r150.nmea: no point line"), std::string::npos) << run.err;
}

}  // namespace
