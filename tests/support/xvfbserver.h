#pragma once
// For window tests that need a real screen (grabs, real sizes): an Xvfb of their own.
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// An X server of its own for the test, on the first free display, stopped when the test ends.
class XvfbServer {
public:
    XvfbServer() = default;
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    ~XvfbServer()
    {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

    // Starts the server with one screen (e.g. "1024x768x24") and sets DISPLAY to it; false when
    // it did not come up.
    bool Start(const char* screen)
    {
        int ready[2];
        if (pipe(ready) != 0) return false;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server outlives a crashed test
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        // The server writes its display number once it takes connections.
        std::string display;
        pollfd wait{ready[0], POLLIN, 0};
        char c = 0;
        while (m_pid > 0 && poll(&wait, 1, 20000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') display += c;
        close(ready[0]);
        if (c != '\n' || display.empty()) return false;
        setenv("DISPLAY", (':' + display).c_str(), 1);
        return true;
    }

private:
    pid_t m_pid = -1;
};
