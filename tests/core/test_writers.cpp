// The DXF and point-file writers: content read back, locale independence, and failures that
// must leave no partial file and an existing target untouched.
#include <dl_creationadapter.h>
#include <dl_dxf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <locale>
#include <memory>
#include <string>
#include <vector>

#include "export/dxf_writer.h"
#include "export/point_file.h"
#include "export/safe_file.h"
#include "import/record.h"
#include "tests/support/testsupport.h"

namespace {

namespace fs = std::filesystem;

std::unique_ptr<MeasureRecord> RecordWithPlanePoints(const std::vector<PlanePoint>& points)
{
    auto record = std::make_unique<MeasureRecord>();
    record->pointCount = int(points.size());
    std::copy(points.begin(), points.end(), record->planePoints);
    return record;
}

// {lat, lon} pairs.
std::unique_ptr<MeasureRecord> RecordWithPositions(const std::vector<std::pair<double, double>>& positions)
{
    auto record = std::make_unique<MeasureRecord>();
    record->pointCount = int(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        record->points[i].lat = positions[i].first;
        record->points[i].lon = positions[i].second;
    }
    return record;
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Entries(const fs::path& dir) { return FolderEntries(dir.string()); }

// A fresh folder per test.
class WriterTest : public testing::Test {
protected:
    std::string Path(const char* name) const { return scratch_.File(name); }

    const ScratchFolder scratch_{"varnel-writers"};
    const fs::path dir_ = scratch_.path();
};

// What the drawing holds, as dxflib's own reader sees it.
struct DxfContent : DL_CreationAdapter {
    std::string version;
    std::vector<std::pair<std::string, int>> layers;
    std::vector<std::string> blocks;
    std::vector<DL_LineData> lines;
    std::vector<std::string> lineLayers;

    void setVariableString(const std::string& name, const std::string& value, int) override
    {
        if (name == "$ACADVER")
            version = value;
    }
    void addLayer(const DL_LayerData& data) override { layers.emplace_back(data.name, getAttributes().getColor()); }
    void addBlock(const DL_BlockData& data) override { blocks.push_back(data.name); }
    void addLine(const DL_LineData& data) override
    {
        lines.push_back(data);
        lineLayers.push_back(getAttributes().getLayer());
    }
};

struct DxfCase {
    const char* name;
    std::vector<PlanePoint> points;  // drawing form
};

void PrintTo(const DxfCase& c, std::ostream* out) { *out << c.name; }

class DxfContentTest : public WriterTest, public testing::WithParamInterface<DxfCase> {};

TEST_P(DxfContentTest, DrawingHoldsOneLinePerConsecutivePairInPointOrder)
{
    const std::vector<PlanePoint>& points = GetParam().points;
    const auto record = RecordWithPlanePoints(points);
    const std::string path = Path("out.dxf");
    int error = 0;
    ASSERT_EQ(WriteDxfFile(path.c_str(), *record, &error), 0) << strerror(error);

    EXPECT_TRUE(ReadWholeFile(path).ends_with("  0\nEOF\n"));
    DxfContent content;
    DL_Dxf reader;
    ASSERT_TRUE(reader.in(path, &content));
    EXPECT_EQ(content.version, "AC1009");
    const std::vector<std::pair<std::string, int>> layers = {{"0", 250}, {"mainlayer", 1}, {"anotherlayer", 250}};
    EXPECT_EQ(content.layers, layers);
    const std::vector<std::string> blocks = {"*Model_Space", "*Paper_Space", "*Paper_Space0", "myblock1", "myblock2"};
    EXPECT_EQ(content.blocks, blocks);

    ASSERT_EQ(content.lines.size(), points.empty() ? 0 : points.size() - 1);
    for (size_t i = 0; i < content.lines.size(); ++i) {
        const DL_LineData& line = content.lines[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(content.lineLayers[i], "mainlayer");
        EXPECT_NEAR(line.x1, points[i].first, 1e-6);
        EXPECT_NEAR(line.y1, -points[i].second, 1e-6);
        EXPECT_EQ(line.z1, 0.0);
        EXPECT_NEAR(line.x2, points[i + 1].first, 1e-6);
        EXPECT_NEAR(line.y2, -points[i + 1].second, 1e-6);
        EXPECT_EQ(line.z2, 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, DxfContentTest,
    testing::Values(DxfCase{"NoPoint", {}}, DxfCase{"OnePoint", {{505142.962, -2494705.043}}},
                    DxfCase{"TwoPoints", {{505142.962, -2494705.043}, {505150.5, -2494710.25}}},
                    // An open path: no line closes the outline, and a repeated point is kept.
                    DxfCase{"OpenOutline",
                            {{505142.962, -2494705.043},
                             {505242.962, -2494705.043},
                             {505242.962, -2494805.043},
                             {505242.962, -2494805.043},
                             {505142.962, -2494705.043}}},
                    DxfCase{"OtherZoneAndNegativeNorthing", {{38500000.125, 1000.5}, {-12.75, 0.0}}}),
    [](const testing::TestParamInfo<DxfCase>& info) { return info.param.name; });

TEST_F(WriterTest, DxfRefusesCoordinatesDxflibCannotPrint)
{
    // dxflib's checked sprintf would end the process on the huge one.
    const double values[] = {std::nan(""), HUGE_VAL, -1e300};
    for (double value : values) {
        SCOPED_TRACE(value);
        const auto record = RecordWithPlanePoints({{505142.962, -2494705.043}, {505150.5, value}});
        const std::string path = Path("out.dxf");
        int error = 0;
        EXPECT_EQ(WriteDxfFile(path.c_str(), *record, &error), -1);
        EXPECT_EQ(error, EINVAL);
        EXPECT_TRUE(Entries(dir_).empty());
    }
}

struct PointFileCase {
    const char* name;
    std::vector<std::pair<double, double>> positions;  // {lat, lon}
    const char* bytes;
};

void PrintTo(const PointFileCase& c, std::ostream* out) { *out << c.name; }

class PointFileContentTest : public WriterTest, public testing::WithParamInterface<PointFileCase> {};

TEST_P(PointFileContentTest, FileHoldsEveryPointButTheLast)
{
    const auto record = RecordWithPositions(GetParam().positions);
    const std::string path = Path("out.csv");
    int error = 0;
    ASSERT_EQ(ExportPointFile(path.c_str(), *record, &error), 0) << strerror(error);
    EXPECT_EQ(ReadWholeFile(path), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Records, PointFileContentTest,
    testing::Values(PointFileCase{"NoPoint", {}, ""}, PointFileCase{"OnePoint", {{22.5, 113.9}}, ""},
                    PointFileCase{"ThreePoints",
                                  {{22.5, 113.9}, {-33.8688, 151.2093}, {1.0, 2.0}},
                                  "22.500000,113.900000\n-33.868800,151.209300\n"},
                    PointFileCase{"SouthWest", {{-90.0, -179.25}, {0.0, 0.0}}, "-90.000000,-179.250000\n"}),
    [](const testing::TestParamInfo<PointFileCase>& info) { return info.param.name; });

TEST_F(WriterTest, PointFileRoundsExactlyAsPrintfDoes)
{
    // Halfway cases in decimal that are not halfway in binary, negative zero and values that
    // round to it, and the widest numbers a double holds.
    const double values[] = {0.0000005, 0.0000015, 0.0000025, -0.0000004, -0.0000005, -0.0, 1e-7,
                             0.1234565, 123.4567895, 22.9999995, 1e300, -1.7976931348623157e308,
                             std::nextafter(0.5, 0.0), 4.35};
    std::vector<std::pair<double, double>> positions;
    std::string expected;
    for (double lat : values) {
        const double lon = -lat / 3;
        positions.emplace_back(lat, lon);
        char line[700];
        snprintf(line, sizeof line, "%.6f,%.6f\n", lat, lon);
        expected += line;
    }
    positions.emplace_back(0.0, 0.0);
    const auto record = RecordWithPositions(positions);
    const std::string path = Path("out.csv");
    ASSERT_EQ(ExportPointFile(path.c_str(), *record), 0);
    EXPECT_EQ(ReadWholeFile(path), expected);
}

TEST_F(WriterTest, TableIndexWritesTheTableRecord)
{
    MeasureRecord& slot = TheRecordTable().records[7];
    const auto record = FullRecord();
    slot = *record;
    const std::string fromIndex = Path("index"), fromRecord = Path("record");
    EXPECT_EQ(WriteDxfFile(fromIndex.c_str(), 7), 0);
    EXPECT_EQ(WriteDxfFile(fromRecord.c_str(), *record), 0);
    EXPECT_EQ(ReadWholeFile(fromIndex), ReadWholeFile(fromRecord));
    EXPECT_EQ(ExportPointFile(fromIndex.c_str(), 7), 0);
    EXPECT_EQ(ExportPointFile(fromRecord.c_str(), *record), 0);
    EXPECT_EQ(ReadWholeFile(fromIndex), ReadWholeFile(fromRecord));
    slot = MeasureRecord{};
}

// Both writers behind one shape, for the behaviour they share.
struct Writer {
    const char* name;
    int (*byRecord)(const char*, const MeasureRecord&, int*);
    int (*byIndex)(const char*, int, int*);
};

const Writer writers[] = {
    {"Dxf", static_cast<int (*)(const char*, const MeasureRecord&, int*)>(WriteDxfFile),
     static_cast<int (*)(const char*, int, int*)>(WriteDxfFile)},
    {"PointFile", static_cast<int (*)(const char*, const MeasureRecord&, int*)>(ExportPointFile),
     static_cast<int (*)(const char*, int, int*)>(ExportPointFile)},
};

void PrintTo(const Writer& writer, std::ostream* out) { *out << writer.name; }

class WritersTest : public WriterTest, public testing::WithParamInterface<Writer> {};

INSTANTIATE_TEST_SUITE_P(Both, WritersTest, testing::ValuesIn(writers),
                         [](const testing::TestParamInfo<Writer>& info) { return info.param.name; });

TEST_P(WritersTest, ReplacingAFileKeepsItsLinkAndPermissions)
{
    const auto record = FullRecord();
    const std::string reference = Path("reference"), target = Path("target"), link = Path("link");
    ASSERT_EQ(GetParam().byRecord(reference.c_str(), *record, nullptr), 0);
    WriteBytes(target, "old content");
    fs::permissions(target, fs::perms(0640));
    fs::create_symlink("target", link);

    ASSERT_EQ(GetParam().byRecord(link.c_str(), *record, nullptr), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(target), ReadWholeFile(reference));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"link", "reference", "target"}));

    // A link to nothing is neither followed nor replaced.
    fs::remove(target);
    int error = 0;
    EXPECT_EQ(GetParam().byRecord(link.c_str(), *record, &error), -1);
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"link", "reference"}));
}

TEST_P(WritersTest, FailureBeforeWritingCreatesNothing)
{
    const auto record = FullRecord();
    auto overfull = FullRecord();
    overfull->pointCount = PointCapacity + 1;
    auto negative = FullRecord();
    negative->pointCount = -1;
    const std::string missingFolder = Path("missing/out");
    const std::string target = Path("out");
    const struct {
        const char* what;
        std::function<int(int*)> call;
        int error;
    } cases[] = {
        {"folder missing", [&](int* e) { return GetParam().byRecord(missingFolder.c_str(), *record, e); }, ENOENT},
        {"target is a folder", [&](int* e) { return GetParam().byRecord(dir_.c_str(), *record, e); }, EISDIR},
        {"empty path", [&](int* e) { return GetParam().byRecord("", *record, e); }, ENOENT},
        {"null path", [&](int* e) { return GetParam().byRecord(nullptr, *record, e); }, EINVAL},
        {"too many points", [&](int* e) { return GetParam().byRecord(target.c_str(), *overfull, e); }, EINVAL},
        {"negative count", [&](int* e) { return GetParam().byRecord(target.c_str(), *negative, e); }, EINVAL},
        {"index below table", [&](int* e) { return GetParam().byIndex(target.c_str(), -1, e); }, EINVAL},
        {"index past table", [&](int* e) { return GetParam().byIndex(target.c_str(), MaxRecords, e); }, EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int error = 0;
        EXPECT_EQ(c.call(&error), -1);
        EXPECT_EQ(error, c.error) << strerror(error);
        EXPECT_EQ(c.call(nullptr), -1);
        EXPECT_TRUE(Entries(dir_).empty());
    }
}

TEST_P(WritersTest, ReadOnlyFolderOrTargetLeavesTargetUntouched)
{
    const auto record = FullRecord();
    const std::string target = Path("out");
    const struct {
        const char* what;
        unsigned folderMode, targetMode;
    } cases[] = {{"read-only folder", 0555, 0644}, {"read-only target", 0777, 0444}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::permissions(dir_, fs::perms(0755));
        fs::remove(target);
        WriteBytes(target, "old content");
        fs::permissions(target, fs::perms(c.targetMode));
        fs::permissions(dir_, fs::perms(c.folderMode));
        const ChildOutcome outcome = RunInChild([&] {
            if (!DropRootPrivileges())
                return ChildOutcome{};
            ChildOutcome result;
            result.result = GetParam().byRecord(target.c_str(), *record, &result.error);
            return result;
        });
        EXPECT_EQ(outcome.result, -1);
        EXPECT_EQ(outcome.error, EACCES) << strerror(outcome.error);
        EXPECT_EQ(ReadWholeFile(target), "old content");
        EXPECT_EQ(Entries(dir_), std::vector<std::string>{"out"});
    }
}

TEST_P(WritersTest, FileSizeLimitFailsAndLeavesTargetUntouched)
{
    const auto record = FullRecord();
    const std::string target = Path("out");
    WriteBytes(target, "old content");
    const ChildOutcome outcome = RunInChild([&] {
        const rlimit limit{4096, 4096};
        if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return ChildOutcome{};
        ChildOutcome result;
        result.result = GetParam().byRecord(target.c_str(), *record, &result.error);
        return result;
    });
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.error, EFBIG) << strerror(outcome.error);
    EXPECT_EQ(ReadWholeFile(target), "old content");
    EXPECT_EQ(Entries(dir_), std::vector<std::string>{"out"});
}

// An export interrupted by SIGINT, SIGTERM or SIGHUP leaves no temporary file beside the target.
TEST_F(WriterTest, SignalDuringAnExportRemovesItsTemporary)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const std::string target = Path("out.dxf");
        const pid_t child = fork();
        if (child == 0) {
            RemoveTemporariesOnSignals();
            SafeFile file;
            int error = 0;
            if (file.Open(target.c_str(), &error) != 0 || file.Write("0\nSECTION\n", 10, &error) != 0)
                _exit(1);
            (void)!write(ready[1], "x", 1);
            for (;;)
                pause();
        }
        close(ready[1]);
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        EXPECT_EQ(Entries(dir_).size(), 1u);  // the temporary, mid-export
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_TRUE(Entries(dir_).empty());
    }
}

// A FIFO, socket or device is never opened, so no export can block on one; the converter may
// still write /dev/null and /dev/stdout in place, and their write errors are reported.
TEST_P(WritersTest, TargetsThatAreNotFilesAreRefusedWithoutBlocking)
{
    const auto record = FullRecord();
    const std::string fifo = Path("x.dxf");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const ChildOutcome window = RunInChild([&] {
        alarm(10);  // a FIFO without a reader would block an open for ever
        ChildOutcome result;
        for (const char* target : {fifo.c_str(), "/dev/null", "/dev/full", "/dev/stdout"}) {
            result.result = GetParam().byRecord(target, *record, &result.error);
            if (result.result != -1 || result.error != NotRegularFileError)
                return result;
        }
        return result;
    });
    EXPECT_EQ(window.result, -1);
    EXPECT_EQ(window.error, NotRegularFileError) << ExportErrorText(window.error);

    const ChildOutcome converter = RunInChild([&] {
        alarm(10);
        AllowStandardStreamTargets(true);
        ChildOutcome result;
        result.result = GetParam().byRecord(fifo.c_str(), *record, &result.error);
        if (result.result != -1 || result.error != NotRegularFileError)
            return result;
        result.result = GetParam().byRecord("/dev/null", *record, &result.error);
        if (result.result != 0)
            return result;
        // Standard output on a full device: the write error comes back.
        const int full = open("/dev/full", O_WRONLY);
        if (full < 0 || dup2(full, STDOUT_FILENO) < 0)
            return ChildOutcome{};
        result.result = GetParam().byRecord("/dev/stdout", *record, &result.error);
        return result;
    });
    EXPECT_EQ(converter.result, -1);
    EXPECT_EQ(converter.error, ENOSPC) << ExportErrorText(converter.error);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Entries(dir_), std::vector<std::string>{"x.dxf"});
}

// A locale by name; when the system lacks it, generated with localedef into a folder shared
// by test runs, which LOCPATH then names. False when neither works.
bool ProvideLocale(const std::string& source, const std::string& name)
{
    const auto available = [&] {
        const locale_t found = newlocale(LC_ALL_MASK, name.c_str(), locale_t(0));
        if (found != locale_t(0))
            freelocale(found);
        return found != locale_t(0);
    };
    unsetenv("LOCPATH");
    if (available())
        return true;
    // glibc remembers a failed lookup per folder, so the folder is named only once it holds
    // the locale, and not while looking for the system's one. It is generated aside and renamed into place: a concurrent run never sees
    // half of it.
    const std::string folder = testing::TempDir() + "varnel-test-locales";
    if (!fs::exists(folder + "/" + name)) {
        fs::create_directories(folder);
        std::string scratch = folder + "/build-XXXXXX";
        if (mkdtemp(scratch.data()) == nullptr)
            return false;
        const std::string command =
            "localedef -i " + source + " -f UTF-8 '" + scratch + "/" + name + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != -1)
            rename((scratch + "/" + name).c_str(), (folder + "/" + name).c_str());
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }
    setenv("LOCPATH", folder.c_str(), 1);
    return available();
}

TEST_F(WriterTest, NumbersDoNotDependOnTheProcessLocale)
{
    const auto record = FullRecord();
    const std::string dxfReference = Path("reference.dxf"), csvReference = Path("reference.csv");
    ASSERT_EQ(WriteDxfFile(dxfReference.c_str(), *record), 0);
    ASSERT_EQ(ExportPointFile(csvReference.c_str(), *record), 0);

    // German: decimal comma, digits grouped with a point. Pashto: the Arabic decimal separator.
    const std::pair<const char*, const char*> locales[] = {{"de_DE", "de_DE.UTF-8"}, {"ps_AF", "ps_AF.UTF-8"}};
    for (const auto& [source, name] : locales) {
        SCOPED_TRACE(name);
        if (!ProvideLocale(source, name)) {
            ADD_FAILURE() << "locale " << name << " is neither installed nor can be generated";
            continue;
        }
        // Sets the C locale as well as the C++ one.
        std::locale::global(std::locale(name));
        char decimal[8];
        snprintf(decimal, sizeof decimal, "%.1f", 0.5);
        EXPECT_STRNE(decimal, "0.5");
        const std::string dxf = Path("localized.dxf"), csv = Path("localized.csv");
        const int dxfResult = WriteDxfFile(dxf.c_str(), *record);
        const int csvResult = ExportPointFile(csv.c_str(), *record);
        std::locale::global(std::locale::classic());
        ASSERT_EQ(dxfResult, 0);
        ASSERT_EQ(csvResult, 0);
        EXPECT_TRUE(ReadWholeFile(dxf) == ReadWholeFile(dxfReference));
        EXPECT_TRUE(ReadWholeFile(csv) == ReadWholeFile(csvReference));
    }
    unsetenv("LOCPATH");
}

}  // namespace

// glibc's newlocale leaks its copy of LOCPATH (a few bytes per call), which only the generated
// test locales set. Read by LeakSanitizer when the tests are built with it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:__argz_add_sep\n";
}
