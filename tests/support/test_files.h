// Test support: scratch folders, whole files, test images and the flash they must become.
// Portable (the Windows build compiles it too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A fresh folder under the temporary directory, removed with everything in it at the end.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    // The names in the folder, sorted.
    std::vector<std::string> Names() const;

  private:
    std::string m_path;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);  // empty when the file cannot be read
Bytes ReadBytes(const std::string& path);

// Writes an image of `size` bytes whose pattern differs per file name; returns its path.
std::string MakeImage(const ScratchDir& dir, const std::string& name, size_t size);

// The image as it must stand in flash: from `offset`, padded with 0xFF to whole 16 KiB
// blocks unless exact (DMB).
Bytes ExpectedFlash(const Bytes& file, size_t offset, bool exact);

bool HasText(const std::vector<std::string>& texts, const std::string& text);
