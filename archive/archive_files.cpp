// What the archive needs of files and times: its own path, a record file's bytes and hash, and
// the record's time with its offset.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "archive/archive_text.h"
#include "archive/record_archive.h"
#include "import/folder_import.h"
#include "import/loader.h"
#include "import/record_time.h"

std::string DefaultArchivePath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string folder;
    if (data && data[0] == '/') {
        folder = data;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home && home[0] ? home : ".") + "/.local/share";
    }
    return folder + "/Varnel/records.sqlite";
}

std::string Sha256Hex(std::string_view data)
{
    // OpenSSL's, for its use of the processor's SHA instructions: a device's 50 MB in a few
    // hundredths of a second.
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string hex(2 * sizeof digest, '0');
    for (size_t i = 0; i < sizeof digest; ++i) {
        hex[2 * i] = kHex[digest[i] >> 4];
        hex[2 * i + 1] = kHex[digest[i] & 15];
    }
    return hex;
}

bool ReadRecordFileBytes(const char* path, std::string& bytes)
{
    bytes.clear();
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return false;
    }
    bytes.resize(size_t(std::min<long long>(st.st_size, MaxRecordFileBytes)));
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            // The file may have grown since fstat; read on up to the loader's bound.
            if (filled >= size_t(MaxRecordFileBytes)) break;
            bytes.resize(std::min(filled + 65536, size_t(MaxRecordFileBytes)));
        }
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
        if (got == 0) break;
        filled += size_t(got);
    }
    ::close(fd);
    bytes.resize(filled);
    return true;
}

std::string RecordMeasuredAt(const MeasureRecord& record, int64_t* utc)
{
    CivilTime time{};
    if (RecordTime(record, time)) {
        if (utc) {
            const CivilTime inUtc = InUtc(time);
            std::tm fields{};
            fields.tm_year = inUtc.year - 1900, fields.tm_mon = inUtc.month - 1, fields.tm_mday = inUtc.day;
            fields.tm_hour = inUtc.hour, fields.tm_min = inUtc.minute, fields.tm_sec = inUtc.second;
            *utc = int64_t(timegm(&fields));
        }
        return Iso8601(time);
    }
    // No date and time: the fields as read, which the instrument got wrong, with no offset.
    if (utc) *utc = 0;
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", record.year, record.month, record.day,
                  record.hour, record.minute, record.second);
    return text;
}

std::string UtcOffsetText(long seconds)
{
    const long minutes = (seconds < 0 ? -seconds : seconds) / 60 % (100 * 60);
    char text[16];
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", seconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

bool LocalDateStart(const std::string& date, int64_t& utc, int addDays)
{
    int year = 0, month = 0, day = 0;
    char tail = 0;
    if (std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3) return false;
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day + addDays;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    if (when == std::time_t(-1)) return false;
    utc = int64_t(when);
    return true;
}

std::vector<std::string> RecordFileHashes(const char* folder)
{
    std::vector<std::string> names, hashes;
    if (ListRecordFolder(folder, FolderOrder::Name, names) != 0) return hashes;
    std::string bytes;
    for (const std::string& name : names) {
        if (name.find(".nmea") == std::string::npos) continue;
        if (ReadRecordFileBytes((std::string(folder) + "/" + name).c_str(), bytes)) hashes.push_back(Sha256Hex(bytes));
    }
    return hashes;
}
