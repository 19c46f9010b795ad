// kovirw-cli as an operator or a script uses it: a working directory with kovirw.ini and a
// profile, terminals simulated in the same process, the program run as a child.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/pty_peer.h"
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

    void StartTerminals(int count, const std::vector<std::string>& faults = {}, long baud = 0) {
        termsim::Options options;
        options.count = count;
        options.baud = baud;
        options.firstCom = 21;
        options.portDir = m_ports.path();
        std::string error;
        ASSERT_TRUE(termsim::ParseFaultSpecs(faults, &options.faults, &error)) << error;
        ASSERT_TRUE(m_sim.Start(options, &error)) << error;
    }

    // shell: what the shell does first (limits, traps, exec).
    Result Run(const std::string& args, const std::string& shell = "") {
        std::string cmd = "cd '" + m_dir + "' && " + shell + " " KOVIRW_CLI " --no-progress " +
                          args + " >out.txt 2>err.txt";
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

    // A full disk (writes refused past 0 bytes) leaves the old report whole and no stray file.
    r = Run("--report report.json", "trap '' XFSZ; ulimit -f 0;");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Read("report.json"), report);
    EXPECT_NE(std::system(("ls -A '" + m_dir + "' | grep -q tmp").c_str()), 0);
    // A reader of the output that goes away does not end the run; the report is written.
    ASSERT_EQ(std::system(("cd '" + m_dir + "' && " KOVIRW_CLI " --report piped.json | true")
                              .c_str()),
              0);
    EXPECT_EQ(Read("piped.json").find("\"result\":\"failed\""), std::string::npos);
    EXPECT_NE(Read("piped.json").find("\"result\":\"done\""), std::string::npos);
}

// A stop signal during the run stops every channel; the report names the stop and what was
// sent, digest included. The FIFO as an image is never read before the run.
TEST_F(CliTest, StopSignalMidFlashReportsWhatWasSent) {
    StartTerminals(1, {}, 460800);
    Profile("DATACHECK=1\r\nDATAFILE=" + m_dir + "/fifo\r\nDATAADDRESS=2000000\r\n");
    Write("font.fnt", std::string(1 << 20, 'F'));
    ASSERT_EQ(mkfifo((m_dir + "/fifo").c_str(), 0600), 0);
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=21\n");
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c",
              ("cd '" + m_dir + "' && exec " KOVIRW_CLI " --report r.json >out.txt 2>err.txt")
                  .c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && Read("out.txt").find("binary downloading") == std::string::npos; ++i)
        usleep(50 * 1000);
    usleep(1000 * 1000);  // some blocks out, most of the 23 s image still to go
    kill(pid, SIGTERM);
    int raw = -1;
    for (int i = 0; i < 200 && waitpid(pid, &raw, WNOHANG) == 0; ++i) usleep(50 * 1000);
    if (!WIFEXITED(raw)) kill(pid, SIGKILL);
    ASSERT_TRUE(WIFEXITED(raw)) << Read("out.txt");
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_NE(Read("out.txt").find("CH0: stopped"), std::string::npos);
    const std::string report = Read("r.json");
    EXPECT_NE(report.find("\"result\":\"stopped\",\"error\":\"ERR: ["), std::string::npos);
    const size_t at = report.find("\"sent\":");
    ASSERT_NE(at, std::string::npos) << report;
    const long sent = std::atol(report.c_str() + at + 7);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 1 << 20);
    EXPECT_NE(report.find("\"sha256\":\"" + SHA256_Hex(std::string(sent, 'F'))), std::string::npos);
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

    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\n");  // no channel with a port
    r = Run("");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no channel has a port"), std::string::npos);
    // Never a run that would write past the top of the address space.
    Write("top.kvr",
          "[KOVIR]\nCODECHECK=0\nFONTCHECK=1\nFONTFILE=font.fnt\nFONTADDRESS=FFFFFFFF\n");
    r = Run("--profile top.kvr --port 0=21");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("Invalid Font Image/Address !\nfont.fnt: 40000 bytes from address "
                          "FFFFFFFF run past the top",
                          0),
              0u);
    // Never a report over the settings or the profile, whatever name reaches them.
    const std::string before = Read("kovirw.ini") + Read("default.kvr");
    ASSERT_EQ(symlink("default.kvr", (m_dir + "/link.json").c_str()), 0);
    for (const char* target : {"./kovirw.ini", "link.json"}) {
        r = Run(std::string("--port 0=21 --report ") + target);
        EXPECT_EQ(r.status, 2) << target;
        EXPECT_NE(r.err.find("would replace"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Read("kovirw.ini") + Read("default.kvr"), before);
}

}  // namespace
