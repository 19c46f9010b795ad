#include "core/utf8.h"

namespace {

bool Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the sequence a lead byte starts (0 for a byte that starts none).
size_t SequenceLength(unsigned char lead) {
    return lead < 0x80                    ? 1
           : lead >= 0xC2 && lead <= 0xDF ? 2
           : lead >= 0xE0 && lead <= 0xEF ? 3
           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                          : 0;
}

}  // namespace

size_t UTF8_CharLength(const char* text, size_t size, size_t at, char32_t* code) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const size_t length = SequenceLength(bytes[at]);
    if (length == 0 || at + length > size) return 0;
    char32_t value = length == 1 ? bytes[at] : bytes[at] & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if (!Continuation(bytes[at + k])) return 0;
        value = value << 6 | (bytes[at + k] & 0x3F);
    }
    static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    if (code != nullptr) *code = value;
    return length;
}

bool UTF8_IsValid(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        const size_t length = UTF8_CharLength(text.data(), text.size(), at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

size_t UTF8_CutLength(const char* text, size_t limit) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    // The last lead byte before the cut, at most three continuation bytes back: a valid
    // character has no more.
    size_t lead = limit;
    while (lead > 0 && limit - lead < 4 && Continuation(bytes[lead - 1])) --lead;
    if (lead == 0 || limit - lead >= 4) return limit;
    --lead;
    const size_t length = SequenceLength(bytes[lead]);
    return length > 1 && lead + length > limit ? lead : limit;
}
