#include "config/ini_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

std::string Get(std::string_view text, std::string_view section, std::string_view key) {
    std::string value = "<missing>";
    IniText_Find(text, section, key, &value);
    return value;
}

std::string Set(std::string text, std::string_view section, std::string_view key,
                std::string_view value) {
    EXPECT_TRUE(IniText_Set(&text, section, key, value, "\n"));
    return text;
}

TEST(IniTextRead, FindsTheFirstMatchingKeyOfTheFirstMatchingSection) {
    const std::string spaced = "  [ kovir ]  \n\tCodeCheck\t=  1  \n DELAY =2\n";
    const std::string quoted =
        "[S]\nA=\"C:\\x y\"\nB='single'\nC=\"mixed'\nD=\"\nE=\"\"\nF= \" padded \" \nG=a\"b\"\n";
    const std::string repeated = "[K]\nA=1\na=2\n[other]\nA=9\n[k]\nA=3\nB=4\n";
    const std::string stray =
        "A=outside\n[K]\n; A=commented\nno equals sign\n=no name\n[broken header\nA=1\n"
        "[K2] ; note\nB=2\n";
    const struct {
        std::string_view text, section, key, value;
    } rows[] = {
        {spaced, "KOVIR", "CODECHECK", "1"},  // names match without case, white space ignored
        {spaced, "Kovir", "delay", "2"},
        {spaced, "KOVIR", "CODEFILE", "<missing>"},
        {spaced, "OTHER", "DELAY", "<missing>"},
        {quoted, "S", "A", "C:\\x y"},  // quotes come off only as a matching pair
        {quoted, "S", "B", "single"},
        {quoted, "S", "C", "\"mixed'"},
        {quoted, "S", "D", "\""},
        {quoted, "S", "E", ""},
        {quoted, "S", "F", " padded "},
        {quoted, "S", "G", "a\"b\""},
        {repeated, "K", "A", "1"},
        {repeated, "K", "B", "<missing>"},  // a repeated section is never consulted
        {repeated, "OTHER", "A", "9"},
        {stray, "K", "A", "1"},
        {stray, "broken header", "A", "<missing>"},
        {stray, "K2", "B", "2"},
        {"[K]\r\nA=1\r\nB=2", "K", "A", "1"},
        {"[K]\r\nA=1\r\nB=2", "K", "B", "2"},
        {"\xEF\xBB\xBF[K]\nA=1\n", "K", "A", "1"},
        {"[K]\nA=x\r", "K", "A", "x"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Get(r.text, r.section, r.key), r.value) << r.text << r.section << "/" << r.key;
}

TEST(IniTextRead, SectionListsKeysInOrderOnce) {
    const std::string text = "[PORTS]\nCOM3=/dev/a\n;x\ncom3=/dev/b\nCOM1='/dev/c'\n[K]\nZ=1\n";
    IniKeyValues keys = IniText_Section(text, "ports");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0], (std::pair<std::string, std::string>("COM3", "/dev/a")));
    EXPECT_EQ(keys[1], (std::pair<std::string, std::string>("COM1", "/dev/c")));
    EXPECT_TRUE(IniText_Section(text, "NONE").empty());
}

TEST(IniTextNumbers, LeadingDigitsOnlyAndNoWrapAround) {
    EXPECT_EQ(IniText_ParseUnsigned("1382400"), 1382400u);
    EXPECT_EQ(IniText_ParseUnsigned(" \t12abc"), 12u);
    EXPECT_EQ(IniText_ParseUnsigned("abc"), 0u);
    EXPECT_EQ(IniText_ParseUnsigned("-1"), 0u);
    EXPECT_EQ(IniText_ParseUnsigned("4294967295"), UINT_MAX);
    EXPECT_EQ(IniText_ParseUnsigned("4294967296"), UINT_MAX);
}

TEST(IniTextSet, ChangesOnlyTheKeysLineInTheTextsLineEndStyle) {
    const struct {
        const char *before, *section, *key, *after;
    } rows[] = {
        {"; made on Windows\r\n[Other]\r\nDelay=7\r\n\r\n[KOVIR]\r\n  delay = 5 ; old\r\nX=1\r\n",
         "KOVIR", "DELAY",
         "; made on Windows\r\n[Other]\r\nDelay=7\r\n\r\n[KOVIR]\r\nDELAY=9\r\nX=1\r\n"},
        // A new key follows the last key line of its section.
        {"[K]\nA=1\n; trailing note\n\n[L]\nB=2\n", "K", "C",
         "[K]\nA=1\nC=9\n; trailing note\n\n[L]\nB=2\n"},
        {"[K]\n; nothing yet\n[L]\n", "K", "C", "[K]\nC=9\n; nothing yet\n[L]\n"},
        {"[K]", "K", "C", "[K]\nC=9\n"},
        {"[K]\r\nA=1", "K", "C", "[K]\r\nA=1\r\nC=9\r\n"},
        // A new section goes at the end.
        {"", "KOVIR", "A", "[KOVIR]\nA=9\n"},
        {"[L]\r\nB=2", "K", "A", "[L]\r\nB=2\r\n[K]\r\nA=9\r\n"},
        {"[K\nA=0\n", "K", "A", "[K\nA=0\n[K]\nA=9\n"},  // an unclosed header is no section
        // Only the first of repeated keys and sections changes.
        {"[K]\nA=1\nA=2\n[K]\nA=3\n", "k", "a", "[K]\na=9\nA=2\n[K]\nA=3\n"},
        {"[K]\nA=1\n[K]\nB=3\n", "K", "B", "[K]\nA=1\nB=9\n[K]\nB=3\n"},
    };
    for (const auto& r : rows) EXPECT_EQ(Set(r.before, r.section, r.key, "9"), r.after) << r.before;
    std::string empty;
    ASSERT_TRUE(IniText_Set(&empty, "KOVIR", "A", "1", "\r\n"));
    EXPECT_EQ(empty, "[KOVIR]\r\nA=1\r\n");
}

TEST(IniTextSet, EveryValueReadsBackAsWritten) {
    const char* values[] = {"",   "plain", " lead", "trail\t",   "\"both\"",      "'both'",
                            "\"", "'x\"",  "\"\"",  "a = b ; c", "경로\\파일.bin"};
    for (const char* value : values) {
        std::string text = Set("[K]\nA=old\n", "K", "A", value);
        EXPECT_EQ(Get(text, "K", "A"), value) << text;
    }
}

TEST(IniTextSet, RefusesWhatAFileCannotHoldAndChangesNothing) {
    const std::string original = "[K]\nA=1\n";
    struct Case {
        const char* section;
        const char* key;
        std::string_view value;
    } cases[] = {
        {"K", "A", "two\nlines"}, {"K", "A", "cr\r"},   {"K", "A", std::string_view("n\0l", 3)},
        {"K", "A=B", "1"},        {"K", ";A", "1"},     {"K", "[A", "1"},
        {"K", " A", "1"},         {"K", "", "1"},       {"K]", "A", "1"},
        {"", "A", "1"},           {"K\n[X]", "A", "1"},
    };
    for (const Case& c : cases) {
        std::string text = original;
        EXPECT_FALSE(IniText_Set(&text, c.section, c.key, c.value, "\n"))
            << c.section << "/" << c.key;
        EXPECT_EQ(text, original);
    }
}

TEST(IniTextRemove, TakesTheKeyLineOutWithItsLineEnd) {
    std::string text = "[K]\r\nA=1\r\nB=2\r\n[L]\r\nA=3\r\n";
    ASSERT_TRUE(IniText_Remove(&text, "K", "a"));
    EXPECT_EQ(text, "[K]\r\nB=2\r\n[L]\r\nA=3\r\n");
    ASSERT_TRUE(IniText_Remove(&text, "K", "missing"));
    ASSERT_TRUE(IniText_Remove(&text, "none", "A"));
    // A name that cannot stand in the file is refused, whichever of the two it is.
    EXPECT_FALSE(IniText_Remove(&text, "K", "B=2"));
    EXPECT_FALSE(IniText_Remove(&text, "K]", "B"));
    EXPECT_EQ(text, "[K]\r\nB=2\r\n[L]\r\nA=3\r\n");
}

}  // namespace
