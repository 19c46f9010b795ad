// The termsim program itself: ready line, entries, clean exit on SIGTERM, usage errors.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support.h"

namespace {

using namespace std::chrono_literals;

struct Child {
    pid_t pid = -1;
    int out = -1;  // its stdout
    int err = -1;  // its stderr
};

Child Spawn(const std::vector<std::string>& args) {
    int out[2], err[2];
    Child child;
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return child;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(TERMSIM_EXE));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    child.pid = fork();
    if (child.pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        execv(TERMSIM_EXE, argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    child.out = out[0];
    child.err = err[0];
    return child;
}

// Reads fd until it closes or the time runs out.
std::string ReadAll(int fd, std::chrono::milliseconds timeout, const char* stopAt = nullptr) {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (stopAt != nullptr && text.find(stopAt) != std::string::npos)
            return text;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return text;
        char buffer[512];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<size_t>(n));
    }
}

int WaitExit(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + status;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

TEST(TermsimProgram, PublishesServesAndCleansUpOnSigterm) {
    TempDir dir;
    const std::string ports = dir.Path() + "/ports";
    Child child = Spawn({"--count", "2", "--first-com", "4", "--port-dir", ports, "--flash-dir",
                         dir.Path() + "/out"});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ("ready COM4..COM5\n", ReadAll(child.out, 10s, "\n"));
    EXPECT_TRUE(Exists(ports + "/COM4"));
    EXPECT_TRUE(Exists(ports + "/COM5"));
    {
        PortClient port(ports + "/COM5");
        ASSERT_TRUE(port.IsOpen());
        ASSERT_TRUE(port.Send(wire::Session(0x100, {1, 2, 3})));
        EXPECT_EQ(5u, port.Answers(5).size());
    }
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(dir.Path() + "/out/COM5/session") == "1\n"; }));
    kill(child.pid, SIGTERM);
    EXPECT_EQ(0, WaitExit(child.pid));
    EXPECT_FALSE(Exists(ports + "/COM4"));
    EXPECT_FALSE(Exists(ports + "/COM5"));
    const std::string summary = ReadAll(child.err, 1s);
    EXPECT_NE(std::string::npos, summary.find("COM5: packets 5, answers 5")) << summary;
    EXPECT_NE(std::string::npos, summary.find("COM4: packets 0")) << summary;
    close(child.out);
    close(child.err);
}

TEST(TermsimProgram, RejectsBadArgumentsWithUsage) {
    Child child =
        Spawn({"--count", "2", "--fault", "5:drop:0.1", "--port-dir", "/nonexistent-but-unused"});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(1, WaitExit(child.pid));
    EXPECT_NE(std::string::npos, ReadAll(child.err, 1s).find("terminal 5"));
    close(child.out);
    close(child.err);

    child = Spawn({"--count", "x"});
    EXPECT_EQ(2, WaitExit(child.pid));
    const std::string err = ReadAll(child.err, 1s);
    EXPECT_NE(std::string::npos, err.find("--count 'x'"));
    EXPECT_NE(std::string::npos, err.find("usage: termsim"));
    close(child.out);
    close(child.err);
}

}  // namespace
