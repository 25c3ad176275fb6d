#include "export/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace {

// Suffix bits for temporary names. Uniqueness comes from O_EXCL; these only make a clash,
// and the retry it costs, unlikely.
uint64_t NextNameBits()
{
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t x = (uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec)) ^
                 (uint64_t(getpid()) << 40) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

constexpr int NameBitsChars = 6;
constexpr int NameAttempts = 100;

// target + "." + six random characters, shortening the target's last component when the
// suffix would push it past NAME_MAX.
std::string TemporaryName(const std::string& target)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const size_t slash = target.rfind('/');
    const size_t baseLength = slash == std::string::npos ? target.size() : target.size() - slash - 1;
    const size_t room = NAME_MAX - 1 - NameBitsChars;
    std::string name = target.substr(0, target.size() - (baseLength > room ? baseLength - room : 0));
    name += '.';
    uint64_t bits = NextNameBits();
    for (int i = 0; i < NameBitsChars; ++i, bits /= sizeof alphabet - 1)
        name += alphabet[bits % (sizeof alphabet - 1)];
    return name;
}

// The temporaries of exports in progress, for the signal handler: fixed storage and lock-free
// states, so that it reads them without a lock or an allocation.
constexpr int TemporarySlots = 16;
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
enum SlotState : int { SlotFree, SlotFilling, SlotReady };
char temporaryPaths[TemporarySlots][PATH_MAX];
std::atomic<int> temporaryState[TemporarySlots];
std::atomic<bool> standardStreamsAllowed{false};

int RememberTemporary(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < TemporarySlots; ++i) {
        int expected = SlotFree;
        if (!temporaryState[i].compare_exchange_strong(expected, SlotFilling))
            continue;
        std::memcpy(temporaryPaths[i], path.c_str(), path.size() + 1);
        temporaryState[i].store(SlotReady);
        return i;
    }
    return -1;  // more exports at once than slots: this one is only removed by its owner
}

void ForgetTemporary(int slot)
{
    if (slot >= 0)
        temporaryState[slot].store(SlotFree);
}

extern "C" void RemoveTemporariesAndExit(int signal)
{
    for (int i = 0; i < TemporarySlots; ++i)
        if (temporaryState[i].load() == SlotReady)
            unlink(temporaryPaths[i]);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

bool IsStandardStreamTarget(const char* target)
{
    return std::strcmp(target, "/dev/null") == 0 || std::strcmp(target, "/dev/stdout") == 0;
}

}  // namespace

const char* ExportErrorText(int error)
{
    if (error == NotRegularFileError)
        return "not a regular file (a pipe, socket or device)";
    if (error == ModuleUnavailableError) return "the writer module of this format cannot be loaded";
    if (error == OutsideCgcsZonesError)
        return "the record lies outside the CGCS2000 3-degree zones 25-45 (73.5-136.5 degrees east); "
               "export it in WGS-84 instead";
    if (error == NameCharactersError)
        return "the name holds characters this format cannot keep in a file name";
    return std::strerror(error);
}

void AllowStandardStreamTargets(bool allow)
{
    standardStreamsAllowed.store(allow);
}

void RemoveTemporariesOnSignals()
{
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

int ReportFailure(int* error, int code)
{
    if (error != nullptr)
        *error = code;
    return -1;
}

SafeFile::~SafeFile()
{
    if (fd_ >= 0)
        close(fd_);
    if (temporary_)
        unlink(writePath_.c_str());
    ForgetTemporary(slot_);
}

int SafeFile::Open(const char* target, int* error)
{
    if (target == nullptr || fd_ >= 0)
        return ReportFailure(error, EINVAL);
    if (target[0] == '\0')
        return ReportFailure(error, ENOENT);
    target_ = target;

    struct stat existing {};
    const bool exists = stat(target, &existing) == 0;
    if (!exists && errno != ENOENT)
        return ReportFailure(error, errno);
    // A link is written through, to the file it names; one that names nothing is refused (as
    // cp refuses it) rather than replaced by a file or followed to wherever it points.
    struct stat dangling {};
    if (!exists && lstat(target, &dangling) == 0 && S_ISLNK(dangling.st_mode))
        return ReportFailure(error, ENOENT);
    if (exists && S_ISDIR(existing.st_mode))
        return ReportFailure(error, EISDIR);
    if (exists && !S_ISREG(existing.st_mode)) {
        if (!standardStreamsAllowed.load() || !IsStandardStreamTarget(target))
            return ReportFailure(error, NotRegularFileError);
        fd_ = open(target, O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0)
            return ReportFailure(error, errno);
        writePath_ = target_;
        return 0;
    }
    // Renaming needs only the folder's permission; the target's own must refuse as well, as it
    // would refuse a rewrite in place.
    if (exists && faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) != 0)
        return ReportFailure(error, errno);
    struct stat link {};
    if (exists && lstat(target, &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = realpath(target, nullptr);
        if (resolved == nullptr)
            return ReportFailure(error, errno);
        target_ = resolved;
        free(resolved);
    }

    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        writePath_ = TemporaryName(target_);
        fd_ = open(writePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0)
        return ReportFailure(error, errno);
    temporary_ = true;
    slot_ = RememberTemporary(writePath_);
    // Best effort, as a file rewritten in place would keep its mode; a file system without
    // permission bits refuses this and the file keeps the default one.
    if (exists)
        fchmod(fd_, existing.st_mode & 0777);
    return 0;
}

int SafeFile::Write(const void* data, size_t size, int* error)
{
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd_, next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return ReportFailure(error, written < 0 ? errno : EIO);
        next += written;
        size -= size_t(written);
    }
    return 0;
}

int SafeFile::Close(int* error)
{
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0)
        return ReportFailure(error, errno);
    return 0;
}

int SafeFile::Commit(int* error)
{
    if (fd_ >= 0 && Close(error) != 0)
        return -1;
    if (temporary_) {
        // A target planted as a FIFO (or any non-file) since Open is not replaced by the rename.
        struct stat now {};
        if (stat(target_.c_str(), &now) == 0 && !S_ISREG(now.st_mode))
            return ReportFailure(error, NotRegularFileError);
        if (rename(writePath_.c_str(), target_.c_str()) != 0)
            return ReportFailure(error, errno);
        temporary_ = false;
        ForgetTemporary(slot_);
        slot_ = -1;
    }
    return 0;
}

int WriteWholeFile(const char* target, const void* data, size_t size, int* error)
{
    SafeFile file;
    if (file.Open(target, error) != 0 || file.Write(data, size, error) != 0) return -1;
    return file.Commit(error);
}
