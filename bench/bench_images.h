// The images the end-to-end benchmark sends, and what the line can carry of them at best.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// size bytes from a fixed generator: the same image on every machine for the same seed.
std::vector<uint8_t> RandomImage(long size, uint64_t seed);

// Firmware with large erased areas: 0xFF but for one byte in 64, none of which is escaped.
std::vector<uint8_t> MostlyErasedImage(long size);

// Payload bytes over line bytes when the image goes out in full WRITE frames.
double IdealRatio(const std::vector<uint8_t>& image);

// Whole-file helpers; WriteFile returns false when the file could not be written.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& data);
std::vector<uint8_t> ReadFile(const std::string& path);
