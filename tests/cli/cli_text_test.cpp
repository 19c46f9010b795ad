// kovirw-cli's parts that do no I/O: options and the report's strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/sha256_hex.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_report.h"
#include "tools/cli/station_status.h"

namespace {

TEST(CliOptions, ParsesAndRefuses) {
    CliOptions o;
    std::string error;
    EXPECT_TRUE(CLI_ParseOptions(
        {"--port", "0=3", "--port", "7=30", "--report", "r", "--auto-timeout", "2.5"}, &o, &error));
    EXPECT_EQ(o.autoTimeoutS, 2.5);
    EXPECT_EQ(o.ports[0], 3);
    EXPECT_EQ(o.ports[7], 30);
    // The web view: loopback unless an address is given; IPv6 in brackets.
    for (const auto& [arg, host, port] :
         {std::tuple<const char*, const char*, int>{"8080", "127.0.0.1", 8080},
          {"0.0.0.0:0", "0.0.0.0", 0},
          {"[::1]:9100", "::1", 9100}}) {
        CliOptions web;
        EXPECT_TRUE(CLI_ParseOptions({"--station", "--http", arg}, &web, &error)) << error;
        EXPECT_EQ(web.httpHost, host);
        EXPECT_EQ(web.httpPort, port);
    }
    // Refused command lines, their arguments separated by '|'.
    for (const char* line : {"--port|8=1",
                             "--port|0=0",
                             "--port|0=x",
                             "--port",
                             "--auto|9",
                             "--auto-timeout|-1",
                             "--auto-timeout|nan",
                             "--auto-timeout|1e3",
                             "--auto-timeout|0x1p3",
                             "--auto-timeout| 5",
                             "--auto-timeout|.",
                             "--port|0=3|--port|0=4",
                             "--auto|1|--port|0=1",
                             "--bogus",
                             "--log|l",
                             "--station|--auto|1",
                             "--station|--report|r",
                             "--http|80",
                             "--station|--http|65536",
                             "--station|--http|::1:80",
                             "--station|--http|:80",
                             "--station|--http|a/b:80"}) {
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

// The metrics a Prometheus server counts on: counters that never go back while terminals end
// mid-publication, cumulative histogram buckets, the last 20 units newest first.
TEST(StationStatus, CountersHistogramAndRecentUnits) {
    StationStatus status;
    auto sent = [&] {
        const std::string m = status.Metrics();
        const size_t at = m.find("\nkovirw_sent_bytes_total ");
        return std::stoll(m.substr(at + 25));
    };
    ChannelView channels[CHANNEL_COUNT];
    channels[0].state = channels[1].state = "busy";
    channels[0].port = 3;
    channels[1].device = "/dev/\xff";
    channels[1].text = "1개 파일";
    status.SetChannels(channels, 100);  // CH0 60 bytes, CH1 40
    EXPECT_EQ(sent(), 100);
    status.AddUnit("{\"n\":1}", "done", 3, 7.5, 80);  // CH0 ends with 20 more than published
    const long long afterEnd = sent();
    EXPECT_GE(afterEnd, 100);
    channels[0] = ChannelView{};
    status.SetChannels(channels, 45);
    EXPECT_EQ(sent(), 125);
    EXPECT_LE(afterEnd, 125);
    for (int n = 2; n <= 26; ++n)
        status.AddUnit("{\"n\":" + std::to_string(n) + "}", n % 2 ? "unplugged" : "failed", 4, 400,
                       0);
    const std::string m = status.Metrics();
    for (const char* line : {"kovirw_units_total{result=\"failed\"} 13\n",
                             "kovirw_units_total{result=\"unplugged\"} 12\n",
                             "kovirw_port_units_total{port=\"3\",result=\"done\"} 1\n",
                             "kovirw_port_units_total{port=\"4\",result=\"done\"} 0\n",
                             "kovirw_unit_duration_seconds_bucket{le=\"10\"} 1\n",
                             "kovirw_unit_duration_seconds_bucket{le=\"300\"} 1\n",
                             "kovirw_unit_duration_seconds_bucket{le=\"600\"} 26\n",
                             "kovirw_unit_duration_seconds_bucket{le=\"+Inf\"} 26\n",
                             "kovirw_unit_duration_seconds_count 26\n",
                             "kovirw_channel_state{channel=\"1\",state=\"busy\"} 1\n"})
        EXPECT_NE(m.find(line), std::string::npos) << line << m;
    const std::string json = status.Json();
    EXPECT_NE(json.find("\"units\":[{\"n\":26},{\"n\":25}"), std::string::npos) << json;
    EXPECT_NE(json.find("{\"n\":7}]}"), std::string::npos) << json;
    EXPECT_NE(json.find("\"done\":1,\"failed\":25,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"device\":\"/dev/\\ufffd\",\"device_hex\":\"2f6465762fff\""),
              std::string::npos);
    EXPECT_NE(json.find("\"text\":\"1개 파일\""), std::string::npos);
}

}  // namespace
