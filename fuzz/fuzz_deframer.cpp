// Fuzzes what arrives on the line: bytes through a channel's deframer into the link's
// answer processing. Nothing may overrun or crash, and the link record must stay sane:
// the rx count only grows, and by no more than one per frame closed; the tx count never
// moves; every slot is unanswered, ACK or NAK; the resend mark is none or an rx count.
// The same bytes fed in pieces must leave exactly the state they leave fed at once.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "loader/frame_io.h"
#include "loader/link.h"
#include "loader/loader_commands.h"
#include "loader/loader_testing.h"

namespace {

constexpr int kWhole = 0;   // the channel fed everything in one read
constexpr int kPieces = 1;  // the channel fed the same bytes in pieces

// A channel as a run leaves it after `outstanding` packets were sent and not yet answered.
void Prepare(int channel, int outstanding, int counts) {
    LOADER_ResetForTest(channel);
    FN[channel].rx_no = counts;
    LinkReset(channel);
    SERIAL_PORT_ResetDeframer(channel);
    PACKET_ResetChannel(channel);
    for (int i = 0; i < outstanding; ++i) {
        FN[channel].ack[FN[channel].tx_no & 3] = 0;
        FN[channel].tx_no += 1;
    }
}

int Flags(const uint8_t* data, size_t size) {
    int n = 0;
    for (size_t i = 0; i < size; ++i) n += data[i] == FRAME_FLAG;
    return n;
}

void CheckSane(int channel, const LinkRecord& before, int flagsSeen) {
    const LinkRecord& fn = FN[channel];
    FUZZ_CHECK(fn.tx_no == before.tx_no);
    FUZZ_CHECK(fn.rx_no >= before.rx_no && fn.rx_no - before.rx_no <= flagsSeen);
    FUZZ_CHECK(fn.error_count >= before.error_count);
    FUZZ_CHECK(fn.error_no == -1 || (fn.error_no >= 0 && fn.error_no <= fn.rx_no));
    for (uint8_t a : fn.ack) FUZZ_CHECK(a == 0 || a == ACK || a == NAK);
    FUZZ_CHECK(fn.tx_timeout == before.tx_timeout);
    const Deframer& d = g_Deframer[channel];
    FUZZ_CHECK(d.state >= DEFRAME_HUNT && d.state <= DEFRAME_ESCAPED);
    FUZZ_CHECK(d.length >= 0 && d.length <= FRAME_BODY_SIZE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // Byte 0: how many packets wait for answers (0 to 3) and where the counts stand (so
    // sequence numbers do not always start at 0). Byte 1: the seed of the piece sizes.
    const int outstanding = data[0] & 3;
    const int counts = (data[0] >> 2) * 5;
    uint32_t pieces = data[1] | 1u;
    data += 2;
    size -= 2;

    Prepare(kWhole, outstanding, counts);
    LinkRecord before = FN[kWhole];
    SERIAL_PORT_Deframe(kWhole, data, 0, static_cast<int>(size));
    CheckSane(kWhole, before, Flags(data, size));

    Prepare(kPieces, outstanding, counts);
    size_t at = 0;
    while (at < size) {
        pieces = pieces * 1103515245u + 12345u;
        size_t n = 1 + (pieces >> 16) % 64;
        if (n > size - at) n = size - at;
        before = FN[kPieces];
        SERIAL_PORT_Deframe(kPieces, data + at, 0, static_cast<int>(n));
        CheckSane(kPieces, before, Flags(data + at, n));
        at += n;
    }
    const LinkRecord& a = FN[kWhole];
    const LinkRecord& b = FN[kPieces];
    FUZZ_CHECK(a.rx_no == b.rx_no && a.error_no == b.error_no && a.error_count == b.error_count &&
               std::memcmp(a.ack, b.ack, 4) == 0);
    FUZZ_CHECK(g_Deframer[kWhole].state == g_Deframer[kPieces].state);
    FUZZ_CHECK(g_Deframer[kWhole].length == g_Deframer[kPieces].length);
    return 0;
}
