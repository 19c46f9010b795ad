#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "serial/port_directory.h"
#include "tools/cli/cli_os.h"

namespace {

std::atomic<bool>* s_stop = nullptr;

void OnStopSignal(int) {
    if (s_stop != nullptr) *s_stop = true;
}

}  // namespace

std::vector<std::string> CLI_OS_Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool CLI_OS_SetupConsole() { return isatty(STDOUT_FILENO) != 0; }

// SIGINT, SIGTERM and SIGHUP ask for a stop, which the run's poll loop (or the wait for
// ports) carries out within one pass. A reader of stdout that went away must not end the
// program mid-flash: failed writes to stdout are dropped and the report is still written.
void CLI_OS_CatchStop(std::atomic<bool>* stop) {
    s_stop = stop;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;  // the flag is polled; no system call needs to give up
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool CLI_OS_SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    auto split = [](const std::string& path, std::string* dir) {
        const size_t slash = path.rfind('/');
        *dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        return slash == std::string::npos ? path : path.substr(slash + 1);
    };
    std::string da, db;
    return split(a, &da) == split(b, &db) && stat(da.c_str(), &sa) == 0 &&
           stat(db.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::vector<int> CLI_OS_ListPorts() { return PORT_DIRECTORY_List(PORT_DIRECTORY_Path()); }

std::string CLI_OS_PortSource() { return PORT_DIRECTORY_Path(); }

std::string CLI_OS_DevicePath(int com) {
    char resolved[PATH_MAX];
    std::string entry = PORT_DIRECTORY_EntryPath(com);
    return realpath(entry.c_str(), resolved) != nullptr ? resolved : entry;
}

bool CLI_OS_ReadAt(intptr_t file, long long from, char* buffer, int count) {
    return pread(static_cast<int>(file), buffer, static_cast<size_t>(count), from) == count;
}

intptr_t CLI_OS_OpenAppend(const std::string& path, std::string* error, long long* dropped) {
    *dropped = 0;
    // Non-blocking only for the open: a FIFO must not hold the station before it starts.
    const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    struct stat st {};
    const char* why = nullptr;
    off_t keep = 0;
    if (fd < 0) {
        why = std::strerror(errno);
    } else if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (fcntl(fd, F_SETFL, O_APPEND) != 0 ||
               (keep = CLI_OS_CompleteLength(fd, st.st_size)) < 0 ||
               (keep < st.st_size && ftruncate(fd, keep) != 0)) {
        why = std::strerror(errno);
    } else {
        *dropped = st.st_size - keep;
        return fd;
    }
    if (fd >= 0) close(fd);
    *error = path + ": " + why;
    return -1;
}

bool CLI_OS_Append(intptr_t file, const std::string& text, std::string* error) {
    const int fd = static_cast<int>(file);
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = n < 0 ? std::strerror(errno) : "nothing written";
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (done == text.size() && fdatasync(fd) == 0) return true;
    if (done == text.size()) *error = std::strerror(errno);
    // The text is taken back whole: a cut line would stand in the log for good.
    if (ftruncate(fd, st.st_size) != 0) *error += "; the part written could not be taken back";
    return false;
}

void CLI_OS_CloseAppend(intptr_t file) { close(static_cast<int>(file)); }
