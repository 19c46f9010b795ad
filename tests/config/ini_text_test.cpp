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

TEST(IniTextRead, NamesMatchWithoutCaseAndWhiteSpaceIsIgnored) {
    const std::string text = "  [ kovir ]  \n\tCodeCheck\t=  1  \n DELAY =2\n";
    EXPECT_EQ(Get(text, "KOVIR", "CODECHECK"), "1");
    EXPECT_EQ(Get(text, "Kovir", "delay"), "2");
    EXPECT_EQ(Get(text, "KOVIR", "CODEFILE"), "<missing>");
    EXPECT_EQ(Get(text, "OTHER", "DELAY"), "<missing>");
}

TEST(IniTextRead, QuotesComeOffOnlyAsAMatchingPair) {
    const std::string text =
        "[S]\nA=\"C:\\x y\"\nB='single'\nC=\"mixed'\nD=\"\nE=\"\"\nF= \" padded \" \nG=a\"b\"\n";
    EXPECT_EQ(Get(text, "S", "A"), "C:\\x y");
    EXPECT_EQ(Get(text, "S", "B"), "single");
    EXPECT_EQ(Get(text, "S", "C"), "\"mixed'");
    EXPECT_EQ(Get(text, "S", "D"), "\"");
    EXPECT_EQ(Get(text, "S", "E"), "");
    EXPECT_EQ(Get(text, "S", "F"), " padded ");
    EXPECT_EQ(Get(text, "S", "G"), "a\"b\"");
}

TEST(IniTextRead, FirstSectionAndFirstKeyWin) {
    const std::string text = "[K]\nA=1\na=2\n[other]\nA=9\n[k]\nA=3\nB=4\n";
    EXPECT_EQ(Get(text, "K", "A"), "1");
    // A repeated section is never consulted, even for keys the first one lacks.
    EXPECT_EQ(Get(text, "K", "B"), "<missing>");
    EXPECT_EQ(Get(text, "OTHER", "A"), "9");
}

TEST(IniTextRead, SkipsCommentsStrayLinesAndKeysOutsideSections) {
    const std::string text =
        "A=outside\n[K]\n; A=commented\nno equals sign\n=no name\n[broken header\nA=1\n"
        "[K2] ; note\nB=2\n";
    EXPECT_EQ(Get(text, "K", "A"), "1");
    EXPECT_EQ(Get(text, "broken header", "A"), "<missing>");
    EXPECT_EQ(Get(text, "K2", "B"), "2");
}

TEST(IniTextRead, LineEndsByteOrderMarkAndMissingFinalNewline) {
    EXPECT_EQ(Get("[K]\r\nA=1\r\nB=2", "K", "A"), "1");
    EXPECT_EQ(Get("[K]\r\nA=1\r\nB=2", "K", "B"), "2");
    EXPECT_EQ(Get("\xEF\xBB\xBF[K]\nA=1\n", "K", "A"), "1");
    EXPECT_EQ(Get("[K]\nA=x\r", "K", "A"), "x");
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
    EXPECT_EQ(IniText_ParseUnsigned("+5"), 0u);
    EXPECT_EQ(IniText_ParseUnsigned(""), 0u);
    EXPECT_EQ(IniText_ParseUnsigned("4294967295"), UINT_MAX);
    EXPECT_EQ(IniText_ParseUnsigned("4294967296"), UINT_MAX);
    EXPECT_EQ(IniText_ParseUnsigned("99999999999999999999"), UINT_MAX);
}

TEST(IniTextSet, ReplacesTheKeyLineAndKeepsEveryOtherByte) {
    const std::string text =
        "; made on Windows\r\n[Other]\r\nDelay=7\r\n\r\n[KOVIR]\r\n  delay = 5 ; old\r\nX=1\r\n";
    EXPECT_EQ(Set(text, "KOVIR", "DELAY", "9"),
              "; made on Windows\r\n[Other]\r\nDelay=7\r\n\r\n[KOVIR]\r\nDELAY=9\r\nX=1\r\n");
}

TEST(IniTextSet, NewKeyFollowsTheLastKeyLineOfItsSection) {
    EXPECT_EQ(Set("[K]\nA=1\n; trailing note\n\n[L]\nB=2\n", "K", "C", "3"),
              "[K]\nA=1\nC=3\n; trailing note\n\n[L]\nB=2\n");
    EXPECT_EQ(Set("[K]\n; nothing yet\n[L]\n", "K", "C", "3"), "[K]\nC=3\n; nothing yet\n[L]\n");
    EXPECT_EQ(Set("[K]", "K", "C", "3"), "[K]\nC=3\n");
    EXPECT_EQ(Set("[K]\r\nA=1", "K", "C", "3"), "[K]\r\nA=1\r\nC=3\r\n");
}

TEST(IniTextSet, NewSectionGoesAtTheEndInTheTextsLineEndStyle) {
    EXPECT_EQ(Set("", "KOVIR", "A", "1"), "[KOVIR]\nA=1\n");
    std::string empty;
    ASSERT_TRUE(IniText_Set(&empty, "KOVIR", "A", "1", "\r\n"));
    EXPECT_EQ(empty, "[KOVIR]\r\nA=1\r\n");
    EXPECT_EQ(Set("[L]\r\nB=2", "K", "A", "1"), "[L]\r\nB=2\r\n[K]\r\nA=1\r\n");
    // An unclosed header is not the section, so the section is added.
    EXPECT_EQ(Set("[K\nA=0\n", "K", "A", "1"), "[K\nA=0\n[K]\nA=1\n");
}

TEST(IniTextSet, OnlyTheFirstOfRepeatedKeysAndSectionsChanges) {
    EXPECT_EQ(Set("[K]\nA=1\nA=2\n[K]\nA=3\n", "k", "a", "x"), "[K]\na=x\nA=2\n[K]\nA=3\n");
    EXPECT_EQ(Set("[K]\nA=1\n[K]\nB=3\n", "K", "B", "x"), "[K]\nA=1\nB=x\n[K]\nB=3\n");
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
    EXPECT_EQ(text, "[K]\r\nB=2\r\n[L]\r\nA=3\r\n");
}

}  // namespace
