// kovirw-cli as an operator or a script uses it: a working directory with kovirw.ini and a
// profile, terminals simulated in the same process, the program run as a child.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "console/operator_text.h"
#include "tests/support/pty_peer.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_report.h"
#include "tools/cli/sha256.h"
#include "tools/termsim/termsim.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/kovirw-cli-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        m_dir = templ;
    }
    void TearDown() override {
        m_sim.Stop();
        EXPECT_EQ(std::system(("rm -rf '" + m_dir + "'").c_str()), 0);
    }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(m_dir + "/" + name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) {
        std::ifstream in(m_dir + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void StartTerminals(int count, const std::vector<std::string>& faults = {}) {
        termsim::Options options;
        options.count = count;
        options.firstCom = 21;
        options.portDir = m_ports.path();
        std::string error;
        ASSERT_TRUE(termsim::ParseFaultSpecs(faults, &options.faults, &error)) << error;
        ASSERT_TRUE(m_sim.Start(options, &error)) << error;
    }

    Result Run(const std::string& args) {
        std::string cmd = "cd '" + m_dir + "' && " KOVIRW_CLI " --no-progress " + args +
                          " >out.txt 2>err.txt";
        int raw = std::system(cmd.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Read("out.txt");
        r.err = Read("err.txt");
        return r;
    }

    // A profile selecting Font (and optionally Data) with files of `size` bytes.
    void Profile(const std::string& extra = "") {
        Write("font.fnt", std::string(40000, 'F'));
        Write("default.kvr", "[KOVIR]\r\nCODECHECK=0\r\nFONTCHECK=1\r\nFONTFILE=" + m_dir +
                                 "/font.fnt\r\nFONTADDRESS=1A00000\r\n" + extra);
    }

    ScopedPortDir m_ports;
    std::string m_dir;
    termsim::Simulator m_sim;
};

TEST_F(CliTest, PortsFromTheSettingsAndTheReport) {
    StartTerminals(2);
    Profile();
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=21\nCH3_PORT=22\n");
    const std::string before = Read("kovirw.ini") + Read("default.kvr");
    Result r = Run("--report report.json");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("CH0: Download Start"), std::string::npos);
    EXPECT_NE(r.out.find("CH3: 1개 파일, 소요시간 : 0분 1초"), std::string::npos);
    EXPECT_NE(r.out.find("3번 채널 다운로드 완료"), std::string::npos);
    EXPECT_NE(r.out.find(">>>>>>>>>>  총 1개 파일, 전체 소요시간 : 0분 1초  <<<<<<<<<<"),
              std::string::npos);
    EXPECT_EQ(Read("kovirw.ini") + Read("default.kvr"), before);  // never written

    std::string report = Read("report.json");
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2);
    EXPECT_NE(report.find("\"channel\":3,\"port\":22"), std::string::npos);
    EXPECT_NE(report.find("\"sha256\":\"" + SHA256_Hex(std::string(40000, 'F')) + "\""),
              std::string::npos);
    EXPECT_NE(report.find("\"result\":\"done\""), std::string::npos);
}

TEST_F(CliTest, PortOptionsAndAFailingChannel) {
    StartTerminals(2, {"1:no-unlock"});
    Profile();
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=1\n");
    Result r = Run("--port 5=21 --port 6=22 --report r.json");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("CH5: 1개 파일"), std::string::npos);
    EXPECT_NE(r.out.find("CH6: ERR: Unlock"), std::string::npos);
    std::string report = Read("r.json");
    EXPECT_NE(report.find("\"error\":\"ERR: Unlock\""), std::string::npos);

    // Auto: the terminals that are there are taken in COM order.
    r = Run("--auto 1");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Detect COM21 Port"), std::string::npos);
}

TEST_F(CliTest, SelectionAndUsageErrorsExitWithTwo) {
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=21\n");
    Write("empty.kvr", "[KOVIR]\nCODECHECK=0\n");
    Result r = Run("--profile empty.kvr");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Select Image !\n");

    Profile();
    Write("noaddr.kvr", "[KOVIR]\nCODECHECK=0\nFONTCHECK=1\nFONTFILE=x\nFONTADDRESS=\n");
    r = Run("--profile noaddr.kvr");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Invalid Font Image/Address !\n");

    Write("nohex.kvr", "[KOVIR]\nCODECHECK=0\nDATACHECK=1\nDATAFILE=x\nDATAADDRESS=zz\n");
    r = Run("--profile nohex.kvr");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Invalid Data Image/Address !\n");

    // The Code image is checked first, with no file in a default profile.
    Write("code.kvr", "[KOVIR]\nFONTCHECK=1\n");
    r = Run("--profile code.kvr");
    EXPECT_EQ(r.err, "Invalid Code Image/Address !\n");

    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=21\nBAUDRATE=4800\n");
    r = Run("");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("BAUDRATE=4800 in kovirw.ini is below 9600"), std::string::npos);

    r = Run("--port 9=1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--port takes CH=N"), std::string::npos);
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=1\n");
    r = Run("");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--auto"), std::string::npos);
    r = Run("--auto 2 --auto-timeout 0.2");
    EXPECT_EQ(r.status, 2);
}

TEST(CliOptions, ParsesAndRefuses) {
    CliOptions o;
    std::string error;
    EXPECT_TRUE(CLI_ParseOptions({"--port", "0=3", "--port", "7=30", "--report", "r"}, &o, &error));
    EXPECT_EQ(o.ports[0], 3);
    EXPECT_EQ(o.ports[7], 30);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--port", "8=1"}, {"--port", "0=0"}, {"--port", "0=x"}, {"--port"},
             {"--port", "0=3", "--port", "1=3"}, {"--auto", "9"}, {"--auto-timeout", "-1"},
             {"--auto-timeout", "nan"}, {"--auto", "1", "--port", "0=1"}, {"--bogus"}}) {
        CliOptions fresh;
        EXPECT_FALSE(CLI_ParseOptions(bad, &fresh, &error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(OperatorText, LogFramingProgressAndTheDownloadCheck) {
    EXPECT_EQ(OPERATOR_LogLine("2개 파일, 소요시간 : 1분 3초"),
              ">>>>>>>>>>  총 2개 파일, 전체 소요시간 : 1분 3초  <<<<<<<<<<");
    EXPECT_EQ(OPERATOR_LogLine("Download Start"), "Download Start");
    EXPECT_EQ(OPERATOR_ProgressText(1, 16384, 40000), "Font: 40% [16384/40000]");
    EXPECT_EQ(OPERATOR_ProgressText(8, 0, 0), "Done");
    EXPECT_EQ(OPERATOR_ProgressText(0, 2000000000, 2100000000), "Code: 95% [2000000000/2100000000]");
    EXPECT_EQ(OPERATOR_ChannelDoneLine(0, false), "0번 채널 다운로드 완료");

    SlotChoice c[OPERATOR_SLOT_COUNT];
    EXPECT_EQ(OPERATOR_CheckSelection(c), OPERATOR_SLOT_COUNT);
    c[0] = {true, "/code", "18000"};
    c[1] = {true, "/font", ""};
    c[2] = {true, "", "1000"};
    EXPECT_EQ(OPERATOR_CheckSelection(c), 1);
    c[1].address = "  0x";  // "%X" reads the 0
    EXPECT_EQ(OPERATOR_CheckSelection(c), 2);
    c[2].file = "/data";
    c[2].address = "-5";
    EXPECT_EQ(OPERATOR_CheckSelection(c), 2);
    c[2].address = "abc";
    EXPECT_EQ(OPERATOR_CheckSelection(c), -1);
}

TEST(Report, JsonStringsAreEscaped) {
    EXPECT_EQ(REPORT_JsonString("a\"b\\c\n\x01한"), "\"a\\\"b\\\\c\\n\\u0001한\"");
    EXPECT_EQ(SHA256_Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(SHA256_Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
