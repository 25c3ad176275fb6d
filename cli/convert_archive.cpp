#include "cli/convert_archive.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cli/printable.h"
#include "import/record_labels.h"

const char kArchiveUsage[] =
    "  --archive DB\n"
    "             stores every loaded record in the record archive DB (an SQLite file,\n"
    "             made when missing), all of one run in one transaction; each printed\n"
    "             line ends in \"new\" or \"known\" (JSON: \"archive\"). A record is known\n"
    "             when a file of the same bytes (SHA-256) is archived already.\n"
    "  --from-archive DB\n"
    "             takes the records from the archive DB instead of PATHs, oldest first,\n"
    "             loaded again from their stored bytes, and prints or exports them as\n"
    "             for files; --since, --until, --customer, --type and --match choose\n"
    "             which. A stored record whose bytes no longer match its SHA-256 is\n"
    "             named on standard error and not used.\n"
    "  --since DATE\n"
    "             with --from-archive: measured on or after DATE (YYYY-MM-DD, local time).\n"
    "  --until DATE\n"
    "             with --from-archive: measured on or before DATE.\n"
    "  --customer NAME\n"
    "             with --from-archive: of exactly this customer.\n"
    "  --type TYPE\n"
    "             with --from-archive: of this type (Area, Vehicle, Distance).\n"
    "  --match TEXT\n"
    "             with --from-archive: with TEXT in the file name, place, customer,\n"
    "             field name or note.\n"
    "  --backup-archive DB OUT\n"
    "             writes a consistent copy of the archive DB to OUT, also while it is\n"
    "             in use.\n";

namespace {

const char* ProblemText(ArchiveProblem problem)
{
    switch (problem) {
    case ArchiveProblem::None: return "no problem";
    case ArchiveProblem::CannotOpen: return "cannot be opened";
    case ArchiveProblem::NotArchive: return "not a record archive (damaged, or another kind of file); left untouched";
    case ArchiveProblem::ReadOnly: return "read-only";
    case ArchiveProblem::NewerSchema: return "made by a newer version; read-only";
    case ArchiveProblem::Busy: return "in use by another program";
    case ArchiveProblem::Full: return "the disk is full";
    case ArchiveProblem::Failed: return "database error";
    }
    return "database error";
}

void Complain(const RecordArchive& archive, const std::string& path)
{
    const std::string& detail = archive.ProblemDetail();
    std::fprintf(stderr, "varnel-convert: %s: archive %s%s%s\n", Printable(path.c_str()).c_str(),
                 ProblemText(archive.Problem()), detail.empty() ? "" : ": ", Printable(detail.c_str()).c_str());
}

bool TakeValue(int argc, char** argv, int& i, std::string& value, const char* what)
{
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        std::fprintf(stderr, "varnel-convert: %s needs %s\n", argv[i], what);
        return false;
    }
    value = argv[++i];
    return true;
}

}  // namespace

int ParseArchiveOption(int argc, char** argv, int& i, ArchiveOptions& options)
{
    const std::string arg = argv[i];
    std::string value;
    if (arg == "--archive") return TakeValue(argc, argv, i, options.archive, "a database file") ? 1 : 2;
    if (arg == "--from-archive") return TakeValue(argc, argv, i, options.fromArchive, "a database file") ? 1 : 2;
    if (arg == "--backup-archive") {
        if (!TakeValue(argc, argv, i, options.backupFrom, "a database file and a target")) return 2;
        return TakeValue(argc, argv, i, options.backupTo, "a target file") ? 1 : 2;
    }
    if (arg == "--since" || arg == "--until") {
        if (!TakeValue(argc, argv, i, value, "a date (YYYY-MM-DD)")) return 2;
        int64_t& bound = arg == "--since" ? options.filter.fromUtc : options.filter.toUtc;
        // --until names the last day taken: the bound is the start of the next.
        if (!LocalDateStart(value, bound, arg == "--until" ? 1 : 0)) {
            std::fprintf(stderr, "varnel-convert: %s %s: not a date (YYYY-MM-DD)\n", arg.c_str(),
                         Printable(value.c_str()).c_str());
            return 2;
        }
        options.filtered = true;
        return 1;
    }
    if (arg == "--customer") {
        options.filtered = true;
        return TakeValue(argc, argv, i, options.filter.customer, "a name") ? 1 : 2;
    }
    if (arg == "--match") {
        options.filtered = true;
        return TakeValue(argc, argv, i, options.filter.text, "a text") ? 1 : 2;
    }
    if (arg == "--type") {
        if (!TakeValue(argc, argv, i, value, "Area, Vehicle or Distance")) return 2;
        for (const int type : {int(Area), int(Vehicle), int(Distance)})
            if (value == MeasureTypeName(type)) options.filter.type = type;
        if (options.filter.type < 0) {
            std::fprintf(stderr, "varnel-convert: --type %s: not Area, Vehicle or Distance\n",
                         Printable(value.c_str()).c_str());
            return 2;
        }
        options.filtered = true;
        return 1;
    }
    return 0;
}

int CheckArchiveOptions(const ArchiveOptions& options, bool havePaths)
{
    const char* problem = nullptr;
    if (!options.backupFrom.empty() && (havePaths || !options.archive.empty() || !options.fromArchive.empty()))
        problem = "--backup-archive takes no PATH and no other archive option";
    else if (!options.fromArchive.empty() && havePaths)
        problem = "--from-archive takes no PATH";
    else if (!options.fromArchive.empty() && !options.archive.empty())
        problem = "--from-archive and --archive cannot be combined";
    else if (options.filtered && options.fromArchive.empty())
        problem = "--since, --until, --customer, --type and --match need --from-archive";
    if (problem == nullptr) return 0;
    std::fprintf(stderr, "varnel-convert: %s\n", problem);
    return 2;
}

int BackupArchive(const ArchiveOptions& options)
{
    struct stat st {};
    if (::stat(options.backupFrom.c_str(), &st) != 0) {
        std::fprintf(stderr, "varnel-convert: %s: %s\n", Printable(options.backupFrom.c_str()).c_str(),
                     std::strerror(errno));
        return 1;
    }
    RecordArchive archive;
    if (!archive.Open(options.backupFrom)) {
        Complain(archive, options.backupFrom);
        return 1;
    }
    std::string reason;
    if (archive.Backup(options.backupTo, reason)) return 0;
    std::fprintf(stderr, "varnel-convert: %s: cannot be written: %s\n", Printable(options.backupTo.c_str()).c_str(),
                 Printable(reason.c_str()).c_str());
    return 1;
}

bool ConvertArchive::Open(const std::string& path)
{
    if (m_archive.Open(path) && m_archive.Writable()) return true;
    Complain(m_archive, path);
    m_archive.Close();
    m_failed = true;
    return false;
}

const char* ConvertArchive::Store(const MeasureRecord& record, const std::string& source)
{
    if (!m_archive.Writable()) return nullptr;
    const StoreOutcome outcome = m_archive.Store(record, source);
    if (outcome == StoreOutcome::New) return "new";
    if (outcome == StoreOutcome::Known) return "known";
    m_failed = true;
    if (m_archive.InImport()) {
        std::fprintf(stderr, "varnel-convert: %s: not archived: %s\n", Printable(record.path).c_str(),
                     Printable(m_archive.ProblemDetail().c_str()).c_str());
    } else {
        // The database failed and rolled the run back: nothing more is stored.
        Complain(m_archive, m_archive.Path());
        std::fputs("varnel-convert: nothing of this run was archived\n", stderr);
        m_archive.Close();
    }
    return nullptr;
}

bool ConvertArchive::Finish()
{
    if (m_archive.Writable() && !m_archive.CommitImport()) {
        Complain(m_archive, m_archive.Path());
        std::fputs("varnel-convert: nothing of this run was archived\n", stderr);
        m_failed = true;
    }
    return !m_failed;
}

bool ForEachArchived(const ArchiveOptions& options, const std::function<void(const MeasureRecord&)>& emit)
{
    struct stat st {};
    if (::stat(options.fromArchive.c_str(), &st) != 0) {
        std::fprintf(stderr, "varnel-convert: %s: %s\n", Printable(options.fromArchive.c_str()).c_str(),
                     std::strerror(errno));
        return false;
    }
    RecordArchive archive;
    std::vector<int64_t> ids;
    if (!archive.Open(options.fromArchive) || !archive.QueryIds(options.filter, ArchiveColumn::MeasuredAt, true, ids)) {
        Complain(archive, options.fromArchive);
        return false;
    }
    bool ok = true;
    const auto record = std::make_unique_for_overwrite<MeasureRecord>();
    for (const int64_t id : ids) {
        std::string reason;
        if (archive.LoadRecord(id, *record, reason)) {
            emit(*record);
            continue;
        }
        ArchiveRow row;
        archive.ReadRow(id, row);
        std::fprintf(stderr, "varnel-convert: %s: archived record %lld (%s): %s\n",
                     Printable(options.fromArchive.c_str()).c_str(), static_cast<long long>(id),
                     Printable(row.path.c_str()).c_str(), reason.c_str());
        ok = false;
    }
    return ok;
}
