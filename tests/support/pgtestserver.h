#pragma once
// A throw-away PostgreSQL cluster for tests and benchmarks: initdb in a fresh folder, run as an
// unprivileged user (nobody, when the caller is root) on a free local port, password
// authentication for its superuser, stopped and removed when the object goes.
#include <string>
#include <thread>
#include <vector>

class PgTestServer {
public:
    PgTestServer() = default;
    ~PgTestServer();
    PgTestServer(const PgTestServer&) = delete;
    PgTestServer& operator=(const PgTestServer&) = delete;

    // Whether PostgreSQL's server programs are installed here; why not, when they are not.
    static bool Installed(std::string* why = nullptr);

    // Makes the cluster and starts it; false with Error() set. durable: every commit is synced
    // to disk, as on a real server (benchmarks); tests leave that to the page cache.
    bool Start(bool durable = false);
    // Stops the server: "immediate" is a crash as far as clients can tell (no goodbye).
    bool Stop(bool immediate = false);
    // Starts it again on the same folder and port.
    bool Restart();

    int Port() const { return m_port; }
    // The superuser and its password.
    static constexpr const char* kUser = "varnel";
    static constexpr const char* kPassword = "field-secret";
    // key=value connection string for database as user with password ("" leaves it out).
    std::string ConnInfo(const std::string& database, const std::string& user = kUser,
                         const std::string& password = kPassword) const;
    const std::string& Error() const { return m_error; }

private:
    bool Run(const std::string& program, const std::vector<std::string>& args);

    std::string m_folder;   // holds data/, the socket and the log
    std::string m_bin;      // PostgreSQL's program folder
    int m_port = 0;
    bool m_durable = false;
    bool m_running = false;
    std::string m_error;
};

// A local port where something that is not PostgreSQL listens: it answers like a web server, or
// takes the connection and says nothing at all (a server that stalls).
class FakePgPort {
public:
    enum class Answer { Web, Nothing };
    explicit FakePgPort(Answer answer);
    ~FakePgPort();
    FakePgPort(const FakePgPort&) = delete;
    FakePgPort& operator=(const FakePgPort&) = delete;

    // A connection string for it that gives up after 2 s.
    std::string ConnInfo() const;

private:
    Answer m_answer;
    int m_fd = -1;
    int m_port = 0;
    std::vector<int> m_clients;
    std::thread m_thread;
};
