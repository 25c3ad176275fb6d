#pragma once
// The converter's archive options: storing what it loads (--archive), taking records from an
// archive instead of files (--from-archive and its filters), and copying one (--backup-archive).
#include <functional>
#include <string>

#include "archive/record_archive.h"
#include "import/record.h"

struct ArchiveOptions {
    std::string archive;      // --archive DB
    std::string fromArchive;  // --from-archive DB
    ArchiveFilter filter;     // --since, --until, --customer, --type, --match
    bool filtered = false;    // any of them was given
    std::string backupFrom, backupTo;  // --backup-archive DB OUT
};

extern const char kArchiveUsage[];

// Takes the archive option at argv[i] and its values (i moves past them): 1 when it was one,
// 0 when it is none of them, 2 after a message when its value is missing or wrong.
int ParseArchiveOption(int argc, char** argv, int& i, ArchiveOptions& options);

// The options' combinations that make no sense: 2 after a message, else 0.
int CheckArchiveOptions(const ArchiveOptions& options, bool havePaths);

// --backup-archive: 0, or 1 after a message.
int BackupArchive(const ArchiveOptions& options);

// --archive: the records of one run stored in one transaction.
class ConvertArchive {
public:
    // False after a message when the archive cannot be used; the run goes on without it.
    bool Open(const std::string& path);
    // "new", "known", or nullptr after a message when it could not be stored. source: the
    // folder or file named on the command line that the record came from.
    const char* Store(const MeasureRecord& record, const std::string& source);
    // Commits the run; false after a message when it could not be committed.
    bool Finish();

private:
    RecordArchive m_archive;
    bool m_failed = false;
};

// --from-archive: loads each chosen record from its stored bytes, oldest first, and hands it to
// emit. False when any could not be loaded (each named on standard error) or the archive
// cannot be read.
bool ForEachArchived(const ArchiveOptions& options, const std::function<void(const MeasureRecord&)>& emit);
