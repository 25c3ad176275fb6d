// A copy of the archive while it is in use: SQLite's online backup into a file beside the
// target, renamed over it only when the copy is complete.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/record_archive.h"

namespace {

bool SyncFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

bool RecordArchive::Backup(const std::string& target, std::string& reason)
{
    reason.clear();
    if (!m_db) {
        reason = "the archive is not open";
        return false;
    }
    struct stat st {}, own {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            reason = "not a regular file";
            return false;
        }
        if (::stat(m_path.c_str(), &own) == 0 && st.st_dev == own.st_dev && st.st_ino == own.st_ino) {
            reason = "that is the archive itself";
            return false;
        }
    }
    const std::string temporary = target + ".part-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    sqlite3* copy = nullptr;
    int code = sqlite3_open_v2(temporary.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code == SQLITE_OK) {
        sqlite3_busy_timeout(copy, m_busyTimeoutMs);
        if (sqlite3_backup* backup = sqlite3_backup_init(copy, "main", m_db, "main")) {
            // All at once: other connections' writes between steps would restart a stepwise copy.
            // A lock held longer than the busy timeout ends it.
            for (int waited = 0;; waited += 50) {
                code = sqlite3_backup_step(backup, -1);
                if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || waited >= m_busyTimeoutMs) break;
                sqlite3_sleep(50);
            }
            sqlite3_backup_finish(backup);
            code = code == SQLITE_DONE ? sqlite3_errcode(copy) : code;
        } else {
            code = sqlite3_errcode(copy);
        }
        // The copy stands alone: no journal file to go with it.
        if (code == SQLITE_OK) code = sqlite3_exec(copy, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    }
    if (code != SQLITE_OK) reason = copy ? sqlite3_errmsg(copy) : sqlite3_errstr(code);
    if (sqlite3_close(copy) != SQLITE_OK && reason.empty()) reason = "cannot be closed";
    if (reason.empty() && !SyncFile(temporary)) reason = std::strerror(errno);
    if (reason.empty() && std::rename(temporary.c_str(), target.c_str()) != 0) reason = std::strerror(errno);
    if (reason.empty()) return true;
    ::unlink(temporary.c_str());
    ::unlink((temporary + "-journal").c_str());
    return false;
}
