// The SHA-256 digest of a byte string, for tests that compare what a terminal received.
#pragma once

#include <string>

#include "tools/cli/sha256.h"

inline std::string SHA256_Hex(const std::string& data) {
    Sha256 digest;
    digest.Update(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    return digest.HexDigest();
}
