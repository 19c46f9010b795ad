#include "bench/bench_images.h"

#include <fstream>
#include <iterator>

#include "loader/frame_codec.h"
#include "loader/loader_commands.h"

// xorshift64*: portable and fast.
std::vector<uint8_t> RandomImage(long size, uint64_t seed) {
    std::vector<uint8_t> out(static_cast<size_t>(size));
    uint64_t x = seed;
    for (uint8_t& b : out) {
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        b = static_cast<uint8_t>((x * 0x2545F4914F6CDD1DULL) >> 56);
    }
    return out;
}

std::vector<uint8_t> MostlyErasedImage(long size) {
    std::vector<uint8_t> out(static_cast<size_t>(size), 0xFF);
    std::vector<uint8_t> noise = RandomImage((size + 63) / 64, 7);
    for (size_t i = 0; i < noise.size(); ++i) {
        uint8_t b = noise[i];
        if (b == FRAME_FLAG || b == FRAME_ESCAPE) b = 0;
        out[i * 64] = b;
    }
    return out;
}

// The best payload share of the line for an image: every block goes out padded to 16384
// bytes in a WRITE frame (two flags, sequence, code, address, length and FCS: 12 bytes)
// with each 0x7E and 0x7D of the data escaped (the few escapes in headers are left out).
double IdealRatio(const std::vector<uint8_t>& image) {
    const size_t blocks = (image.size() + LOADER_BLOCK_SIZE - 1) / LOADER_BLOCK_SIZE;
    size_t escapes = 0;
    for (uint8_t b : image) escapes += (b == FRAME_FLAG || b == FRAME_ESCAPE) ? 1 : 0;
    const double wire = static_cast<double>(blocks * (LOADER_BLOCK_SIZE + 12) + escapes);
    return static_cast<double>(image.size()) / wire;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(f);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}
