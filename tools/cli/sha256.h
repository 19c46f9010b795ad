// SHA-256, for the run report (which bytes went into the terminals).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A digest computed piece by piece as the bytes pass.
class Sha256 {
  public:
    void Update(const uint8_t* data, size_t n);
    // Lower-case hexadecimal digest of everything passed so far; the object is left as it
    // was, so more bytes may follow.
    std::string HexDigest() const;

  private:
    void Compress();

    uint32_t m_h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t m_block[64] = {};
    size_t m_fill = 0;
    uint64_t m_length = 0;
};
