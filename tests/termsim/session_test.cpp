// The flash model of a simulated terminal driven through its pseudo-terminal: what it
// refuses, records and carries out.
#include "support.h"

namespace {

using namespace std::chrono_literals;
using wire::Bytes;

size_t CountLines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& line : lines) {
        if (line.find(part) != std::string::npos) return true;
    }
    return false;
}

TEST(TermsimSession, ProtocolErrorsAreRecordedAndStillAcknowledged) {
    ScratchDir dir;
    termsim::Simulator sim;
    std::string error;
    ASSERT_TRUE(sim.Start(SimOptions(1, 1, dir.File("ports"), dir.File("flash"), {}, 0), &error))
        << error;
    PortClient port(sim.SlavePath(0));
    Bytes badLength = wire::Write(0x100, {1, 2, 3});
    badLength[5] = 4;  // length field says 4, three bytes follow
    const std::vector<Bytes> commands = {
        wire::Erase(0x100, 4),  // before UNLOCK
        wire::Unlock(),
        wire::Erase(0x100, 8),
        wire::Write(0x104, {1, 2, 3, 4, 5}),  // one byte past the erased range
        wire::Write(0x104, {1, 2}),           // the same again: a resend, fine
        wire::Write(0x105, {9}),              // a programmed byte with another value
        badLength,
        wire::Write(0x100, {}),
        wire::Erase(0xFFFFFF00, 0x1000),
        {0x42, 0x00},
        wire::Go(),  // before CLOSE: still ends the session
    };
    Bytes stream;
    for (size_t i = 0; i < commands.size(); ++i) {
        const Bytes f = wire::Frame(static_cast<uint8_t>(i & 3), commands[i]);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    // A body of two bytes is no packet and is not answered; one of three has no code.
    for (const Bytes& raw : {Bytes{0x7E, 0x01, 0x02, 0x7E}, Bytes{0x7E, 0x02, 0x00, 0x00, 0x7E}}) {
        stream.insert(stream.begin(), raw.begin(), raw.end());
    }
    ASSERT_TRUE(port.Send(stream));
    const auto answers = port.Answers(commands.size() + 1);
    ASSERT_EQ(commands.size() + 1, answers.size());
    for (const auto& a : answers) EXPECT_EQ(0x02, a.code);
    EXPECT_EQ(0x00, answers[0].answered);
    EXPECT_TRUE(port.Drain(100ms).empty());
    ASSERT_TRUE(sim.WaitForSessions(0, 1, 5s));

    const auto errors = sim.LastErrors(0);
    for (const char* part :
         {"(seq 2): packet without a code", "ERASE outside a session",
          "WRITE 00000104+5: 1 bytes outside every erased range (first at 00000108)",
          "WRITE 00000105+1: 1 bytes already programmed with other values (first at 00000105)",
          "WRITE 00000100: length field 4 but 3 data bytes",
          "WRITE 00000100: length 0 outside 1 to 16384", "ERASE FFFFFF00+4096 runs past the end",
          "unknown code 0x42", "GO before CLOSE"}) {
        EXPECT_TRUE(Contains(errors, part)) << part;
    }
    EXPECT_EQ(9u, errors.size());
    EXPECT_EQ(9u, CountLines(ReadText(dir.File("flash/COM1/errors.log"))));
    EXPECT_EQ(9u, sim.Counters(0).protocolErrors);
    ASSERT_EQ(1u, sim.LastFlash(0).size());
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}), sim.LastFlash(0)[0].bytes);
}

}  // namespace
