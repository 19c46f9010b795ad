#include "core/hex_address.h"

#include <cctype>

bool HEX_ReadAddress(const char* text, uint32_t* value) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(p[2])))
        p += 2;
    uint64_t v = 0;
    int digits = 0;
    for (; std::isxdigit(static_cast<unsigned char>(*p)); ++p, ++digits) {
        int d =
            std::isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : (std::toupper(*p) - 'A' + 10);
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) return false;
    }
    if (digits == 0) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}
