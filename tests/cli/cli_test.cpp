// kovirw-cli as an operator or a script uses it: a working directory with kovirw.ini and a
// profile, terminals simulated in the same process, the program run as a child.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ports/udev_port_map.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/sim_start.h"
#include "tests/support/test_files.h"
#include "tools/termsim/termsim.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
  protected:
    void Write(const std::string& name, const std::string& text) {
        WriteText(m_dir + "/" + name, text);
    }
    std::string Read(const std::string& name) { return ReadText(m_dir + "/" + name); }

    void StartTerminals(int count, const std::vector<std::string>& faults = {}, long baud = 0) {
        std::string error;
        ASSERT_TRUE(m_sim.Start(SimOptions(count, 21, m_ports.path(), "", faults, 0, baud), &error))
            << error;
    }

    // Starts the program in the background, output to out.txt and err.txt; `shell` is what
    // the shell does first (limits, traps).
    pid_t Start(const std::string& args, const std::string& shell = "") {
        const std::string command = "cd '" + m_dir + "' && " + shell + " exec " KOVIRW_CLI " " +
                                    args + " >out.txt 2>err.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    Result Run(const std::string& args, const std::string& shell = "") {
        int raw = -1;
        waitpid(Start("--no-progress " + args, shell), &raw, 0);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read("out.txt"), Read("err.txt")};
    }
    // Waits up to 30 s for `what` to stand `times` times in out.txt.
    void WaitFor(const std::string& what, size_t times = 1) {
        auto count = [&] {
            const std::string out = Read("out.txt");
            size_t n = 0;
            for (size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1))
                ++n;
            return n;
        };
        for (int i = 0; i < 600 && count() < times; ++i) usleep(50 * 1000);
        ASSERT_GE(count(), times) << what << "\n" << Read("out.txt");
    }
    // Sends `sig` and returns the exit status (-1 when the program did not exit in 10 s).
    int Signal(pid_t pid, int sig) {
        kill(pid, sig);
        int raw = -1;
        for (int i = 0; i < 200 && waitpid(pid, &raw, WNOHANG) == 0; ++i) usleep(50 * 1000);
        if (!WIFEXITED(raw)) kill(pid, SIGKILL);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    // A profile selecting Font (and optionally Data) with files of `size` bytes.
    void Profile(const std::string& extra = "") {
        Write("font.fnt", std::string(40000, 'F'));
        Write("default.kvr", "[KOVIR]\r\nCODECHECK=0\r\nFONTCHECK=1\r\nFONTFILE=" + m_dir +
                                 "/font.fnt\r\nFONTADDRESS=1A00000\r\n" + extra);
    }

    // The programs started here must not publish this machine's own adapters (should udev
    // run) into the test's port directory, where --auto and the station would take them.
    struct NoUdev {
        NoUdev() { setenv("KOVIRW_UDEV", "0", 1); }
        ~NoUdev() { unsetenv("KOVIRW_UDEV"); }
    } m_noUdev;
    ScopedPortDir m_ports;
    ScratchDir m_scratch;
    const std::string m_dir = m_scratch.Path();
    termsim::Simulator m_sim;
};

// COM21 and COM22 are good terminals, COM23 refuses the unlock.
TEST_F(CliTest, PortsFromTheSettingsOrOptionsAndTheReport) {
    StartTerminals(3, {"2:no-unlock"});
    Profile();
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=21\nCH3_PORT=22\n");
    const std::string before = Read("kovirw.ini") + Read("default.kvr");
    Result r = Run("--report report.json");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
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

    // A full disk (writes refused past 0 bytes) leaves the old report whole and no stray file.
    r = Run("--report report.json", "trap '' XFSZ; ulimit -f 0;");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Read("report.json"), report);
    EXPECT_NE(std::system(("ls -A '" + m_dir + "' | grep -q tmp").c_str()), 0);
    // A reader of the output that goes away does not end the run; the report is written.
    ASSERT_EQ(
        std::system(("cd '" + m_dir + "' && " KOVIRW_CLI " --report piped.json | true").c_str()),
        0);
    EXPECT_NE(Read("piped.json").find("\"result\":\"done\""), std::string::npos);

    // --port entries replace the settings' ports; a failing channel makes the status 1.
    r = Run("--port 5=21 --port 6=23 --report r.json");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("CH5: 1개 파일"), std::string::npos);
    EXPECT_NE(Read("r.json").find("\"error\":\"ERR: Unlock\""), std::string::npos);
    EXPECT_EQ(Read("r.json").find("\"port\":22"), std::string::npos);
    // The developer's trace, when asked for, says which port would not open and why.
    r = Run("--port 4=29", "KOVIRW_TRACE=1");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("[Ch 4] CreateFile(" + m_ports.path() +
                         "/COM29) False = 2\n[Ch 4] g_hSerialDevice == NULL\n"),
              std::string::npos)
        << r.err;
    // Auto: the terminals that are there are taken in COM order.
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=1\n");
    r = Run("--auto 1");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Detect COM21 Port"), std::string::npos);
}

// A terminal whose device goes away mid-image (its cable pulled: reads fail with EIO and
// poll reports POLLHUP, while nobody tells the batch run) ends its channel at once instead of
// waiting out the line-scaled waits, which took 50 s at 115200 baud: the run ends as soon as
// its channel has, and the report and the log say what happened.
TEST_F(CliTest, ADeviceThatWentAwayEndsItsChannelAtOnce) {
    StartTerminals(1, {"0:unplug:60000"}, 115200);
    Write("big.fnt", std::string(12 * 16384, 'F'));
    Write("default.kvr", "[KOVIR]\r\nCODECHECK=0\r\nFONTCHECK=1\r\nFONTFILE=" + m_dir +
                             "/big.fnt\r\nFONTADDRESS=1A00000\r\n");
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nBAUDRATE=115200\n");
    const pid_t pid = Start("--no-progress --port 0=21 --report run.json");
    for (int i = 0; i < 1200 && !m_sim.Counters(0).unplugged; ++i) usleep(10 * 1000);
    ASSERT_TRUE(m_sim.Counters(0).unplugged);
    const auto pulled = std::chrono::steady_clock::now();
    int raw = -1;
    while (waitpid(pid, &raw, WNOHANG) == 0 &&
           std::chrono::steady_clock::now() - pulled < std::chrono::seconds(30))
        usleep(10 * 1000);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - pulled).count();
    if (!WIFEXITED(raw)) kill(pid, SIGKILL);
    // Generous for a shared machine, yet far below the waits' 50 s.
    EXPECT_LT(seconds, 3.0);
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    EXPECT_NE(Read("out.txt").find("COM21: the device went away"), std::string::npos)
        << Read("out.txt");
    EXPECT_NE(Read("run.json").find("\"result\":\"unplugged\",\"error\":\"ERR: [1,0]\""),
              std::string::npos)
        << Read("run.json");
}

// A stop signal during the run stops every channel; the report names the stop and what was
// sent, digest included. The FIFO as an image is never read before the run.
TEST_F(CliTest, StopSignalMidFlashReportsWhatWasSent) {
    StartTerminals(1, {}, 460800);
    Profile("DATACHECK=1\r\nDATAFILE=" + m_dir + "/fifo\r\nDATAADDRESS=2000000\r\n");
    Write("font.fnt", std::string(1 << 20, 'F'));
    ASSERT_EQ(mkfifo((m_dir + "/fifo").c_str(), 0600), 0);
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=21\n");
    const pid_t pid = Start("--report r.json");
    WaitFor("binary downloading");
    usleep(1000 * 1000);  // some blocks out, most of the 23 s image still to go
    EXPECT_EQ(Signal(pid, SIGTERM), 1) << Read("out.txt");
    EXPECT_NE(Read("out.txt").find("CH0: stopped"), std::string::npos);
    const std::string report = Read("r.json");
    EXPECT_NE(report.find("\"result\":\"stopped\",\"error\":\"ERR: ["), std::string::npos)
        << report;
    const size_t at = report.find("\"sent\":");
    ASSERT_NE(at, std::string::npos) << report;
    const long sent = std::atol(report.c_str() + at + 7);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 1 << 20);
    EXPECT_NE(report.find("\"sha256\":\"" + SHA256_Hex(std::string(sent, 'F'))), std::string::npos);
}

// A terminal pulled out mid-image: the report counts the blocks it acknowledged, never
// those still on their way (here up to three more had gone to the line), and the image is not
// called complete. The answer to the last block it programmed may be lost with the cable.
TEST_F(CliTest, PulledTerminalReportsWhatItHolds) {
    StartTerminals(1, {"0:unplug:41000"}, 460800);  // in the third block
    std::string image(10 * 16384, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 % 253);
    Profile();
    Write("font.fnt", image);
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=21\n");
    Result r = Run("--report r.json");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out.find("download complete!"), std::string::npos) << r.out;
    m_sim.Stop();
    const std::vector<termsim::FlashRange> flash = m_sim.CurrentFlash(0);
    ASSERT_EQ(flash.size(), 1u);
    size_t held = 0;
    while (held < image.size() && flash[0].bytes[held] == static_cast<uint8_t>(image[held])) ++held;
    EXPECT_EQ(held, 2u * 16384);
    const std::string report = Read("r.json");
    const size_t at = report.find("\"sent\":");
    ASSERT_NE(at, std::string::npos) << report;
    const size_t sent = std::stoul(report.substr(at + 7));
    EXPECT_TRUE(sent == held || sent + 16384 == held) << report;
    EXPECT_NE(report.find("\"sha256\":\"" + SHA256_Hex(image.substr(0, sent)) + "\",\"sent\":" +
                          std::to_string(sent) + ",\"of\":163840,\"complete\":false"),
              std::string::npos)
        << report;
}

// Every usage or selection error exits with 2 and says why, before any terminal is touched;
// which addresses pass is the console core's to test. Never a report or a log over the
// settings, the profile or one of its images (selected or not), whatever name reaches them.
TEST_F(CliTest, SelectionAndUsageErrorsExitWithTwo) {
    Profile("DATACHECK=0\r\nDATAFILE=" + m_dir + "/data.dat\r\n");
    Write("data.dat", std::string(5000, 'D'));
    ASSERT_EQ(link((m_dir + "/data.dat").c_str(), (m_dir + "/hard.json").c_str()), 0);
    ASSERT_EQ(symlink("font.fnt", (m_dir + "/font.jsonl").c_str()), 0);
    Write("empty.kvr", "[KOVIR]\nCODECHECK=0\n");
    Write("noaddr.kvr", "[KOVIR]\nCODECHECK=0\nFONTCHECK=1\nFONTFILE=x\nFONTADDRESS=\n");
    Write("code.kvr", "[KOVIR]\nFONTCHECK=1\n");  // Code first, with no file by default
    Write("top.kvr",
          "[KOVIR]\nCODECHECK=0\nFONTCHECK=1\nFONTFILE=font.fnt\nFONTADDRESS=FFFFFFFF\n");
    ASSERT_EQ(symlink("default.kvr", (m_dir + "/link.json").c_str()), 0);
    const struct {
        const char *ini, *args, *err;
    } kCases[] = {
        {"AUTODETECT=0\nCH0_PORT=21", "--profile empty.kvr", "Select Image !\n"},
        {"AUTODETECT=0\nCH0_PORT=21", "--profile noaddr.kvr", "Invalid Font Image/Address !\n"},
        {"AUTODETECT=0\nCH0_PORT=21", "--profile code.kvr", "Invalid Code Image/Address !\n"},
        {"AUTODETECT=0\nCH0_PORT=21\nBAUDRATE=4800", "",
         "kovirw-cli: BAUDRATE=4800 in kovirw.ini is below 9600"},
        {"AUTODETECT=0\nCH0_PORT=21", "--port 9=1", "kovirw-cli: --port takes CH=N"},
        {"AUTODETECT=1", "", "kovirw-cli: automatic port detection is on"},
        {"AUTODETECT=1", "--auto 2 --auto-timeout 0.2", "kovirw-cli: fewer than 2 ports"},
        {"AUTODETECT=0", "", "kovirw-cli: no channel has a port"},
        {"AUTODETECT=0", "--profile top.kvr --port 0=21",
         "Invalid Font Image/Address !\nfont.fnt: 40000 bytes from address FFFFFFFF run past"},
        {"AUTODETECT=0", "--port 0=21 --report ./kovirw.ini", "would replace"},
        {"AUTODETECT=0", "--port 0=21 --report link.json", "would replace"},
        {"AUTODETECT=0", "--station --log nodir/units.jsonl",
         "cannot write the log nodir/units.jsonl: No such file"},
        {"AUTODETECT=0", "--station --log kovirw.ini", "would be written into"},
        {"AUTODETECT=0", "--port 0=21 --report font.fnt", "would replace"},
        {"AUTODETECT=0", "--port 0=21 --report hard.json", "would replace"},
        {"AUTODETECT=0", "--station --log font.jsonl", "would be written into"},
        {"AUTODETECT=0", "--station --log data.dat", "would be written into"},
        {"AUTODETECT=0", "--list-ports --port 0=21", "--list-ports only lists the ports"},
    };
    for (const auto& c : kCases) {
        Write("kovirw.ini", std::string("[KOVIR]\n") + c.ini + "\n");
        Result r = Run(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_EQ(Read("font.fnt"), std::string(40000, 'F'));
    EXPECT_EQ(Read("data.dat"), std::string(5000, 'D'));
    // A line rate is quoted as written, never as the number the reader made of it.
    for (const std::string written :
         {"-9600", "abc", "+9600", "0x1C200", "\xEF\xBC\x99\xEF\xBC\x96", "1e6", "2147483648",
          "4294967296", "99999999999999999999"}) {
        Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=21\nBAUDRATE=" + written + "\n");
        Result r = Run("");
        EXPECT_EQ(r.status, 2) << written;
        EXPECT_EQ(r.err, "kovirw-cli: BAUDRATE=" + written + " in kovirw.ini is not a line rate\n");
    }
}

// --list-ports names each port's device and who made it known: a simulated terminal's link
// is nobody's, an adapter that another program publishes is that program's.
TEST_F(CliTest, ListPortsNamesWhoPublishedEach) {
    StartTerminals(1);
    UdevPortMap other(m_dir + "/other.ini", m_ports.path());
    std::string error;
    const DeviceProperties adapter = {{"ACTION", "add"},
                                      {"DEVPATH", "/devices/pci0000:00/usb1/1-2/ttyUSB0/tty/zero"},
                                      {"DEVNAME", "/dev/zero"},
                                      {"SUBSYSTEM", "tty"},
                                      {"ID_BUS", "usb"}};
    ASSERT_EQ(other.Handle(adapter, &error), 1) << error;
    const Result r = Run("--list-ports");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("2 ports in " + m_ports.path()), std::string::npos) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("COM1 +/dev/zero +/dev/zero +published by "
                                                    "another program \\(process " +
                                                    std::to_string(getpid()) + "\\)")))
        << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("COM21 +/dev/pts/[0-9]+ .* made by hand")))
        << r.out;
}

// A station of three slots, COM21 to COM23 (a terminal on COM24 is no part of it): COM21 is
// there before the start and, being named, is flashed at once; terminals arrive while others
// download, one is pulled out mid-download and a good one takes its
// slot, COM21's channel serves terminal after terminal, and Ctrl+C stops the last download.
// Every terminal is a fresh simulator, so each must get its images byte for byte and a
// dialogue that starts as after program start (sequence number 0).
TEST_F(CliTest, StationFlashesEachTerminalAsItArrives) {
    std::string image(384 * 1024, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 31 % 251);
    Profile();
    Write("font.fnt", image);
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\n");
    std::vector<std::unique_ptr<termsim::Simulator>> units;  // every terminal, in plug order
    std::map<int, termsim::Simulator*> plugged;              // the unit last plugged, by COM
    auto plug = [&](int com) {
        const std::string flash = m_dir + "/flash/" + std::to_string(units.size());
        std::string error;
        units.push_back(std::make_unique<termsim::Simulator>());
        // At 1382400 baud, about 3 s for the image.
        ASSERT_TRUE(
            units.back()->Start(SimOptions(1, com, m_ports.path(), flash, {}, 0, 1382400), &error))
            << error;
        plugged[com] = units.back().get();
    };
    auto unplug = [&](int com) { plugged[com]->Stop(); };

    plug(24);
    plug(21);  // unit 1: CH0
    const pid_t pid =
        Start("--station --no-progress --port 0=21 --port 5=22 --port 7=23 --log log.jsonl");
    WaitFor("CH0: MSM FONT binary downloading");
    plug(22);  // unit 2: CH1, while CH0 downloads
    plug(23);  // unit 3: CH2, pulled out below
    WaitFor("CH2: MSM FONT binary downloading");
    usleep(500 * 1000);
    unplug(23);
    WaitFor("CH2 COM23: unplugged in");
    plug(23);                                   // unit 4: a good one in its slot
    for (int round = 1; round <= 3; ++round) {  // units 5 to 7: CH0 again and again
        WaitFor("CH0 COM21: done in", static_cast<size_t>(round));
        unplug(21);
        WaitFor("CH0 COM21: unplugged, the channel is free", static_cast<size_t>(round));
        plug(21);
    }
    WaitFor("CH1 COM22: done in");
    WaitFor("CH0 COM21: done in", 4);
    unplug(22);
    WaitFor("CH1 COM22: unplugged, the channel is free");
    plug(22);  // unit 8: stopped by Ctrl+C
    WaitFor("CH1: MSM FONT binary downloading", 2);
    usleep(500 * 1000);
    EXPECT_EQ(Signal(pid, SIGINT), 1) << Read("err.txt");  // one pulled out, one stopped
    const std::string out = Read("out.txt");
    EXPECT_NE(out.find("station: 6 done, 2 failed, "), std::string::npos) << out;

    // One line per terminal as it ended, the pulled-out one first; each names the bytes
    // sent and their digest (all of the image when done, a part when stopped).
    const std::string time =
        "\"20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3}Z\"";
    const std::regex unit(
        "\\{\"start\":" + time + ",\"end\":" + time +
        ",\"port\":([0-9]+),\"device\":\"/dev/pts/[0-9]+\",\"channel\":([0-9]),"
        "\"images\":\\[\\{\"slot\":1,\"path\":\"" +
        m_dir +
        "/font.fnt\",\"size\":393216,\"sent\":([0-9]+),\"sha256\":\"([0-9a-f]*)\"\\}\\],"
        "\"result\":\"([a-z]+)\",\"error\":\"([^\"]*)\",\"seconds\":[0-9]+\\.[0-9]{3}\\}");
    std::vector<std::string> ends;
    std::istringstream log(Read("log.jsonl"));
    for (std::string line; std::getline(log, line);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, unit)) << line;
        ends.push_back(m.str(1) + "/" + m.str(2) + "/" + m.str(5));
        const size_t sent = std::stoul(m.str(3));
        EXPECT_EQ(m.str(6).empty(), m.str(5) == "done") << line;
        if (m.str(5) == "unplugged") {
            EXPECT_EQ(m.str(6), "unplugged during the download") << line;
            continue;
        }
        if (m.str(5) == "stopped") {
            EXPECT_EQ(m.str(6), "stopped during the download") << line;
        }
        EXPECT_EQ(sent == image.size(), m.str(5) == "done") << line;
        EXPECT_GT(sent, 0u) << line;
        EXPECT_EQ(m.str(4), SHA256_Hex(image.substr(0, sent))) << line;
    }
    ASSERT_EQ(ends.size(), 8u) << Read("log.jsonl");
    EXPECT_EQ(ends[0], "23/2/unplugged");
    std::sort(ends.begin(), ends.end());
    EXPECT_EQ(ends, (std::vector<std::string>{"21/0/done", "21/0/done", "21/0/done", "21/0/done",
                                              "22/1/done", "22/1/stopped", "23/2/done",
                                              "23/2/unplugged"}))
        << Read("log.jsonl");

    // Each finished terminal holds the image and was spoken to from sequence number 0.
    EXPECT_EQ(units[0]->Counters(0).packets, 0u);  // COM24 is no part of the station
    for (size_t k = 1; k < units.size(); ++k) {
        units[k]->Stop();
        if (k == 3 || k == 8) continue;  // pulled out, stopped
        const std::vector<termsim::FlashRange> flash = units[k]->LastFlash(0);
        ASSERT_EQ(flash.size(), 1u) << k;
        EXPECT_EQ(flash[0].address, 0x1A00000u);
        EXPECT_EQ(std::string(flash[0].bytes.begin(), flash[0].bytes.begin() + 393216), image) << k;
        std::ifstream packets(m_dir + "/flash/" + std::to_string(k) + "/COM" +
                              std::to_string(units[k]->ComNumber(0)) + "/packets.log");
        std::string first;
        std::getline(packets, first);
        EXPECT_EQ(first, "seq=0 code=A0 UNLOCK addr=- len=- fcs=ok") << k;
    }
}

// Without --port only arrivals are terminals: a port there before the start (a PC's own COM1)
// is left alone until it has gone away and come back.
TEST_F(CliTest, StationWithoutPortsTakesOnlyArrivals) {
    Profile();
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\n");
    termsim::Simulator there, arriving, back;
    const auto start = [&](termsim::Simulator& sim, int com) {
        std::string error;
        ASSERT_TRUE(sim.Start(SimOptions(1, com, m_ports.path(), "", {}, 0, 0), &error)) << error;
    };
    start(there, 31);
    const pid_t pid = Start("--station --no-progress --log log.jsonl");
    WaitFor("COM31 was there before the station started and is left alone");
    start(arriving, 32);
    WaitFor("CH0 COM32: done in");
    EXPECT_EQ(there.Counters(0).packets, 0u);
    there.Stop();
    usleep(300 * 1000);  // several scans of the port list
    start(back, 31);
    WaitFor("CH1 COM31: done in");
    EXPECT_EQ(Signal(pid, SIGINT), 0) << Read("out.txt");
}

// A terminal is known by its device: a link that flaps (gone for less than two scans) keeps
// its finished terminal, and one replaced in one step by a link to another terminal is that
// terminal's arrival.
TEST_F(CliTest, StationKnowsATerminalByItsDevice) {
    StartTerminals(2);
    Profile();
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\n");
    const pid_t pid = Start("--station --no-progress --port 0=21 --log log.jsonl");
    WaitFor("CH0 COM21: done in");
    const std::string com21 = m_ports.path() + "/COM21";
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(unlink(com21.c_str()), 0);
        usleep(10 * 1000);
        ASSERT_EQ(symlink(m_sim.SlavePath(0).c_str(), com21.c_str()), 0);
        usleep(60 * 1000);
    }
    ASSERT_EQ(symlink(m_sim.SlavePath(1).c_str(), (com21 + ".new").c_str()), 0);
    ASSERT_EQ(rename((com21 + ".new").c_str(), com21.c_str()), 0);
    WaitFor("CH0 COM21: done in", 2);
    EXPECT_EQ(Signal(pid, SIGINT), 0) << Read("err.txt");
    EXPECT_EQ(m_sim.SessionCount(0), 1u);
    EXPECT_EQ(m_sim.SessionCount(1), 1u);
    EXPECT_EQ(Read("out.txt").find("removed during"), std::string::npos);
}

// The log stays whole: a line the disk has no room for is taken back (and the station takes
// no further terminal), and a line cut by a crash is trimmed at start.
TEST_F(CliTest, StationLogStaysWholeOnAFullDisk) {
    StartTerminals(2);
    Profile();
    Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\n");
    Write("log.jsonl", "{\"kept\":1}\n{\"start\":\"2026-");
    // Room for 512 bytes: the kept line and one unit's line (about 350 bytes), not two.
    Result r =
        Run("--station --port 0=21 --port 1=22 --log log.jsonl", "trap '' XFSZ; ulimit -f 1;");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("log.jsonl ended in a cut line (a crash or a full disk): its 15 bytes "
                         "were dropped\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("cannot write the log log.jsonl: File too large"), std::string::npos)
        << r.err;
    const std::string log = Read("log.jsonl");
    EXPECT_EQ(log.rfind("{\"kept\":1}\n{\"start\":", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_EQ(log.substr(log.size() - 2), "}\n") << log;
}

}  // namespace
