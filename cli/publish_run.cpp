#include "cli/publish_run.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/printable.h"
#include "publish/server_publisher.h"

namespace {

// The password typed on the terminal without echo, or "" when there is no terminal.
std::string AskPassword(const std::string& where)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return "";
    const std::string prompt = "Password for " + where + ": ";
    termios saved{};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    std::string password;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= tcflag_t(~ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
        if (::write(tty, prompt.data(), prompt.size()) >= 0) {
            char c;
            while (::read(tty, &c, 1) == 1 && c != '\n' && c != '\r') password += c;
        }
        ::tcsetattr(tty, TCSAFLUSH, &saved);
        if (::write(tty, "\n", 1) < 0) password.clear();
    }
    ::close(tty);
    return password;
}

void SayProblem(const ServerPublisher& publisher)
{
    std::fprintf(stderr, "varnel-convert: --publish: %s: %s\n", PublishProblemText(publisher.Problem()),
                 Printable(publisher.Detail().c_str()).c_str());
}

}  // namespace

PublishRun::PublishRun() : m_publisher(std::make_unique<ServerPublisher>()) {}
PublishRun::~PublishRun() = default;

bool PublishRun::Open(const std::string& conninfo, bool& usageError)
{
    usageError = false;
    PublishSettings settings;
    settings.conninfo = conninfo;
    bool opened = m_publisher->Open(settings);
    if (!opened && m_publisher->Problem() == PublishProblem::NeedsPassword) {
        settings.password = AskPassword("the database server");
        if (!settings.password.empty()) opened = m_publisher->Open(settings);
        std::fill(settings.password.begin(), settings.password.end(), '\0');
        if (!opened && m_publisher->Problem() == PublishProblem::NeedsPassword) {
            std::fputs("varnel-convert: --publish: the server asks for a password: give it in the connection "
                       "string, in PGPASSWORD or in ~/.pgpass\n",
                       stderr);
            return false;
        }
    }
    if (opened) return true;
    usageError = m_publisher->Problem() == PublishProblem::BadConnectionString;
    SayProblem(*m_publisher);
    return false;
}

bool PublishRun::Send(const RecordTable& table)
{
    bool ok = true;
    std::vector<PublishEntry> entries;
    entries.reserve(size_t(table.count));
    for (int i = 0; i < table.count; ++i) {
        PublishEntry entry;
        std::string reason;
        if (MakePublishEntry(table.records[i], entry, reason)) {
            entries.push_back(std::move(entry));
        } else {
            std::fprintf(stderr, "varnel-convert: %s: %s\n", Printable(table.records[i].path).c_str(), reason.c_str());
            ok = false;
        }
    }
    std::vector<PublishOutcome> outcomes;
    if (!m_publisher->Publish(entries, outcomes)) {
        SayProblem(*m_publisher);
        return false;
    }
    return ok;
}

bool PublishRun::Connected() const
{
    return m_publisher->Connected();
}

std::string PublishRun::Summary() const
{
    const PublishCounts& counts = m_publisher->Counts();
    return "published " + std::to_string(counts.sent) + " records to " + Printable(m_publisher->Where().c_str()) +
           ", " + std::to_string(counts.known) + " already on the server\n";
}
