// kovirw-cli's parts that do no I/O: options and the report's strings.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"
#include "tools/cli/cli_report.h"
#include "tools/cli/sha256.h"

namespace {

TEST(CliOptions, ParsesAndRefuses) {
    CliOptions o;
    std::string error;
    EXPECT_TRUE(CLI_ParseOptions(
        {"--port", "0=3", "--port", "7=30", "--report", "r", "--auto-timeout", "2.5"}, &o, &error));
    EXPECT_EQ(o.autoTimeoutS, 2.5);
    EXPECT_EQ(o.ports[0], 3);
    EXPECT_EQ(o.ports[7], 30);
    // Refused command lines, their arguments separated by '|'.
    for (const char* line :
         {"--port|8=1", "--port|0=0", "--port|0=x", "--port", "--auto|9", "--auto-timeout|-1",
          "--auto-timeout|nan", "--auto-timeout|1e3", "--auto-timeout|0x1p3", "--auto-timeout| 5",
          "--auto-timeout|.", "--port|0=3|--port|0=4", "--auto|1|--port|0=1", "--bogus", "--log|l",
          "--station|--auto|1", "--station|--report|r"}) {
        std::vector<std::string> bad;
        std::istringstream args(line);
        for (std::string arg; std::getline(args, arg, '|');) bad.push_back(arg);
        CliOptions fresh;
        std::string why;
        EXPECT_FALSE(CLI_ParseOptions(bad, &fresh, &why)) << line;
        EXPECT_FALSE(why.empty()) << line;
    }
}

TEST(Report, JsonStringsAreEscaped) {
    EXPECT_EQ(REPORT_JsonString("a\"b\\c\n\x01한"), "\"a\\\"b\\\\c\\n\\u0001한\"");
    // Bytes that are not UTF-8 (a cut character, an overlong form) become U+FFFD in the text
    // and are kept exactly in hexadecimal beside it.
    EXPECT_EQ(REPORT_TextField("path", "/a\xff\xc0\xaf\xed\x95"),
              "\"path\":\"/a\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\",\"path_hex\":\"2f61ffc0afed95\"");
    EXPECT_EQ(REPORT_TextField("path", "/한"), "\"path\":\"/한\"");
    EXPECT_EQ(SHA256_Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(SHA256_Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
