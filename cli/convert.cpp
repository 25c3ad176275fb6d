// varnel-convert: loads record files without the window and prints or exports what they hold.
#include "cli/convert.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/convert_archive.h"
#include "cli/printable.h"
#include "cli/publish_run.h"
#include "export/record_formats.h"
#include "export/safe_file.h"
#include "export/writer_module.h"
#include "import/folder_import.h"
#include "import/loader.h"
#include "import/name_text.h"
#include "import/record.h"
#include "import/record_geodesy.h"
#include "import/record_labels.h"
#include "import/record_time.h"
#include "import/recordplace.h"

namespace {

const char kUsage[] =
    "Usage: varnel-convert [--json [--points]] PATH...\n"
    "       varnel-convert FILE [--dxf OUT.dxf] [--csv OUT.csv] [--gis OUT.gpkg] [--report OUT.pdf]\n"
    "       varnel-convert PATH... --out-dir DIR [--formats dxf,csv,...]\n"
    "       varnel-convert --publish CONN PATH...\n"
    "       varnel-convert --archive DB PATH...\n"
    "       varnel-convert --from-archive DB [--since DATE] [--customer NAME] ... [--json | --out-dir DIR]\n"
    "       varnel-convert --backup-archive DB OUT\n"
    "\n"
    "Loads instrument record files and prints one line per loaded measurement.\n"
    "A PATH is a record file or a folder; of a folder, the files whose name contains\n"
    "\".nmea\" are loaded in name order (sub-folders are not searched).\n"
    "\n"
    "Default output, one tab-separated line per record: file name, date and time, type\n"
    "(Area, Vehicle, Distance), area in m², area in mu, walked (curve) length and\n"
    "straight length in metres, number of points.\n"
    "\n"
    "  --json     one JSON object per record and line (JSON Lines), keys named after the\n"
    "             record's fields: path, nameKey, type, year, month, day, hour, minute,\n"
    "             second, pointCount, area, areaMu, curveLength, straightLength, calcArea,\n"
    "             calcAreaMu, calcCurveLength, calcStraightLength, mapCenterLat,\n"
    "             mapCenterLon, minX, minY, maxX, maxY, width, height, extent; and\n"
    "             geodesicArea, geodesicAreaMu, geodesicPerimeter: the area (m², mu) and\n"
    "             closed perimeter (m) on the WGS-84 ellipsoid, beside the plane figures;\n"
    "             and place, the named place nearest the record's centre (GeoNames,\n"
    "             offline): {\"name\",\"province\",\"country\",\"distance\"} in UTF-8 and\n"
    "             metres, or null when none lies within 300 km.\n"
    "             datetime: the record's time in ISO 8601 with its offset (year ... second\n"
    "             are local time: an RMC fix's UTC in the system's time zone), or null.\n"
    "             Numbers are written in their shortest form that reads back exactly.\n"
    "             Bytes of a path that are not UTF-8 are written as \\u00XX escapes.\n"
    "  --points   with --json: adds \"points\", per point in record order\n"
    "             {\"lat\",\"lon\",\"stamp\",\"mapLat\",\"mapLon\",\"x\",\"y\"}: WGS-84 degrees,\n"
    "             the time stamp, BD-09 map degrees, and plane metres in drawing form\n"
    "             (x = easting, y = -northing).\n"
    "  --dxf OUT  writes the loaded record's outline as a DXF drawing (AC1009, one LINE\n"
    "             per pair of consecutive points, plane metres); only with a single FILE.\n"
    "  --csv OUT  writes the loaded record's points as \"latitude,longitude\" lines\n"
    "             (WGS-84, six decimals, every point but the last); only with a single FILE.\n"
    "  --gis OUT  writes the loaded record as a GIS file in WGS-84, the format chosen by\n"
    "             OUT's extension: .gpkg (GeoPackage), .shp (ESRI Shapefile, with its .shx,\n"
    "             .dbf, .prj and .cpg, and OUT_points.* for the points), .kml, .geojson or\n"
    "             .gpx; only with a single FILE. A Shapefile name holding any of\n"
    "             : \" < > ? * \\ | is refused: its files would get another name.\n"
    "  --report OUT\n"
    "             writes the loaded record's measurement report, one A4 page of PDF; only\n"
    "             with a single FILE.\n"
    "  --out-dir DIR\n"
    "             writes NAME.SUFFIX into DIR for every loaded record and every format of\n"
    "             --formats, NAME being the record file's name without its extension.\n"
    "             Existing files are replaced; a failed write leaves them as they were. A\n"
    "             record that would write a file an earlier one wrote (the same NAME, as\n"
    "             x.nmea and x.nmea1, or a Shapefile's NAME_points.*) fails instead of\n"
    "             replacing the first's exports.\n"
    "  --formats LIST\n"
    "             with --out-dir: the formats, comma-separated (default dxf,csv). Formats\n"
    "             with -cgcs2000 hold plane coordinates of the record's CGCS2000 3-degree\n"
    "             Gauss-Kruger zone (EPSG:4513-4533) instead of WGS-84.\n"
    "  --publish CONN\n"
    "             sends the loaded records to a shared PostgreSQL database with PostGIS,\n"
    "             CONN as libpq takes it (\"postgresql://user@host:5432/db\" or\n"
    "             \"host=... dbname=...\"); the password from CONN, PGPASSWORD or ~/.pgpass,\n"
    "             else asked for on the terminal. Makes the tables when missing. A record\n"
    "             already on the server (the same file bytes) is not sent again; a run\n"
    "             broken off leaves no part of a batch, and the next run sends the rest.\n"
    "             Prints \"published N records to USER@HOST, M already on the server\"\n"
    "             instead of the records. CONN's connect_timeout bounds every wait\n"
    "             (default 30 s).\n"
    "%s"
    "  --help     this text.\n"
    "\n"
    "A file that does not load, or an export that cannot be written, is named on standard\n"
    "error with the reason; so is a failed write to standard output. Control bytes in\n"
    "names are printed as escapes (\\n, \\t, \\x1b), C1 and bidirectional controls too\n"
    "(\\u009b, \\u202e). An export target that is a pipe, socket or device is refused\n"
    "(but /dev/null and /dev/stdout); one that is a symbolic link is written through.\n"
    "An export interrupted by a signal leaves no temporary file behind.\n"
    "Exit status: 0 when every PATH loaded, 1 when any file failed, 2 for a usage error.\n";

struct Export {
    const RecordFormat* format;
    std::string target;
};

struct Options {
    bool json = false;
    bool points = false;
    std::vector<Export> single;  // --dxf, --csv, --gis, --report
    std::string outDir;
    std::vector<const RecordFormat*> outDirFormats;
    std::vector<std::string> paths;
    std::string publish;  // --publish CONN
    ArchiveOptions archive;
};

std::span<const RecordFormat> Formats()
{
    return RecordFormats();
}

std::string FormatIds()
{
    std::string ids;
    for (const RecordFormat& format : Formats()) ids += std::string(ids.empty() ? "" : ", ") + format.id;
    return ids;
}

const char* FailureText(LoadFailure why)
{
    switch (why) {
    case LoadFailure::NotRecordName: return "not a record file name";
    case LoadFailure::PathTooLong: return "path too long";
    case LoadFailure::CannotOpen: return "cannot be opened";
    case LoadFailure::CannotRead: return "cannot be read";
    case LoadFailure::NoPoints: return "no point line";
    case LoadFailure::None: break;
    }
    return "not loaded";
}

const char* FileName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Standard output's first write error, reported once at the end.
int outputError = 0;
// Whether the run owns the process: then it ends standard output with fclose (whose error is a
// lost write too) and installs its signal handlers; inside another process it only flushes.
bool ownsProcess = true;

void Output(const void* data, size_t size)
{
    if (std::fwrite(data, 1, size, stdout) != size && outputError == 0) outputError = errno ? errno : EIO;
}

void PutNumber(std::string& out, double v)
{
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v);
    out.append(text, result.ptr);
}

void PutInteger(std::string& out, long long v)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, v);
    out.append(text, result.ptr);
}

void PutString(std::string& out, const char* text)
{
    out += '"';
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        const unsigned char c = *s;
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++s;
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
            ++s;
        } else if (c < 0x80) {
            out += char(c);
            ++s;
        } else if (const size_t n = Utf8SequenceLength(reinterpret_cast<const char*>(s))) {
            if (const unsigned codePoint = Utf8CodePoint(s, n); IsHiddenControl(codePoint)) {
                std::snprintf(escape, sizeof escape, "\\u%04x", codePoint);
                out += escape;
            } else {
                out.append(reinterpret_cast<const char*>(s), n);
            }
            s += n;
        } else {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
            ++s;
        }
    }
    out += '"';
}

void PutKey(std::string& out, const char* key)
{
    if (out.back() != '{') out += ',';
    out += '"';
    out += key;
    out += "\":";
}

// archived: "new" or "known" when the record was stored in an archive, else nullptr.
void PrintJson(const MeasureRecord& r, bool withPoints, const char* archived)
{
    std::string out = "{";
    PutKey(out, "path"), PutString(out, r.path);
    PutKey(out, "nameKey"), PutInteger(out, r.nameKey);
    PutKey(out, "type"), PutInteger(out, r.type);
    const std::pair<const char*, int> integers[] = {
        {"year", r.year}, {"month", r.month}, {"day", r.day}, {"hour", r.hour},
        {"minute", r.minute}, {"second", r.second}, {"pointCount", r.pointCount}};
    for (const auto& [key, value] : integers) PutKey(out, key), PutInteger(out, value);
    const std::pair<const char*, double> numbers[] = {
        {"area", r.area}, {"areaMu", r.areaMu}, {"curveLength", r.curveLength},
        {"straightLength", r.straightLength}, {"calcArea", r.calcArea}, {"calcAreaMu", r.calcAreaMu},
        {"calcCurveLength", r.calcCurveLength}, {"calcStraightLength", r.calcStraightLength},
        {"mapCenterLat", r.mapCenterLat}, {"mapCenterLon", r.mapCenterLon}, {"minX", r.minX},
        {"minY", r.minY}, {"maxX", r.maxX}, {"maxY", r.maxY}, {"width", r.width},
        {"height", r.height}, {"extent", r.extent}};
    for (const auto& [key, value] : numbers) PutKey(out, key), PutNumber(out, value);
    const RecordGeodesicFigures geodesic = RecordGeodesic(r);
    PutKey(out, "geodesicArea"), PutNumber(out, geodesic.geodesicArea);
    PutKey(out, "geodesicAreaMu"), PutNumber(out, geodesic.geodesicAreaMu);
    PutKey(out, "geodesicPerimeter"), PutNumber(out, geodesic.geodesicPerimeter);
    PutKey(out, "place");
    if (Place place{}; RecordNearestPlace(r, &place) == 0) {
        out += '{';
        PutKey(out, "name"), PutString(out, place.name);
        PutKey(out, "province"), PutString(out, place.province);
        PutKey(out, "country"), PutString(out, place.country);
        PutKey(out, "distance"), PutNumber(out, place.distance);
        out += '}';
    } else {
        out += "null";
    }
    // The record's time with its zone (year … second are local, an RMC stamp converted from UTC). with its zone (year … second are local, an RMC stamp converted from UTC).
    PutKey(out, "datetime");
    if (CivilTime t; RecordTime(r, t))
        PutString(out, Iso8601(t).c_str());
    else
        out += "null";
    if (withPoints) {
        PutKey(out, "points");
        out += '[';
        for (int i = 0; i < r.pointCount; ++i) {
            if (i) out += ',';
            const GeoPoint map = MapPointOf(r, i);
            out += '{';
            PutKey(out, "lat"), PutNumber(out, r.points[i].lat);
            PutKey(out, "lon"), PutNumber(out, r.points[i].lon);
            PutKey(out, "stamp"), out += std::to_string(r.points[i].stamp);
            PutKey(out, "mapLat"), PutNumber(out, map.lat);
            PutKey(out, "mapLon"), PutNumber(out, map.lon);
            PutKey(out, "x"), PutNumber(out, r.planePoints[i].first);
            PutKey(out, "y"), PutNumber(out, r.planePoints[i].second);
            out += '}';
        }
        out += ']';
    }
    if (archived) PutKey(out, "archive"), PutString(out, archived);
    out += "}\n";
    Output(out.data(), out.size());
}

void PrintLine(const MeasureRecord& r, const char* archived)
{
    char figures[512];
    const int n = std::snprintf(figures, sizeof figures,
                                "\t%04d-%02d-%02d %02d:%02d:%02d\t%s\t%.0f m²\t%.2f mu\t%.2f m\t%.2f m\t%d points\n",
                                r.year, r.month, r.day, r.hour, r.minute, r.second, MeasureTypeName(r.type), r.area,
                                r.areaMu, r.curveLength, r.straightLength, r.pointCount);
    std::string line = Printable(FileName(r.path));
    line.append(figures, n > 0 ? std::min<size_t>(size_t(n), sizeof figures - 1) : 0);
    if (archived) line.insert(line.size() - 1, std::string("\t") + archived);
    Output(line.data(), line.size());
}

// Ends standard output; false, with the message, when anything written to it was lost.
bool CloseOutput()
{
    errno = 0;
    if (std::fflush(stdout) != 0 && outputError == 0) outputError = errno ? errno : EIO;
    if (std::ferror(stdout) && outputError == 0) outputError = EIO;
    if (ownsProcess && std::fclose(stdout) != 0 && outputError == 0) outputError = errno ? errno : EIO;
    if (outputError == 0) return true;
    std::fprintf(stderr, "varnel-convert: cannot write output: %s\n", std::strerror(outputError));
    return false;
}

// The loader wants a path with a separator; a bare name means the current folder.
std::string LoaderPath(const std::string& path)
{
    return path.find('/') == std::string::npos ? "./" + path : path;
}

// What the command line names: each PATH's files, in order, a folder's in name order.
struct FileList {
    std::vector<std::string> paths;
    std::vector<int> folder;  // per file: the index of the folder argument it came from, or −1
    std::vector<std::string> folders;
};

bool Expand(const std::string& path, FileList& list)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
        list.paths.push_back(LoaderPath(path));
        list.folder.push_back(-1);
        return true;
    }
    std::vector<std::string> names;
    if (ListRecordFolder(path.c_str(), FolderOrder::Name, names) != 0) {
        std::fprintf(stderr, "varnel-convert: %s: %s\n", Printable(path.c_str()).c_str(), std::strerror(errno));
        return false;
    }
    const std::string folder = LoaderPath(path.back() == '/' ? path : path + "/");
    for (const auto& name : names) {
        list.paths.push_back(folder + name);
        list.folder.push_back(int(list.folders.size()));
    }
    list.folders.push_back(path);
    return true;
}

// NAME of NAME.ext.
std::string Stem(const char* path)
{
    const std::string name = FileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool Write(const RecordFormat& format, const std::string& target, const MeasureRecord& record)
{
    int error = 0;
    if (format.writer(target.c_str(), record, &error) == 0) return true;
    std::string reason = error ? ExportErrorText(error) : "unknown error";
    if (error == NameCharactersError) reason += ": " + Printable(RecordFormatRefusedCharacters(format, target).c_str());
    std::fprintf(stderr, "varnel-convert: %s: cannot be written: %s\n", Printable(target.c_str()).c_str(), reason.c_str());
    return false;
}

// The record file each file of an --out-dir run was exported from, by the file's name.
using ExportedFiles = std::map<std::string, std::string>;

bool ExportRecord(const Options& options, const MeasureRecord& record, ExportedFiles& exported)
{
    bool ok = true;
    for (const Export& e : options.single) ok &= Write(*e.format, e.target, record);
    if (!options.outDir.empty()) {
        // x.nmea, x.nmea1 and x.nmea~ all export to x.*, and a.nmea's Shapefile writes the
        // a_points.* of a_points.nmea: whatever would replace an earlier record's file fails.
        const std::string base = options.outDir + "/" + Stem(record.path);
        std::vector<std::string> files;
        for (const RecordFormat* format : options.outDirFormats)
            for (std::string& file : RecordFormatFiles(*format, base + "." + format->suffix)) files.push_back(std::move(file));
        for (const std::string& file : files) {
            if (const auto earlier = exported.find(file); earlier != exported.end()) {
                std::fprintf(stderr, "varnel-convert: %s: would overwrite the export of %s\n",
                             Printable(record.path).c_str(), Printable(earlier->second.c_str()).c_str());
                return false;
            }
        }
        for (const std::string& file : files) exported.emplace(file, record.path);
        for (const RecordFormat* format : options.outDirFormats)
            ok &= Write(*format, base + "." + format->suffix, record);
    }
    return ok;
}

// Loads the modules of the formats asked for. One that cannot be loaded is named with the
// reason and its exports are dropped, the rest of the run goes on; false when that happened.
bool LoadExportModules(Options& options)
{
    std::vector<WriterModule> failed;
    const auto unavailable = [&](const RecordFormat* format) {
        if (std::find(failed.begin(), failed.end(), format->module) != failed.end()) return true;
        std::string why;
        if (LoadWriterModule(format->module, &why)) return false;
        std::fprintf(stderr, "varnel-convert: cannot load the %s: %s\n", WriterModuleTitle(format->module),
                     Printable(why.c_str()).c_str());
        failed.push_back(format->module);
        return true;
    };
    std::erase_if(options.single, [&](const Export& e) { return unavailable(e.format); });
    std::erase_if(options.outDirFormats, unavailable);
    return failed.empty();
}

// The format an option writes OUT in, or nullptr after saying why there is none.
const RecordFormat* SingleFileFormat(const std::string& option, const std::string& out)
{
    const RecordFormat* format = nullptr;
    if (option == "--gis") {
        format = FormatForPath(Formats(), ExportCommand::Gis, out);
        if (format == nullptr)
            std::fprintf(stderr, "varnel-convert: --gis %s: the extension is none of .gpkg, .shp, .kml, .geojson, .gpx\n",
                         Printable(out.c_str()).c_str());
        return format;
    }
    format = FindRecordFormat(Formats(), option == "--dxf" ? "dxf" : option == "--csv" ? "csv" : "pdf");
    if (format == nullptr) std::fprintf(stderr, "varnel-convert: %s is not available in this build\n", option.c_str());
    return format;
}

// The rows named in list, comma-separated; false after saying what is wrong.
bool ParseFormats(const std::string& list, std::vector<const RecordFormat*>& rows)
{
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string id = list.substr(start, comma - start);
        const RecordFormat* format = FindRecordFormat(Formats(), id);
        if (format == nullptr) {
            std::fprintf(stderr, "varnel-convert: unknown format \"%s\" (formats: %s)\n", Printable(id.c_str()).c_str(),
                         FormatIds().c_str());
            return false;
        }
        for (const RecordFormat* earlier : rows)
            if (std::strcmp(earlier->suffix, format->suffix) == 0) {
                std::fprintf(stderr, "varnel-convert: formats %s and %s both write NAME.%s\n", earlier->id,
                             format->id, format->suffix);
                return false;
            }
        rows.push_back(format);
        start = comma + 1;
    }
    return true;
}

int ParseOptions(int argc, char** argv, Options& options)
{
    bool endOfOptions = false;
    std::string formats;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!endOfOptions && arg == "--") {
            endOfOptions = true;
        } else if (!endOfOptions && arg == "--help") {
            // Through Output, which keeps the first write's reason: the text is longer than the
            // output's buffer, so a full disk already fails it here.
            std::string help = kUsage;
            help.replace(help.find("%s"), 2, kArchiveUsage);
            help += "\nFormats: " + FormatIds() + ".\n";
            Output(help.data(), help.size());
            return 0;
        } else if (!endOfOptions && arg == "--json") {
            options.json = true;
        } else if (!endOfOptions && arg == "--points") {
            options.points = true;
        } else if (!endOfOptions && (arg == "--dxf" || arg == "--csv" || arg == "--gis" || arg == "--report" ||
                                     arg == "--out-dir" || arg == "--formats" || arg == "--publish")) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "varnel-convert: %s needs %s\n", Printable(arg.c_str()).c_str(),
                             arg == "--formats" ? "a list of formats"
                             : arg == "--publish" ? "a connection string"
                                                  : "a file name");
                return 2;
            }
            const std::string value = argv[++i];
            if (arg == "--out-dir") {
                options.outDir = value;
            } else if (arg == "--publish") {
                options.publish = value;
            } else if (arg == "--formats") {
                formats = value;
            } else if (const RecordFormat* format = SingleFileFormat(arg, value)) {
                options.single.push_back({format, value});
            } else {
                return 2;
            }
        } else if (const int archive = endOfOptions ? 0 : ParseArchiveOption(argc, argv, i, options.archive)) {
            if (archive == 2) return 2;
        } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "varnel-convert: unknown option %s\n", Printable(arg.c_str()).c_str());
            return 2;
        } else {
            options.paths.push_back(arg);
        }
    }
    if (const int status = CheckArchiveOptions(options.archive, !options.paths.empty())) return status;
    const bool fromArchive = !options.archive.fromArchive.empty() || !options.archive.backupFrom.empty();
    if (options.paths.empty() && !fromArchive) {
        std::fputs("varnel-convert: no PATH given (see --help)\n", stderr);
        return 2;
    }
    if (options.points && !options.json) {
        std::fputs("varnel-convert: --points needs --json\n", stderr);
        return 2;
    }
    if (!options.single.empty() && (options.paths.size() != 1 || !options.outDir.empty() || fromArchive)) {
        std::fputs("varnel-convert: --dxf, --csv, --gis and --report take a single FILE and no --out-dir\n", stderr);
        return 2;
    }
    if (!options.publish.empty() && (options.json || !options.single.empty() || !options.outDir.empty())) {
        std::fputs("varnel-convert: --publish takes PATHs only, no --json or exports\n", stderr);
        return 2;
    }
    if (!options.publish.empty() && (!options.archive.fromArchive.empty() || !options.archive.backupFrom.empty())) {
        // Publishing sends the records this run loads from PATHs; archived ones are not sent yet.
        std::fputs("varnel-convert: --publish does not take --from-archive or --backup-archive\n", stderr);
        return 2;
    }
    if (!formats.empty() && options.outDir.empty()) {
        std::fputs("varnel-convert: --formats needs --out-dir\n", stderr);
        return 2;
    }
    if (!options.outDir.empty() && !ParseFormats(formats.empty() ? "dxf,csv" : formats, options.outDirFormats))
        return 2;
    return -1;
}

}  // namespace

int ConvertMain(int argc, char** argv, bool asProgram)
{
    ownsProcess = asProgram;
    outputError = 0;
    std::clearerr(stdout);
    Options options;
    if (const int status = ParseOptions(argc, argv, options); status >= 0)
        return status == 0 && !CloseOutput() ? 1 : status;

    if (asProgram) {
        // A write that reaches the file size limit must fail like any other write error, not
        // end the process with a temporary file left behind.
        std::signal(SIGXFSZ, SIG_IGN);
        // An interrupted export leaves no temporary file.
        RemoveTemporariesOnSignals();
    }
    // /dev/null and /dev/stdout may be targets.
    AllowStandardStreamTargets(true);
    if (!options.archive.backupFrom.empty()) return BackupArchive(options.archive);

    bool anyFailed = false;
    FileList files;
    for (const auto& path : options.paths)
        if (!Expand(path, files)) anyFailed = true;
    if (!options.single.empty() && files.paths.size() > 1) {
        std::fputs("varnel-convert: --dxf, --csv, --gis and --report take a single record file, not a folder of several\n",
                   stderr);
        return 2;
    }
    if (!options.outDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(options.outDir, ec)) {
            std::fprintf(stderr, "varnel-convert: %s: %s\n", Printable(options.outDir.c_str()).c_str(),
                         ec ? ec.message().c_str() : "not a folder");
            return 1;
        }
    }

    // GDAL and Qt are loaded only for the exports that need them.
    if (!LoadExportModules(options)) anyFailed = true;

    // Prints each record as it is stored. A folder's other files are not named; a file named on
    // the command line is, whatever the reason.
    class Printer : public FolderImportObserver {
    public:
        Printer(const Options& options, const FileList& files, const RecordTable& table, ConvertArchive* archive)
            : m_options(options), m_files(files), m_table(table), m_archive(archive),
              m_recordFiles(files.folders.size())
        {
        }
        void Stored(int fileIndex, int tableIndex) override
        {
            const MeasureRecord& record = m_table.records[tableIndex];
            const char* archived = nullptr;
            if (m_archive) {
                const size_t file = size_t(m_first + fileIndex);
                const int folder = m_files.folder[file];
                archived = m_archive->Store(record, folder >= 0 ? m_files.folders[size_t(folder)] : m_files.paths[file]);
            }
            Print(record, archived);
            Count(fileIndex);
        }
        // Prints and exports a record, from a file or from the archive.
        void Print(const MeasureRecord& record, const char* archived)
        {
            // A publishing run prints its summary instead.
            if (m_options.publish.empty()) {
                if (m_options.json)
                    PrintJson(record, m_options.points, archived);
                else
                    PrintLine(record, archived);
            }
            if (!ExportRecord(m_options, record, m_exported)) failed = true;
        }
        void Skipped(int fileIndex, const std::string& path, LoadFailure why) override
        {
            if (why == LoadFailure::NotRecordName && m_files.folder[size_t(m_first + fileIndex)] >= 0) return;
            std::fprintf(stderr, "varnel-convert: %s: %s\n", Printable(path.c_str()).c_str(), FailureText(why));
            failed = true;
            Count(fileIndex);
        }
        // The next batch starts at this file of the whole list.
        void StartAt(int first) { m_first = first; }
        // Folders that held no record file at all.
        bool ReportEmptyFolders() const
        {
            bool any = false;
            for (size_t i = 0; i < m_recordFiles.size(); ++i) {
                if (m_recordFiles[i] > 0) continue;
                std::fprintf(stderr, "varnel-convert: %s: no record files in this folder\n",
                             Printable(m_files.folders[i].c_str()).c_str());
                any = true;
            }
            return any;
        }
        bool failed = false;

    private:
        void Count(int fileIndex)
        {
            const int folder = m_files.folder[size_t(m_first + fileIndex)];
            if (folder >= 0) ++m_recordFiles[size_t(folder)];
        }
        const Options& m_options;
        const FileList& m_files;
        const RecordTable& m_table;
        ConvertArchive* m_archive;
        std::vector<int> m_recordFiles;  // per folder: files that loaded or failed as record files
        ExportedFiles m_exported;
        int m_first = 0;
    };

    // The table holds MaxRecords; a longer list is imported in runs of that many records. Its
    // pages are touched only as records are stored.
    std::unique_ptr<PublishRun> publish;
    if (!options.publish.empty()) {
        publish = std::make_unique<PublishRun>();
        bool usageError = false;
        if (!publish->Open(options.publish, usageError)) return usageError ? 2 : 1;
    }

    auto table = std::make_unique_for_overwrite<RecordTable>();
    table->count = table->selected = 0;
    std::unique_ptr<ConvertArchive> archive;
    if (!options.archive.archive.empty()) {
        archive = std::make_unique<ConvertArchive>();
        if (!archive->Open(options.archive.archive)) anyFailed = true, archive.reset();
    }
    Printer printer(options, files, *table, archive.get());
    if (!options.archive.fromArchive.empty() &&
        !ForEachArchived(options.archive, [&printer](const MeasureRecord& record) { printer.Print(record, nullptr); }))
        anyFailed = true;
    std::vector<std::string> rest = files.paths;
    for (int first = 0; !rest.empty();) {
        printer.StartAt(first);
        const FolderImportResult run = ImportRecordFiles(rest, *table, &printer);
        if (publish && !publish->Send(*table)) {
            anyFailed = true;
            if (!publish->Connected()) break;
        }
        first += run.filesDone;
        rest.erase(rest.begin(), rest.begin() + run.filesDone);
    }
    if (archive && !archive->Finish()) anyFailed = true;
    if (printer.failed || printer.ReportEmptyFolders()) anyFailed = true;
    if (publish) {
        const std::string summary = publish->Summary();
        Output(summary.data(), summary.size());
    }
    FinishWriterModules();
    if (!CloseOutput()) anyFailed = true;
    return anyFailed ? 1 : 0;
}
