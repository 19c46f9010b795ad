#include "console/core/code_trailer.h"

#include <cstring>

int64_t CodeTrailerOffset(int64_t fileSize) {
    return fileSize < kCodeTrailerOffsetFromEnd ? -1 : fileSize - kCodeTrailerOffsetFromEnd;
}

CodeTrailer ParseCodeTrailer(const uint8_t* bytes, size_t count) {
    uint8_t b[kCodeTrailerBytes] = {};
    if (bytes != nullptr) std::memcpy(b, bytes, count < sizeof b ? count : sizeof b);
    CodeTrailer trailer;
    for (int w = 0; w < 4; ++w) {
        const uint8_t* p = b + 4 * w;
        trailer.word[w] = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                          static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
    trailer.result = CodeTrailer::kOk;
    return trailer;
}
