// Publication in the port directory, start-up mistakes, and pacing to the line rate.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support.h"
#include "wire.h"

namespace {

using namespace std::chrono_literals;

std::string LinkTarget(const std::string& path) {
    char target[256];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n < 0 ? std::string() : std::string(target, static_cast<size_t>(n));
}

size_t EntriesIn(const std::string& dir) {
    size_t n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            n += name != "." && name != "..";
        }
        closedir(d);
    }
    return n;
}

using TermsimPorts = SimTest;

TEST_F(TermsimPorts, EntriesAreCompleteLinksWhileRunningAndGoneAfterStop) {
    options.firstCom = 7;
    options.count = 3;
    options.portDir = dir.Path() + "/deep/er/ports";  // made when missing
    std::string error;
    ASSERT_TRUE(sim.Start(options, &error)) << error;
    const std::string ports = options.portDir;
    EXPECT_EQ(3u, EntriesIn(ports));  // no temporary names left behind
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(7 + i, sim.ComNumber(i));
        EXPECT_EQ(ports + "/COM" + std::to_string(7 + i), sim.EntryPath(i));
        EXPECT_EQ(sim.SlavePath(i), LinkTarget(sim.EntryPath(i)));
        PortClient port(sim.EntryPath(i));  // opens through the link, as the flasher does
        EXPECT_TRUE(port.IsOpen());
        EXPECT_TRUE(port.Drain(20ms).empty());  // nothing echoed or sent unasked
    }
    sim.Stop();
    EXPECT_EQ(0u, EntriesIn(ports));
    EXPECT_EQ(0u, sim.Counters(0).bytesIn);  // queries still answer after a stop
}

TEST_F(TermsimPorts, ServesOnASerialDeviceWithoutPublishing) {
    // A pseudo-terminal's slave stands in for one end of a null-modem cable.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master) + unlockpt(master));
    options.device = ptsname(master);
    options.baud = 3000000;
    options.portDir = dir.Path() + "/ports";
    std::string error;
    ASSERT_TRUE(sim.Start(options, &error)) << error;
    EXPECT_EQ(0u, EntriesIn(options.portDir));
    const wire::Bytes unlock = wire::Frame(0, wire::Unlock());
    ASSERT_EQ(static_cast<ssize_t>(unlock.size()), write(master, unlock.data(), unlock.size()));
    pollfd p{master, POLLIN, 0};
    EXPECT_EQ(1, poll(&p, 1, 2000));  // the loader answers on the device
    sim.Stop();
    close(master);

    options.device = "/dev/null";
    EXPECT_FALSE(sim.Start(options, &error));
    EXPECT_NE(std::string::npos, error.find("/dev/null: not a serial device")) << error;
}

TEST_F(TermsimPorts, StartRefusesToClobberAndLeavesNothingBehind) {
    const std::string ports = dir.Path() + "/ports";
    ASSERT_EQ(0, mkdir(ports.c_str(), 0700));
    // A dangling link from a simulator that died is taken over; a real entry is not.
    ASSERT_EQ(0, symlink("/dev/pts/no-such-terminal", (ports + "/COM1").c_str()));
    std::ofstream(ports + "/COM3") << "user's port";
    options.count = 3;
    options.portDir = ports;
    std::string error;
    EXPECT_FALSE(sim.Start(options, &error));
    EXPECT_NE(std::string::npos, error.find(ports + "/COM3 already exists")) << error;
    EXPECT_FALSE(Exists(ports + "/COM2"));
    EXPECT_FALSE(Exists(ports + "/COM1"));  // the stale link was taken over, then withdrawn

    unlink((ports + "/COM3").c_str());
    ASSERT_EQ(0, symlink("/dev/pts/no-such-terminal", (ports + "/COM1").c_str()));
    ASSERT_TRUE(sim.Start(options, &error)) << error;
    EXPECT_EQ(sim.SlavePath(0), LinkTarget(ports + "/COM1"));
    // An entry someone replaced meanwhile is theirs; stopping must not delete it.
    unlink((ports + "/COM2").c_str());
    ASSERT_EQ(0, symlink("/dev/null", (ports + "/COM2").c_str()));
    sim.Stop();
    EXPECT_FALSE(Exists(ports + "/COM1"));
    EXPECT_EQ("/dev/null", LinkTarget(ports + "/COM2"));
}

// Whether the port is in exclusive mode, seen through a fresh descriptor (root may open it).
int ExclusiveMode(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    int excl = -1;
    if (fd >= 0 && ioctl(fd, TIOCGEXCL, &excl) != 0)
        excl = -1;
    if (fd >= 0)
        close(fd);
    return excl;
}

TEST_F(TermsimPorts, ExclusiveModeEndsWithTheFlashersLastClose) {
    if (geteuid() != 0)
        GTEST_SKIP() << "looking into a port held exclusively needs root";
    StartSim(1);
    const std::string path = sim.EntryPath(0);
    // A flasher that sets exclusive mode and closes without clearing it.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ioctl(fd, TIOCEXCL));
    EXPECT_EQ(1, ExclusiveMode(path));  // kept while the flasher has the port
    close(fd);
    EXPECT_TRUE(WaitUntil([&] { return ExclusiveMode(path) == 0; }));
}

TEST_F(TermsimPorts, BadOptionsAreReportedClearly) {
    struct Case {
        termsim::Options options;
        const char* mentions;
    };
    std::vector<Case> cases(4);
    cases[0].options.count = 0;
    cases[0].mentions = "count";
    cases[1].options.firstCom = 0;
    cases[1].mentions = "COM";
    cases[2].options.baud = -1;
    cases[2].mentions = "baud";
    cases[3].options.count = 2;
    cases[3].options.faults.resize(1);
    cases[3].options.faults[0].terminal = 2;
    cases[3].mentions = "terminal 2";
    for (auto& c : cases) {
        c.options.portDir = dir.Path();
        std::string error;
        EXPECT_FALSE(sim.Start(c.options, &error));
        EXPECT_NE(std::string::npos, error.find(c.mentions)) << error;
    }
    EXPECT_EQ(0u, EntriesIn(dir.Path()));
}

TEST_F(TermsimPorts, BaudPacesTheLine) {
    // 19200 baud takes 1920 bytes a second: 1000 bytes need about half a second.
    StartSim(1, {}, 0, 19200);
    PortClient port(sim.SlavePath(0));
    wire::Bytes stream;
    while (stream.size() < 1000) {
        const wire::Bytes f =
            wire::Frame(0, {0x33, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09});
        stream.insert(stream.end(), f.begin(), f.end());
    }
    const size_t frames = stream.size() / wire::Frame(0, {0x33, 1, 2, 3, 4, 5, 6, 7, 8, 9}).size();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.Send(stream));
    EXPECT_EQ(frames, port.Answers(frames, 10s).size());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double expected = static_cast<double>(stream.size()) / 1920.0;
    EXPECT_GT(seconds, expected * 0.7);
    EXPECT_LT(seconds, expected * 4 + 1);
}

}  // namespace
