// Fuzzes reading the trailer of an MSM Code image: the input is the whole file. A file
// shorter than the trailer's place is too short; any other gives the four little-endian
// words at 68 bytes before its end. Cut reads (a file that shrank between the size and the
// read) give the words they hold and zeros after.
#include <cstddef>
#include <cstdint>

#include "console/core/code_trailer.h"
#include "fuzz/fuzz_check.h"

namespace {

uint32_t WordAt(const uint8_t* data, size_t size, size_t at) {
    uint32_t w = 0;
    for (size_t i = 0; i < 4; ++i)
        if (at + i < size) w |= static_cast<uint32_t>(data[at + i]) << (8 * i);
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int64_t offset = CodeTrailerOffset(static_cast<int64_t>(size));
    if (size < 68) {
        FUZZ_CHECK(offset == -1);
        return 0;
    }
    FUZZ_CHECK(offset == static_cast<int64_t>(size) - 68);
    const uint8_t* at = data + offset;
    const CodeTrailer whole = ParseCodeTrailer(at, kCodeTrailerBytes);
    FUZZ_CHECK(whole.result == CodeTrailer::kOk);
    for (int w = 0; w < 4; ++w) FUZZ_CHECK(whole.word[w] == WordAt(at, 16, 4 * w));
    // The first byte also says how much of the trailer a shrinking file let through.
    const size_t got = data[0] % (kCodeTrailerBytes + 1);
    const CodeTrailer cut = ParseCodeTrailer(at, got);
    FUZZ_CHECK(cut.result == CodeTrailer::kOk);
    for (int w = 0; w < 4; ++w) FUZZ_CHECK(cut.word[w] == WordAt(at, got, 4 * w));
    return 0;
}
