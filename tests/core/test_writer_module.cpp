// The writers loaded at run time: what the loader refuses, and the converter with a GIS module
// that is missing, broken or left by another version.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "export/record_formats.h"
#include "export/writer_module.h"
#include "tests/support/testsupport.h"

namespace {

namespace fs = std::filesystem;

const char kField[] =
    "2018-04-11,10:20:01,22.5000000,113.9000000\r\n"
    "2018-04-11,10:20:02,22.5010000,113.9000000\r\n"
    "2018-04-11,10:20:03,22.5010000,113.9010000\r\n";

const std::string kStale = VARNEL_STALE_MODULES;

// A module file the program finds in place of its own, and what the refusal must say besides
// the file's name.
struct BadModule {
    const char* what;
    std::string source;  // a file copied into place, or else
    std::string bytes;   // these bytes; neither: no file at all
    const char* reason;
    bool fifo = false;   // a FIFO instead, which must not block the program
};

void Place(const BadModule& bad, const std::string& path)
{
    fs::create_directories(fs::path(path).parent_path());
    if (!bad.source.empty()) fs::copy_file(bad.source, path);
    if (!bad.bytes.empty()) std::ofstream(path, std::ios::binary) << bad.bytes;
    if (bad.fifo) ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
}

std::vector<BadModule> BadModules()
{
    const std::string gis = WriterModuleFolder() + "/varnel-gis.so";
    return {
        {"missing", "", "", "No such file"},
        {"not a library", "", std::string(4096, '#'), "not a shared object"},
        {"cut short", "", ReadWholeFile(gis).substr(0, 4096), "cut short (4096 bytes)"},
        {"another program version", kStale + "/stale_version_module.so", "", "another version (version 0.0.9"},
        {"another interface", kStale + "/stale_interface_module.so", "", "another version (interface 2)"},
        {"a pipe", "", "", "not a regular file", true},
    };
}

TEST(WriterModule, OwnModulesLoadAndWriteThroughTheTable)
{
    std::string why;
    ASSERT_TRUE(LoadWriterModule(WriterModule::Gis, &why)) << why;
    const ScratchFolder scratch("varnel-module");
    const auto record = std::make_unique<MeasureRecord>();
    ASSERT_EQ(LoadRecordFile(scratch.Write("f.nmea", kField).c_str(), *record), 0);
    const RecordFormat* gpkg = FindRecordFormat(RecordFormats(), "gpkg");
    int error = 0;
    EXPECT_EQ(gpkg->writer(scratch.File("f.gpkg").c_str(), *record, &error), 0) << error;
    EXPECT_EQ(ReadWholeFile(scratch.File("f.gpkg")).substr(0, 15), "SQLite format 3");
}

TEST(WriterModule, RefusesWhatIsNotAModuleOfThisBuild)
{
    const ScratchFolder scratch("varnel-module");
    for (const BadModule& bad : BadModules()) {
        SCOPED_TRACE(bad.what);
        const std::string file = scratch.File(std::string(bad.what) + "/varnel-gis.so");
        Place(bad, file);
        std::string why;
        EXPECT_EQ(OpenWriterModule(file, why), nullptr);
        EXPECT_NE(why.find(file), std::string::npos) << why;
        EXPECT_NE(why.find(bad.reason), std::string::npos) << why;
    }
}

// The converter installed with a bad GIS module: the GIS exports fail with the reason, and
// everything else of the run is done.
TEST(WriterModule, ConverterWithABadGisModuleStillDoesTheRest)
{
    for (const BadModule& bad : BadModules()) {
        SCOPED_TRACE(bad.what);
        const ScratchFolder scratch("varnel-module");
        const std::string program = scratch.File("bin/varnel-convert");
        fs::create_directories(scratch.File("bin"));
        fs::copy_file(VARNEL_CONVERT, program);
        Place(bad, scratch.File("bin/" VARNEL_MODULE_FOLDER_FROM_PROGRAM "/varnel-gis.so"));
        const std::string record = scratch.Write("field.nmea", kField);
        fs::create_directories(scratch.File("out"));

        const std::string command = "'" + program + "' '" + record + "' --out-dir '" + scratch.File("out") +
                                    "' --formats dxf,gpkg,csv >" + scratch.File("out.txt") + " 2>" + scratch.File("err.txt");
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string err = ReadWholeFile(scratch.File("err.txt"));
        EXPECT_EQ(err.rfind("varnel-convert: cannot load the GIS writer: ", 0), 0u) << err;
        EXPECT_NE(err.find(bad.reason), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "said once: " << err;
        EXPECT_EQ(ReadWholeFile(scratch.File("out.txt")).rfind("field.nmea\t", 0), 0u);
        EXPECT_EQ(FolderEntries(scratch.File("out")), (std::vector<std::string>{"field.csv", "field.dxf"}));
    }
}

}  // namespace
