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
        for (pid_t pid : {m_windowManager, m_pid}) {
            if (pid <= 0) continue;
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
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

    // Starts openbox on the server, as a user's desktop has a window manager (which maps,
    // frames and iconifies windows); true once it runs.
    bool StartWindowManager()
    {
        char ready[] = "/tmp/varnel-openbox-XXXXXX";
        const int fd = mkstemp(ready);
        if (fd < 0) return false;
        close(fd);
        unlink(ready);
        m_windowManager = fork();
        if (m_windowManager == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const std::string startup = std::string("touch ") + ready;
            execlp("openbox", "openbox", "--startup", startup.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && m_windowManager > 0; ++i) {
            if (access(ready, F_OK) == 0) {
                unlink(ready);
                return true;
            }
            if (waitpid(m_windowManager, nullptr, WNOHANG) == m_windowManager) break;
            usleep(50 * 1000);
        }
        m_windowManager = -1;
        return false;
    }

private:
    pid_t m_pid = -1;
    pid_t m_windowManager = -1;
};
