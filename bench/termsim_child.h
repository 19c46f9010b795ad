// The terminal simulator as a child process, so that the benchmark process holds the
// flasher alone and its CPU time and allocations are the flasher's.
//
// Owner's thread only.
#pragma once

#include <sys/types.h>

#include <string>

class TermsimChild {
  public:
    TermsimChild() = default;
    ~TermsimChild();  // stops
    TermsimChild(const TermsimChild&) = delete;
    TermsimChild& operator=(const TermsimChild&) = delete;

    // Runs `program --count N --first-com 1 --port-dir DIR --flash-dir DIR --baud B` and
    // waits (at most 10 s) for its "ready" line. Its stderr goes to logPath. False with a
    // message in *error when it cannot be started or does not get ready.
    bool Start(const std::string& program, int count, long baud, const std::string& portDir,
               const std::string& flashDir, const std::string& logPath, std::string* error);

    // Asks it to stop (SIGTERM) and waits for it. Does nothing when not running.
    void Stop();

  private:
    pid_t m_pid = -1;
};
