#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "config/config_io.h"
#include "config/config_testing.h"

const char* const CONFIG_IO_LINE_END = "\n";
const char CONFIG_IO_PATH_SEPARATOR = '/';

std::string CONFIG_IO_ValueText(const std::string& bytes) { return bytes; }

namespace {

std::atomic<ConfigBeforeRenameHook> g_beforeRenameHook{nullptr};

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    // Closes now, so that a failing close (delayed write errors) can be seen.
    bool Close() {
        int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

  private:
    int m_fd;
};

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Where the file really is: a symbolic link's target, so that the rename replaces the
// file and not the link. Empty for a dangling link.
std::string ResolveTarget(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    char* real = realpath(path, nullptr);
    if (real == nullptr) {
        return std::string();
    }
    std::string target(real);
    free(real);
    return target;
}

// The directory part of a path with its trailing '/', empty for a bare file name.
std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Creates a new file beside `target` whose name no one else uses; -1 on failure.
int CreateTemporary(const std::string& target, std::string* tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string dir = DirectoryOf(target);
    // Cut so that the temporary name stays within the 255-byte name limit.
    const std::string base = target.substr(dir.size(), 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempPath = dir + "." + base + ".tmp" + std::to_string(getpid()) + "-" +
                    std::to_string(counter.fetch_add(1));
        // O_EXCL: never reuse someone's file; 0666 lets the umask decide a new file's mode.
        int fd = open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void SyncDirectoryOf(const std::string& target) {
    std::string dir = DirectoryOf(target);
    FileDescriptor fd(open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        fsync(fd.Get());  // best effort: the rename itself already happened
    }
}

}  // namespace

ConfigFileStatus CONFIG_IO_ReadFile(const char* path, std::string* text) {
    text->clear();
    if (path == nullptr || path[0] == '\0') {
        return ConfigFileStatus::Missing;
    }
    // O_NONBLOCK: a FIFO put in place of the file must not hang the console.
    FileDescriptor fd(open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ConfigFileStatus::Missing
                                                     : ConfigFileStatus::Unreadable;
    }
    struct stat st;
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > CONFIG_IO_MAX_FILE_BYTES) {
        return ConfigFileStatus::Unreadable;
    }
    char buffer[16384];
    for (;;) {
        ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || text->size() + static_cast<size_t>(n) > CONFIG_IO_MAX_FILE_BYTES) {
            text->clear();
            return ConfigFileStatus::Unreadable;
        }
        if (n == 0) {
            return ConfigFileStatus::Ok;
        }
        text->append(buffer, static_cast<size_t>(n));
    }
}

bool CONFIG_IO_ReplaceFile(const char* path, const std::string& text) {
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    const std::string target = ResolveTarget(path);
    if (target.empty()) {
        return false;
    }
    struct stat old;
    bool exists = stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    if (exists) {
        // Root may write anything, so the permission bits themselves say read-only too.
        bool readOnly =
            (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(target.c_str(), W_OK) != 0;
        if (!S_ISREG(old.st_mode) || readOnly) {
            return false;
        }
    }

    std::string tempPath;
    FileDescriptor fd(CreateTemporary(target, &tempPath));
    if (fd.Get() < 0) {
        return false;
    }
    bool ok = WriteAll(fd.Get(), text);
    if (ok && exists) {
        ok = fchmod(fd.Get(), old.st_mode & 07777) == 0;
        if (ok && geteuid() == 0 && fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
            // Root keeps a user's file theirs where it can; failing that the file still saves.
        }
    }
    ok = ok && fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    if (ok) {
        if (ConfigBeforeRenameHook hook = g_beforeRenameHook.load()) {
            hook(tempPath.c_str());
        }
        ok = rename(tempPath.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        unlink(tempPath.c_str());
        return false;
    }
    SyncDirectoryOf(target);
    return true;
}

bool CONFIG_IO_CurrentDir(char* out, size_t size) {
    if (size == 0) {
        return false;
    }
    if (getcwd(out, size) == nullptr) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void CONFIG_SetBeforeRenameHookForTest(ConfigBeforeRenameHook hook) {
    g_beforeRenameHook.store(hook);
}
