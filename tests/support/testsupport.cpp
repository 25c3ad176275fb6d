#include "tests/support/testsupport.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "geo/datum.h"

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const char* prefix, const char* parent)
{
    if (parent == nullptr) parent = std::getenv("TMPDIR");
    std::string pattern = std::string(parent && *parent ? parent : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    path_ = pattern;
    // Readable by every user: a test may drop its privileges.
    fs::permissions(path_, fs::perms(0755));
}

ScratchFolder::~ScratchFolder()
{
    // A test may have taken the owner's rights to a folder away; without them nothing in it goes.
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    // A sub-folder gets its rights back before the walk goes into it; the walk never throws.
    std::error_code walk;
    for (fs::recursive_directory_iterator it(path_, fs::directory_options::skip_permission_denied, walk), end;
         !walk && it != end; it.increment(walk))
        if (it->symlink_status(ignored).type() == fs::file_type::directory)  // never through a link
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string ScratchFolder::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

ChildOutcome RunInChild(const std::function<ChildOutcome()>& call)
{
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const ChildOutcome outcome = call();
        const bool sent = write(channel[1], &outcome, sizeof outcome) == sizeof outcome;
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    ChildOutcome outcome;
    if (child < 0 || read(channel[0], &outcome, sizeof outcome) != sizeof outcome) outcome = {};
    close(channel[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return outcome;
}

bool DropRootPrivileges()
{
    constexpr gid_t Nogroup = 65534;
    constexpr uid_t Nobody = 65534;
    return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(Nogroup) == 0 && setuid(Nobody) == 0);
}

std::unique_ptr<MeasureRecord> FullRecord()
{
    constexpr double CentreLat = 22.55, CentreLon = 114.05;
    // The centre in drawing form {easting, −northing}, as the loader projects it (zone 38).
    constexpr double CentreX = 505142.962, CentreY = -2494705.043;
    constexpr double RadiusM = 1000;
    auto record = std::make_unique<MeasureRecord>();
    record->pointCount = MaxPointCount;
    for (int i = 0; i < MaxPointCount; ++i) {
        const double angle = 2 * std::numbers::pi * i / MaxPointCount;
        TrackPoint& p = record->points[i];
        p = {CentreLon + 0.01 * std::cos(angle), CentreLat + 0.01 * std::sin(angle), 0};
        WgsToBd(p.lat, p.lon, &record->mapPoints[i].lat, &record->mapPoints[i].lon);
        record->planePoints[i] = {CentreX + RadiusM * std::cos(angle), CentreY - RadiusM * std::sin(angle)};
    }
    WgsToBd(CentreLat, CentreLon, &record->mapCenterLat, &record->mapCenterLon);
    record->minX = CentreX - RadiusM;
    record->maxX = CentreX + RadiusM;
    record->minY = CentreY - RadiusM;
    record->maxY = CentreY + RadiusM;
    record->width = record->height = record->extent = 2 * RadiusM;
    return record;
}

namespace {

std::string Checksummed(const std::string& body)
{
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

}  // namespace

std::string RecordFileText(LineKind kind)
{
    std::string text;
    char line[128];
    for (int i = 0; i < MaxPointCount; ++i) {
        const double lat = 34.8 + 0.0004 * std::sin(i * 0.01), lon = 113.6 + 0.0005 * std::cos(i * 0.01);
        const int h = 10 + i / 3600, m = (i / 60) % 60, s = i % 60;
        switch (kind) {
        case RmcSentence: {
            const double latDm = 3448.0 + (lat - 34.8) * 60.0, lonDm = 11336.0 + (lon - 113.6) * 60.0;
            std::snprintf(line, sizeof line, "GPRMC,%02d%02d%02d.00,A,%.5f,N,%.5f,E,1.2,45.0,110426,,,A", h, m, s,
                          latDm, lonDm);
            text += Checksummed(line);
            break;
        }
        case DatedPoint:
            std::snprintf(line, sizeof line, "2026-04-11,%02d:%02d:%02d,%.7f,%.7f\r\n", h, m, s, lat, lon);
            text += line;
            break;
        default:
            std::snprintf(line, sizeof line, "%014d,%10.7f,%10.6f\r\n", i + 1, lat, lon);
            text += line;
            break;
        }
    }
    return text;
}

std::string SmallFieldText(int n)
{
    const double lat = 34.8 + 0.001 * (n % 100), lon = 113.6 + 0.001 * (n / 100);
    const double corners[][2] = {{0, 0}, {0.0009, 0}, {0.0009, 0.0011}, {0, 0.0011}};
    std::string text;
    for (int i = 0; i < 12; ++i) {
        const double* a = corners[i / 3];
        const double* b = corners[(i / 3 + 1) % 4];
        const double f = (i % 3) / 3.0;
        char line[96];
        std::snprintf(line, sizeof line, "2026-04-11,10:%02d:%02d,%.7f,%.7f\r\n", 20 + n % 30, i,
                      lat + a[0] + f * (b[0] - a[0]), lon + a[1] + f * (b[1] - a[1]));
        text += line;
    }
    return text;
}

std::string SmallFieldName(int n)
{
    char name[64];
    std::snprintf(name, sizeof name, "TRACK-%05d_2026-04-11 102030.nmea", n);
    return name;
}

ScopedTimeZone::ScopedTimeZone(const char* zone)
{
    const char* now = std::getenv("TZ");
    hadZone_ = now != nullptr;
    if (now) previous_ = now;
    setenv("TZ", zone, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone()
{
    if (hadZone_)
        setenv("TZ", previous_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
