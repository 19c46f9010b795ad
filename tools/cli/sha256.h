// SHA-256 of a file, for the run report (which image went into the terminals).
#pragma once

#include <string>

// Lower-case hexadecimal digest and the file's size; false when the file cannot be read.
bool SHA256_File(const std::string& path, std::string* hexDigest, long long* size);

// Digest of a byte string (for tests).
std::string SHA256_Hex(const std::string& data);
