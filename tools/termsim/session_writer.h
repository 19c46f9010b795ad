// Writes a completed session's results into a terminal's output folder:
// flash-<ADDR>.bin per erased range, packets.log, errors.log and, last and atomically,
// the file "session" with the number of completed sessions, so a reader that waits for
// that number to change finds every other file complete. Earlier results are replaced.
// Not thread-safe: one writer per folder (the terminal's thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/termsim/flash_model.h"
#include "tools/termsim/loader.h"

namespace termsim {

class SessionWriter {
  public:
    // dir: the terminal's output folder (created when needed); empty: Write does nothing.
    explicit SessionWriter(std::string dir) : m_dir(std::move(dir)) {}

    // Returns false with a message in *error when something could not be written; what
    // was written stays, and "session" is then not updated.
    bool Write(const FlashModel& flash, const SessionLog& log, uint64_t sessionNumber,
               std::string* error);

    const std::string& Dir() const { return m_dir; }

  private:
    bool RemoveOldImages(std::string* error);
    bool WriteImage(const FlashModel& flash, const FlashModel::Range& range, std::string* error);
    bool WriteText(const std::string& name, const std::string& text, std::string* error);

    std::string m_dir;
    std::vector<uint8_t> m_chunk;
    std::string m_text;
};

// Creates dir and its parents. Returns false when it cannot be made.
bool MakeDirs(const std::string& dir);

}  // namespace termsim
