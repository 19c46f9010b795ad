// The one UTF-8 reader of every layer: which bytes form a character, and where a text may be
// cut (a report field, an event text, a window field) without splitting one.
#include "core/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8, CharactersAndCuts) {
    const struct {
        std::string bytes;
        size_t length;
        char32_t code;
    } chars[] = {
        {"A", 1, U'A'},         {"\xED\x95\x9C", 3, U'한'}, {"\xF0\x9F\x98\x80", 4, 0x1F600},
        {"\xC0\xAF", 0, 0},                                  // overlong '/'
        {"\xED\xA0\x80", 0, 0}, {"\xF4\x90\x80\x80", 0, 0},  // surrogate, > U+10FFFF
        {"\x80", 0, 0},         {"\xED\x95", 0, 0}};         // stray, cut by the end
    for (const auto& c : chars) {
        char32_t code = 0;
        EXPECT_EQ(UTF8_CharLength(c.bytes.data(), c.bytes.size(), 0, &code), c.length) << c.bytes;
        EXPECT_EQ(code, c.length != 0 ? c.code : 0) << c.bytes;
    }
    EXPECT_TRUE(UTF8_IsValid("a한\xF0\x9F\x98\x80"));
    EXPECT_FALSE(UTF8_IsValid("a\xED\x95"));

    const std::string text = "a한b";  // 61 ED 95 9C 62
    const size_t kept[] = {0, 1, 1, 1, 4, 5};
    for (size_t limit = 0; limit <= text.size(); ++limit)
        EXPECT_EQ(UTF8_CutLength(text.data(), limit), kept[limit]) << limit;
    // Bytes of another encoding are cut where the limit falls.
    EXPECT_EQ(UTF8_CutLength("\x80\x80\x80\x80\x80", 5), 5u);
    EXPECT_EQ(UTF8_CutLength("\xB0\xA1\xB3\xAA", 3), 3u);  // code page 949
}

}  // namespace
