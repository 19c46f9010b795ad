// A simulated terminal driven through its pseudo-terminal like a flasher would: sessions,
// answers, escaping, split frames and protocol errors.
#include <random>

#include "support.h"

namespace {

using namespace std::chrono_literals;
using wire::Bytes;

Bytes RandomImage(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes image(n);
    for (auto& b : image)
        b = static_cast<uint8_t>(random());
    // Make sure the bytes that need escaping are there in plenty.
    for (size_t i = 0; i < n; i += 97)
        image[i] = (i & 1) ? 0x7E : 0x7D;
    return image;
}

size_t CountLines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& line : lines) {
        if (line.find(part) != std::string::npos)
            return true;
    }
    return false;
}

using TermsimSession = SimTest;

TEST_F(TermsimSession, ImagesLandInTheFlashFilesByteForByte) {
    StartSim(2);
    PortClient port(sim.SlavePath(1));
    ASSERT_TRUE(port.IsOpen());
    const Bytes image = RandomImage(40000, 1);  // two full blocks and a short one
    ASSERT_TRUE(port.Send(wire::Session(0x18000, image)));
    const auto answers = port.Answers(7);
    ASSERT_EQ(7u, answers.size());
    const uint8_t codes[] = {0xA0, 0xEE, 0xDD, 0xDD, 0xDD, 0xC0, 0x90};
    for (size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(i & 3, answers[i].seq);
        EXPECT_EQ(0x02, answers[i].code);
        EXPECT_EQ(codes[i], answers[i].answered);
        EXPECT_EQ(0, answers[i].reason);
        EXPECT_EQ(6u, answers[i].length);
        EXPECT_TRUE(answers[i].fcsOk);
    }
    ASSERT_TRUE(sim.WaitForSessions(1, 1, 5s));
    EXPECT_EQ(0u, sim.SessionCount(0));
    const std::string flashFile = Output(1, "flash-00018000.bin");
    EXPECT_EQ(std::string(image.begin(), image.end()), ReadFile(flashFile));
    EXPECT_EQ("", ReadFile(Output(1, "errors.log")));
    EXPECT_EQ("1\n", ReadFile(Output(1, "session")));
    const std::string packets = ReadFile(Output(1, "packets.log"));
    EXPECT_EQ(7u, CountLines(packets));
    EXPECT_NE(std::string::npos,
              packets.find("seq=3 code=DD WRITE addr=0001C000 len=16384 fcs=ok"));
    const auto flash = sim.LastFlash(1);
    ASSERT_EQ(1u, flash.size());
    EXPECT_EQ(0x18000u, flash[0].address);
    EXPECT_EQ(image, flash[0].bytes);

    // The next session replaces the results: the old image file goes, the new ones come.
    const Bytes small = RandomImage(100, 2);
    Bytes stream = wire::Session(0xABCDE000, small);
    const Bytes empty = wire::Frame(2, wire::Erase(0x200, 0));
    stream.insert(stream.begin() + static_cast<long>(wire::Frame(0, wire::Unlock()).size()),
                  empty.begin(), empty.end());
    ASSERT_TRUE(port.Send(stream));
    ASSERT_TRUE(sim.WaitForSessions(1, 2, 5s));
    EXPECT_FALSE(Exists(flashFile));
    EXPECT_EQ(std::string(small.begin(), small.end()), ReadFile(Output(1, "flash-ABCDE000.bin")));
    EXPECT_EQ("", ReadFile(Output(1, "flash-00000200.bin")));
    EXPECT_TRUE(Exists(Output(1, "flash-00000200.bin")));
    EXPECT_EQ("2\n", ReadFile(Output(1, "session")));
    EXPECT_EQ(2u, sim.LastFlash(1).size());
}

TEST_F(TermsimSession, BadFcsIsRefusedWithReasonOneAndNotCarriedOut) {
    StartSim(1);
    PortClient port(sim.SlavePath(0));
    Bytes stream = wire::Frame(0, wire::Unlock());
    for (const Bytes& f :
         {wire::Frame(1, wire::Erase(0, 16), true), wire::Frame(2, wire::Write(0, {1, 2})),
          wire::Frame(3, wire::Close()), wire::Frame(0, wire::Go())}) {
        stream.insert(stream.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(port.Send(stream));
    const auto answers = port.Answers(5);
    ASSERT_EQ(5u, answers.size());
    EXPECT_EQ(0x03, answers[1].code);
    EXPECT_EQ(1, answers[1].reason);
    EXPECT_EQ(0xEE, answers[1].answered);
    EXPECT_EQ(1, answers[1].seq);
    EXPECT_TRUE(answers[1].fcsOk);
    EXPECT_EQ(0x02, answers[2].code);  // acknowledged, but nothing was erased for it
    ASSERT_TRUE(sim.WaitForSessions(0, 1, 5s));
    EXPECT_TRUE(sim.LastFlash(0).empty());
    EXPECT_TRUE(
        Contains(sim.LastErrors(0), "2 bytes outside every erased range (first at 00000000)"));
    EXPECT_NE(
        std::string::npos,
        ReadFile(Output(0, "packets.log")).find("code=EE ERASE addr=00000000 len=16 fcs=bad"));
    EXPECT_EQ(1u, sim.Counters(0).badFcs);
}

TEST_F(TermsimSession, EscapesBothWaysAndSurvivesArbitrarySplits) {
    StartSim(1);
    PortClient port(sim.SlavePath(0));
    // An unknown code 0x7E comes back inside the answer, which must escape it.
    ASSERT_TRUE(port.Send(wire::Frame(1, {0x7E, 0x7D})));
    Bytes raw;
    ASSERT_TRUE(WaitUntil([&] {
        const Bytes more = port.Drain(20ms);
        raw.insert(raw.end(), more.begin(), more.end());
        return raw.size() >= 8 && raw.back() == 0x7E;
    }));
    const uint16_t fcs = wire::Crc({0x02, 0x7E, 0x00});
    const Bytes expected = wire::Escaped(
        {0x01, 0x02, 0x7E, 0x00, static_cast<uint8_t>(fcs), static_cast<uint8_t>(fcs >> 8)});
    ASSERT_GE(raw.size(), 5u);
    EXPECT_EQ((Bytes{0x7E, 0x01, 0x02, 0x7D, 0x5E}), Bytes(raw.begin(), raw.begin() + 5));
    EXPECT_EQ(expected, raw);

    // A session trickled in pieces of 1 to 7 bytes, with line noise and idle flags between.
    const Bytes image = RandomImage(5000, 3);
    Bytes stream{0x00, 0x55, 0x7E, 0x7E};
    const Bytes session = wire::Session(0x7E7D0000, image, 1000);
    stream.insert(stream.end(), session.begin(), session.end());
    std::mt19937 random(11);
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min<size_t>(1 + random() % 7, stream.size() - at);
        ASSERT_TRUE(port.Send(Bytes(stream.begin() + at, stream.begin() + at + n)));
        at += n;
    }
    ASSERT_TRUE(sim.WaitForSessions(0, 1, 5s));
    const auto flash = sim.LastFlash(0);
    ASSERT_EQ(1u, flash.size());
    EXPECT_EQ(0x7E7D0000u, flash[0].address);
    EXPECT_EQ(image, flash[0].bytes);
    EXPECT_TRUE(
        Contains(sim.LastErrors(0), "unknown code 0x7E"));  // errors before the session are kept
}

TEST_F(TermsimSession, ProtocolErrorsAreRecordedAndStillAcknowledged) {
    StartSim(1);
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
    for (const auto& a : answers)
        EXPECT_EQ(0x02, a.code);
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
    EXPECT_EQ(9u, CountLines(ReadFile(Output(0, "errors.log"))));
    EXPECT_EQ(9u, sim.Counters(0).protocolErrors);
    ASSERT_EQ(1u, sim.LastFlash(0).size());
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}), sim.LastFlash(0)[0].bytes);
}

}  // namespace
