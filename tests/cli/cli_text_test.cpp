// kovirw-cli's parts that do no I/O: options and the report's strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sha256_hex.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_report.h"

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
}

// The FIPS 180-2 vectors: empty, one block, two blocks (the length spills into a block of
// its own), and a million 'a' fed in uneven pieces with a digest taken on the way, which
// must leave the sum going.
TEST(Report, Sha256Vectors) {
    EXPECT_EQ(SHA256_Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(SHA256_Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(SHA256_Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        SHA256_Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjk"
                   "lmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    const std::string a(997, 'a');
    Sha256 digest;
    for (size_t fed = 0; fed < 1000000; fed += a.size()) {
        digest.Update(reinterpret_cast<const uint8_t*>(a.data()),
                      std::min(a.size(), 1000000 - fed));
        if (fed == 0) {
            EXPECT_EQ(digest.HexDigest(), SHA256_Hex(a));
        }
    }
    EXPECT_EQ(digest.HexDigest(),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
