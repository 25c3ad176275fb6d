#include "tests/support/pgtestserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// PostgreSQL 15 first (what Debian 12 ships and CI installs), then any other.
std::string FindBinFolder()
{
    if (std::filesystem::exists("/usr/lib/postgresql/15/bin/initdb")) return "/usr/lib/postgresql/15/bin";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
        if (std::filesystem::exists(entry.path() / "bin/initdb")) return (entry.path() / "bin").string();
    return "";
}

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

// The server refuses to run as root: as root, the cluster belongs to nobody.
const passwd* ServerUser()
{
    return ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
}

}  // namespace

bool PgTestServer::Installed(std::string* why)
{
    if (!FindBinFolder().empty()) return true;
    if (why) *why = "PostgreSQL's server programs (initdb, pg_ctl) are not installed (Debian postgresql-15)";
    return false;
}

PgTestServer::~PgTestServer()
{
    if (m_running) Stop(true);
    if (!m_folder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
}

bool PgTestServer::Run(const std::string& program, const std::vector<std::string>& args)
{
    const std::string path = m_bin + "/" + program;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const passwd* user = ServerUser();
    const std::string log = m_folder + "/" + program + ".out";
    const pid_t child = ::fork();
    if (child < 0) {
        m_error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (child == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (user && (::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0))
            ::_exit(126);
        ::setenv("LC_ALL", "C", 1);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    m_error = program + " failed: " + text;
    return false;
}

bool PgTestServer::Start(bool durable)
{
    m_durable = durable;
    m_bin = FindBinFolder();
    if (m_bin.empty()) {
        Installed(&m_error);
        return false;
    }
    char pattern[] = "/tmp/varnel-pg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        m_error = std::string("mkdtemp: ") + std::strerror(errno);
        return false;
    }
    m_folder = pattern;
    const passwd* user = ServerUser();
    if (user && ::chown(m_folder.c_str(), user->pw_uid, user->pw_gid) != 0) {
        m_error = std::string("chown: ") + std::strerror(errno);
        return false;
    }
    const std::string passwordFile = m_folder + "/password";
    std::ofstream(passwordFile) << kPassword << "\n";
    if (user && ::chown(passwordFile.c_str(), user->pw_uid, user->pw_gid) != 0) return false;
    m_port = FreePort();
    if (!Run("initdb", {"-D", m_folder + "/data", "-U", kUser, "--pwfile=" + passwordFile, "--auth=scram-sha-256",
                        "--encoding=UTF8", "--locale=C", "--no-sync"}))
        return false;
    return Restart();
}

bool PgTestServer::Restart()
{
    const std::string options = "-p " + std::to_string(m_port) + " -k " + m_folder +
                                " -c listen_addresses=127.0.0.1 -c max_connections=60" + (m_durable ? "" : " -c fsync=off");
    m_running = Run("pg_ctl", {"-D", m_folder + "/data", "-l", m_folder + "/server.log", "-o", options, "-w", "-t", "60",
                               "start"});
    return m_running;
}

bool PgTestServer::Stop(bool immediate)
{
    const bool stopped =
        Run("pg_ctl", {"-D", m_folder + "/data", "-m", immediate ? "immediate" : "fast", "-w", "-t", "60", "stop"});
    if (stopped) m_running = false;
    return stopped;
}

std::string PgTestServer::ConnInfo(const std::string& database, const std::string& user,
                                   const std::string& password) const
{
    std::string info = "host=127.0.0.1 port=" + std::to_string(m_port) + " dbname=" + database + " user=" + user;
    if (!password.empty()) info += " password=" + password;
    return info;
}

FakePgPort::FakePgPort(Answer answer) : m_answer(answer)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_fd, 4) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
        for (;;) {
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0) return;
            if (m_answer == Answer::Nothing) {
                m_clients.push_back(client);
                continue;
            }
            char request[256];
            (void)!::read(client, request, sizeof request);
            const char reply[] = "HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
            (void)!::write(client, reply, sizeof reply - 1);
            ::close(client);
        }
    });
}

FakePgPort::~FakePgPort()
{
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(m_fd);
    if (m_thread.joinable()) m_thread.join();
    for (const int client : m_clients) ::close(client);
}

std::string FakePgPort::ConnInfo() const
{
    return "host=127.0.0.1 port=" + std::to_string(m_port) + " dbname=x user=x connect_timeout=2";
}
