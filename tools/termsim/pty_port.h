// The terminal's end of its line: a pseudo-terminal pair (published in the port directory
// with PORT_DIRECTORY_Publish). Thread-safe: the functions touch only their arguments and the file
// system.
#pragma once

#include <string>

namespace termsim {

struct PtyPair {
    int master = -1;  // non-blocking; the simulated terminal reads and writes here
    int slave = -1;   // held open in raw mode so the master never sees a hang-up
    std::string slavePath;
};

// Opens a pseudo-terminal pair. Returns false with a message in *error.
bool OpenPty(PtyPair* pty, std::string* error);

// Serves on a real serial device instead (one end of a null-modem pair): opens path
// exclusively, raw 8N1 at baud, as `master`; no slave. False with a message in *error.
bool OpenDevice(PtyPair* pty, const std::string& path, long baud, std::string* error);

// Closes whatever of the pair is open.
void ClosePty(PtyPair* pty);

// Notices (inotify) when another process closes the slave device, so that the exclusive
// mode a flasher set can be lifted then, as the last close of a real port would lift it.
// Without this, our own open slave would keep the flag set and lock every later flasher that
// is not root out of the port. Every close counts: the kernel merges repeated events, so
// opens and closes cannot be counted reliably; the flasher's lock on the port still keeps a
// second flasher out meanwhile. Not thread-safe: one owner.
class CloseWatch {
  public:
    CloseWatch() = default;
    ~CloseWatch() { Stop(); }
    CloseWatch(const CloseWatch&) = delete;
    CloseWatch& operator=(const CloseWatch&) = delete;

    // Starts watching; false when the system cannot (the watch is then simply absent).
    bool Start(const std::string& slavePath);
    void Stop();
    // To poll for readability; -1 when not watching.
    int Fd() const { return m_fd; }
    // Reads the pending events; true when the port was closed by someone since the last call.
    bool ClosedSince();

  private:
    int m_fd = -1;
};

}  // namespace termsim
