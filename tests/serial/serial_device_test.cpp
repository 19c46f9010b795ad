// The serial device over pseudo-terminals: exclusive open, line settings, queued-count reads,
// a close that wakes a blocked writer, and the ports that must never be opened.
#include "serial/serial_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "serial/port_directory.h"
#include "serial/serial_baud.h"
#include "tests/support/pty_peer.h"
#include "tests/support/test_files.h"

namespace {

class SerialDeviceTest : public ::testing::Test {
  protected:
    ScopedPortDir m_dir;
    PtyPeer m_peer{3};
};

TEST_F(SerialDeviceTest, OpensExclusivelyByComNumberWithRawLineAndAnyRate) {
    struct termios before {};  // what another program left on the line: cooked, 9600 baud
    ASSERT_EQ(tcgetattr(m_peer.master(), &before), 0);
    before.c_lflag |= ICANON | ECHO;
    cfsetspeed(&before, B9600);
    ASSERT_EQ(tcsetattr(m_peer.master(), TCSANOW, &before), 0);
    SerialHandle a = SERIAL_DEVICE_Open(0, 3, 1382400);
    ASSERT_TRUE(a);
    EXPECT_EQ(SERIAL_DEVICE_GetBaud(a.get()), 1382400);
    EXPECT_EQ(SERIAL_DEVICE_Path(a.get()), m_dir.path() + "/COM3");

    // A second open, by us or by anybody, is refused while the first holds the port.
    EXPECT_FALSE(SERIAL_DEVICE_Open(1, 3, 115200));

    // Raw 8N1: binary bytes, XON/XOFF and CR/LF included, pass through untouched.
    struct termios tio {};
    int fd = ::open(m_peer.slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {  // root passes TIOCEXCL; then the settings can be read back
        ASSERT_EQ(tcgetattr(fd, &tio), 0);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), 0u);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
        ::close(fd);
    }
    const uint8_t data[] = {0x11, 0x13, 0x0D, 0x0A, 0x03, 0x7F, 0xFF};
    EXPECT_EQ(SERIAL_DEVICE_Write(0, a.get(), data, 0, sizeof data), 7);
    auto got = m_peer.ReadSome(1000);
    EXPECT_EQ(got, std::vector<uint8_t>(data, data + sizeof data));

    SERIAL_DEVICE_Close(0, a);
    a.reset();
    struct termios after {};  // given back as it was found
    ASSERT_EQ(tcgetattr(m_peer.master(), &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    // A rate of 0 would hang the line up: one not above 0 is refused, the line keeps its own.
    for (int rate : {0, -9600}) EXPECT_EQ(SERIAL_BAUD_Set(m_peer.master(), rate), -1) << rate;
    EXPECT_EQ(SERIAL_BAUD_Get(m_peer.master()), 9600);
    SerialHandle b = SERIAL_DEVICE_Open(1, 3, 115200);  // free again after close
    EXPECT_TRUE(b);
    SERIAL_DEVICE_Close(1, b);
}

TEST_F(SerialDeviceTest, APlainFileIsNoSerialPort) {
    WriteText(m_dir.path() + "/COM4", "");
    EXPECT_FALSE(SERIAL_DEVICE_Open(0, 4, 115200));  // a plain file is no serial port
    SERIAL_DEVICE_Close(0, nullptr);                 // a null handle is allowed
}

TEST_F(SerialDeviceTest, ReadsOnlyWhatIsQueuedAndNeverBlocks) {
    SerialHandle dev = SERIAL_DEVICE_Open(0, 3, 115200);
    ASSERT_TRUE(dev);
    uint8_t buf[8192];
    EXPECT_EQ(SERIAL_DEVICE_Read(0, dev.get(), buf, 0, 4096), 0);

    m_peer.Write(std::vector<uint8_t>(10, 0x42));
    SERIAL_DEVICE_WaitReadable(dev.get(), 1000);
    EXPECT_EQ(SERIAL_DEVICE_Read(0, dev.get(), buf, 5, 4096), 10);
    EXPECT_EQ(buf[5], 0x42);

    // More queued than asked: exactly maxBytes, the rest stays queued.
    m_peer.Write(std::vector<uint8_t>(3000, 0x24));
    int total = 0;
    for (int i = 0; i < 100 && total < 3000; ++i) {
        SERIAL_DEVICE_WaitReadable(dev.get(), 20);
        int n = SERIAL_DEVICE_Read(0, dev.get(), buf, 0, 1000);
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 1000);
        total += n;
    }
    EXPECT_EQ(total, 3000);
    SERIAL_DEVICE_Close(0, dev);
    m_peer.Write(std::vector<uint8_t>(1, 0x42));  // what comes after the close is not read
    usleep(100 * 1000);
    EXPECT_EQ(SERIAL_DEVICE_Read(0, dev.get(), buf, 0, 4096), 0);
}

// A program started with its standard input closed gets descriptor 0 for the port.
TEST_F(SerialDeviceTest, OpensOnDescriptorZero) {
    const pid_t pid = fork();
    if (pid == 0) {
        close(0);
        _exit(SERIAL_DEVICE_Open(0, 3, 115200) ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(SerialDeviceTest, CloseWakesAWriterThatNobodyReads) {
    SerialHandle dev = SERIAL_DEVICE_Open(0, 3, 115200);
    ASSERT_TRUE(dev);
    std::vector<uint8_t> big(100000, 0x55);
    int result = -2;
    SerialHandle mine = dev;  // the worker's own reference, taken before it starts
    std::thread writer([mine, &big, &result] {
        result = SERIAL_DEVICE_Write(0, mine.get(), big.data(), 0, static_cast<int>(big.size()));
    });
    usleep(100 * 1000);
    auto start = std::chrono::steady_clock::now();
    SERIAL_DEVICE_Close(0, dev);  // closes DTR/RTS too: a pseudo-terminal refuses, ignored
    dev.reset();
    writer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_GE(result, 0);
    EXPECT_LT(result, 100000);
}

// The operator's own terminal, by its name or as /dev/tty, is never opened; another
// terminal still is.
TEST(SerialDeviceTty, TheControllingTerminalIsRefused) {
    const pid_t pid = fork();
    if (pid == 0) {
        int master = -1, slave = -1, otherMaster = -1, otherSlave = -1;
        char own[256], other[256];
        if (setsid() < 0 || openpty(&master, &slave, own, nullptr, nullptr) != 0 ||
            ioctl(slave, TIOCSCTTY, 0) != 0 ||
            openpty(&otherMaster, &otherSlave, other, nullptr, nullptr) != 0)
            _exit(8);
        _exit((SERIAL_DEVICE_OpenPath(0, own, 115200) ? 1 : 0) |
              (SERIAL_DEVICE_OpenPath(0, "/dev/tty", 115200) ? 2 : 0) |
              (SERIAL_DEVICE_OpenPath(0, other, 115200) ? 0 : 4));
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// COM numbers reach up to the maximum and no further.
TEST(PortDirectory, ComNumbersReachTheMaximum) {
    const std::string top = "COM" + std::to_string(PORT_COM_MAX);
    EXPECT_EQ(PORT_DIRECTORY_ParseName(top.c_str()), PORT_COM_MAX);
    EXPECT_EQ(PORT_DIRECTORY_ParseName((top + "0").c_str()), 0);
}

// The default port directory is made private; one that another user could have planted is
// refused, and no port in it is opened. A directory the user names only gets a warning.
TEST(PortDirectory, ThePrivateDefaultIsMadeAndAPlantedOneRefused) {
    ScopedPortDir scratch;  // restores KOVIRW_PORT_DIR at the end
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedXdg = xdg != nullptr ? xdg : "";
    setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 1);
    setenv("KOVIRW_PORT_DIR", "p", 1);  // a name of one character is a name
    EXPECT_EQ(PORT_DIRECTORY_Path(), "p");
    setenv("KOVIRW_PORT_DIR", "", 1);  // empty: as if unset
    const std::string base = scratch.path() + "/kovirw", dir = base + "/ports";
    ASSERT_EQ(PORT_DIRECTORY_Path(), dir);
    unsetenv("KOVIRW_PORT_DIR");
    ASSERT_EQ(PORT_DIRECTORY_Path(), dir);
    std::string error, warning;
    ASSERT_TRUE(PORT_DIRECTORY_Ensure(dir, &error)) << error;
    struct stat st {};
    ASSERT_EQ(stat(base.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    {
        PtyPeer peer(3);
        EXPECT_TRUE(SERIAL_DEVICE_Open(0, 3, 115200));
        const std::string moved = base + ".real";
        struct Plant {
            std::function<bool()> plant, undo;
            std::string fault;
            bool needsRoot;
        };
        const Plant plants[] = {
            {[&] { return chmod(base.c_str(), 0777) == 0; },
             [&] { return chmod(base.c_str(), 0700) == 0; }, "is writable by other users", false},
            {[&] { return chown(base.c_str(), 65534, 65534) == 0; },
             [&] { return chown(base.c_str(), geteuid(), getegid()) == 0; },
             "belongs to user 65534", true},
            {[&] {
                 return rename(base.c_str(), moved.c_str()) == 0 &&
                        symlink(moved.c_str(), base.c_str()) == 0;
             },
             [&] { return unlink(base.c_str()) == 0 && rename(moved.c_str(), base.c_str()) == 0; },
             "is a symbolic link", false},
        };
        for (const Plant& p : plants) {
            if (p.needsRoot && geteuid() != 0) continue;  // only root can give a folder away
            ASSERT_TRUE(p.plant()) << p.fault;
            EXPECT_FALSE(PORT_DIRECTORY_Ensure(dir, &error)) << p.fault;
            EXPECT_NE(error.find(base + " " + p.fault), std::string::npos) << error;
            EXPECT_FALSE(SERIAL_DEVICE_Open(0, 3, 115200)) << p.fault;
            ASSERT_TRUE(p.undo()) << p.fault;
        }
    }
    const std::string file = scratch.path() + "/file";  // named, but no directory
    WriteText(file, "");
    EXPECT_FALSE(PORT_DIRECTORY_Ensure(file, &error));
    EXPECT_NE(error.find(file + ": Not a directory"), std::string::npos) << error;
    const std::string named = scratch.path() + "/named";
    setenv("KOVIRW_PORT_DIR", named.c_str(), 1);
    ASSERT_EQ(mkdir(named.c_str(), 0777) == 0 && chmod(named.c_str(), 0777) == 0, true);
    EXPECT_TRUE(PORT_DIRECTORY_Ensure(named, &error, &warning)) << error;
    EXPECT_NE(warning.find("writable by every user"), std::string::npos);
    setenv("XDG_RUNTIME_DIR", file.c_str(), 1);  // the default's folder cannot be made in a file
    unsetenv("KOVIRW_PORT_DIR");
    EXPECT_FALSE(PORT_DIRECTORY_Ensure(PORT_DIRECTORY_Path(), &error));
    EXPECT_NE(error.find(file + "/kovirw cannot be made: Not a directory"), std::string::npos)
        << error;
    if (xdg != nullptr) {
        setenv("XDG_RUNTIME_DIR", savedXdg.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

// An entry is published whole and only over what is no one's, and withdrawn only while it
// still leads where we put it: a user's link, file or later link is never touched.
TEST(PortDirectory, PublishesOverNoOnesEntryAndWithdrawsOnlyItsOwn) {
    ScratchDir dir;
    const std::string entry = PORT_DIRECTORY_EntryPath(dir.Path(), 7);
    const auto linkOf = [&] {
        char text[256] = {};
        return readlink(entry.c_str(), text, sizeof text - 1) > 0 ? std::string(text) : "";
    };
    std::string error;
    ASSERT_EQ(symlink("/dev/null", entry.c_str()), 0);
    EXPECT_EQ(PORT_DIRECTORY_Publish(entry, "/dev/zero", &error), PortPublish::kTaken);
    EXPECT_FALSE(PORT_DIRECTORY_Withdraw(entry, "/dev/zero"));
    EXPECT_EQ(linkOf(), "/dev/null");
    ASSERT_EQ(unlink(entry.c_str()), 0);
    WriteText(entry, "mine");
    EXPECT_EQ(PORT_DIRECTORY_Publish(entry, "/dev/zero", &error), PortPublish::kTaken);
    EXPECT_FALSE(PORT_DIRECTORY_Withdraw(entry, ""));
    EXPECT_EQ(ReadText(entry), "mine");
    ASSERT_EQ(unlink(entry.c_str()), 0);
    ASSERT_EQ(symlink("/dev/gone", entry.c_str()), 0);  // left by a publisher that died
    EXPECT_EQ(PORT_DIRECTORY_Publish(entry, "/dev/zero", &error), PortPublish::kPublished);
    EXPECT_EQ(linkOf(), "/dev/zero");
    EXPECT_EQ(PORT_DIRECTORY_Publish(entry, "/dev/zero", &error), PortPublish::kPublished);
    EXPECT_FALSE(PORT_DIRECTORY_Withdraw(entry, "/dev/null"));
    EXPECT_TRUE(PORT_DIRECTORY_Withdraw(entry, "/dev/zero"));
    EXPECT_EQ(dir.Names(), std::vector<std::string>());  // no temporary link left
    const std::string nowhere = dir.File("gone/COM1");
    EXPECT_EQ(PORT_DIRECTORY_Publish(nowhere, "/dev/zero", &error), PortPublish::kFailed);
    EXPECT_EQ(error, nowhere + ": No such file or directory");
}

}  // namespace
