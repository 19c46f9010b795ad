#include "bench/termsim_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr int kReadyTimeoutMs = 10000;

std::string SysError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

TermsimChild::~TermsimChild() { Stop(); }

bool TermsimChild::Start(const std::string& program, int count, long baud,
                         const std::string& portDir, const std::string& flashDir,
                         const std::string& logPath, std::string* error) {
    Stop();
    // Everything the child needs is prepared before fork: a multithreaded parent's child may
    // only make async-signal-safe calls until exec.
    std::vector<std::string> args = {program,
                                     "--count",
                                     std::to_string(count),
                                     "--first-com",
                                     "1",
                                     "--port-dir",
                                     portDir,
                                     "--flash-dir",
                                     flashDir,
                                     "--baud",
                                     std::to_string(baud)};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (log < 0) {
        *error = SysError(logPath.c_str());
        return false;
    }
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        *error = SysError("pipe");
        ::close(log);
        return false;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(out[1]);
    ::close(log);
    if (pid < 0) {
        *error = SysError("fork");
        ::close(out[0]);
        return false;
    }
    m_pid = pid;

    std::string line;
    bool ready = false;
    for (;;) {
        struct pollfd p {
            out[0], POLLIN, 0
        };
        if (poll(&p, 1, kReadyTimeoutMs) <= 0) break;
        char ch;
        if (::read(out[0], &ch, 1) != 1) break;
        if (ch == '\n') {
            ready = line.rfind("ready", 0) == 0;
            break;
        }
        line.push_back(ch);
    }
    ::close(out[0]);
    if (!ready) {
        *error = "termsim did not get ready (see " + logPath + ")";
        Stop();
        return false;
    }
    return true;
}

void TermsimChild::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}
