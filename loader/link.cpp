#include "loader/link.h"

#include <algorithm>
#include <chrono>

#include "core/channel_tables.h"
#include "core/debug_trace.h"
#include "loader/crc16.h"
#include "loader/frame_io.h"
#include "loader/image_transfer.h"
#include "loader/loader_commands.h"
#include "loader/loader_testing.h"
#include "serial/port_service.h"

LinkRecord FN[CHANNEL_COUNT];
uint8_t g_nAckCode;
uint8_t g_nNakCode;

namespace {

int s_headerLength[CHANNEL_COUNT];
uint8_t s_lastSeq[CHANNEL_COUNT];
uint32_t s_txCrc[CHANNEL_COUNT];
uint32_t s_rxCrc[CHANNEL_COUNT];
// Per sequence number: the bytes its packet put on the line (escapes and flags counted; 0
// while it is not sent) and whether it is a block the loader must program.
int s_slotLineBytes[CHANNEL_COUNT][4];
bool s_slotIsBlock[CHANNEL_COUNT][4];
// Per sequence number: the tag of the packet it carries, plus one (0: none); and the tag the
// next packet takes.
int s_slotTag[CHANNEL_COUNT][4];
int s_nextTag[CHANNEL_COUNT];

using Clock = std::chrono::steady_clock;

// The bytes of every unanswered packet still to cross the line, and whether one of them is a
// block, turned into the time a wait must allow beyond its polls before it gives up.
std::chrono::milliseconds UnansweredLineTime(int channel) {
    const LinkRecord& fn = FN[channel];
    int64_t bytes = 0;
    bool block = false;
    for (int k = 0; k < 4; ++k) {
        if (fn.ack[k] != 0) continue;
        bytes += s_slotLineBytes[channel][k];
        block = block || s_slotIsBlock[channel][k];
    }
    return std::chrono::milliseconds(SERIAL_LineTimeMs(bytes, g_nChannelBaud[channel]) +
                                     (block ? LINK_BLOCK_PROGRAM_MS : 0));
}

// How long a wait may go on: at least `polls` polls, and at least `polls` ms plus the line
// time of what is still unanswered. A poll ends early when input arrives, so bytes that
// complete no answer (boot messages, line noise) would otherwise use the polls up early.
struct WaitBudget {
    int polls;
    Clock::time_point deadline;

    WaitBudget(int channel, int pollCount)
        : polls(pollCount),
          deadline(Clock::now() + std::chrono::milliseconds(pollCount) +
                   UnansweredLineTime(channel)) {}

    // Packets were sent again: allow for their line time too.
    void Extend(int channel) {
        deadline = std::max(deadline, Clock::now() + UnansweredLineTime(channel));
    }

    bool Spent() const { return polls <= 0 && Clock::now() >= deadline; }
};

bool WindowOpen(const LinkRecord& fn) {
    return fn.tx_no - fn.rx_no < 4 && fn.ack[fn.tx_no & 3] == g_nAckCode;
}

bool AllAnswered(const LinkRecord& fn) { return fn.tx_no == fn.rx_no && fn.error_no == -1; }

bool AnsweredOrMarked(const LinkRecord& fn) { return fn.tx_no == fn.rx_no || fn.error_no != -1; }

// One reader step, the condition, the channel's active flag, a pause of up to 1 ms, until the
// condition holds, the channel stops, its device goes away or the budget is spent (what is
// left stays in it).
template <typename Condition>
int PollUntil(int channel, WaitBudget* budget, Condition condition) {
    if (condition(FN[channel])) return 1;
    if (budget->polls <= 0) return 0;  // a wait of no polls does not wait
    while (!budget->Spent()) {
        budget->polls -= 1;
        SERIAL_PORT_DoReading(channel);
        if (condition(FN[channel])) return 1;
        // A device that went away, or a write that failed, leaves nothing to wait for: no
        // answer can come for what did not go out.
        if (g_bChannelActive[channel] == 0 || SERIAL_PORT_WriteFailed(channel) ||
            SERIAL_PORT_Gone(channel)) {
            return 0;
        }
        SERIAL_PORT_WaitInput(channel, 1);
    }
    return 0;
}

template <typename Condition>
int PollUntil(int channel, int polls, Condition condition) {
    WaitBudget budget(channel, polls);
    return PollUntil(channel, &budget, condition);
}

}  // namespace

void LinkReset(int channel) {
    // Stored only when they change: a channel reset while other channels' workers read them
    // (a station starting one terminal) must not write them.
    if (g_nAckCode != LOADER_CODES[0]) g_nAckCode = LOADER_CODES[0];
    if (g_nNakCode != LOADER_CODES[1]) g_nNakCode = LOADER_CODES[1];
    s_headerLength[channel] = 1;
    s_lastSeq[channel] = 0;
    LinkResetCounters(channel);
}

void LOADER_ResetForTest(int channel) {
    FN[channel] = LinkRecord{};
    s_lastSeq[channel] = 0;
    for (int& tag : s_slotTag[channel]) tag = 0;
    s_nextTag[channel] = 0;
    SERIAL_PORT_ResetDeframer(channel);
    PACKET_ResetChannel(channel);
}

void LinkResetCounters(int channel) {
    LinkRecord& fn = FN[channel];
    fn.tx_no = fn.rx_no;
    fn.error_no = -1;
    fn.error_count = 0;
    fn.tx_timeout = 0;
    for (uint8_t& a : fn.ack) a = g_nAckCode;
    for (int& tag : s_slotTag[channel]) tag = 0;
    s_nextTag[channel] = 0;
}

void LinkTagNextPacket(int channel, int tag) { s_nextTag[channel] = tag + 1; }

int LinkHeaderLength(int channel) { return s_headerLength[channel]; }

void SendPacket(int channel, uint8_t* data, int start, int end) {
    LinkRecord& fn = FN[channel];
    const int seq = fn.tx_no & 3;
    data[0] = static_cast<uint8_t>(seq);
    fn.ack[seq] = 0;
    fn.tx_no += 1;
    s_slotLineBytes[channel][seq] = 0;
    s_slotIsBlock[channel][seq] = data[start] == WRITE;
    s_slotTag[channel][seq] = s_nextTag[channel];
    s_nextTag[channel] = 0;
    CRC16_Append(s_txCrc[channel], data, start, end - start);
    if (WaitWindow(channel, LINK_WINDOW_POLLS) == 0) {
        fn.tx_timeout = 1;
        s_slotTag[channel][seq] = 0;
        return;
    }
    s_slotLineBytes[channel][seq] = SERIAL_PORT_WriteFrame(channel, data, 0, end + 2);
    // A device that went away under the write took the packet nowhere, as a window without
    // room does: the image fails with the window's usual text.
    if (SERIAL_PORT_Gone(channel)) {
        fn.tx_timeout = 1;
        s_slotTag[channel][seq] = 0;
    }
}

void ResendMarked(int channel) {
    LinkRecord& fn = FN[channel];
    if (fn.error_no == -1) return;
    const int seq = fn.error_no & 3;
    fn.error_no = -1;
    // Look through the four buffers once, starting at the current one; only a buffer that
    // still holds the wanted packet is taken, so a failed search leaves the rotation alone.
    int steps = PACKET_FindBySequence(channel, seq);
    if (steps < 0) {
        // The refused packet can no longer go out again: count it, so the image fails
        // rather than silently missing a block.
        DEBUG_Trace("[Ch %d] ResendMarked: no buffer holds sequence %d\n", channel, seq);
        fn.error_count += 1;
        return;
    }
    for (int i = 0; i < steps; ++i) TakePacketBuffer(channel);
    PacketBuffer* packet = PACKET_Current(channel);
    s_nextTag[channel] = s_slotTag[channel][seq];  // the packet keeps its tag under a new number
    s_slotTag[channel][seq] = 0;
    SendPacket(channel, packet->data, packet->start, packet->end);
}

int WaitWindow(int channel, int polls) {
    // No room for a packet that cannot go out: it is dropped as on a time-out, so the image
    // fails with the window's usual text.
    if (SERIAL_PORT_Gone(channel)) return 0;
    return PollUntil(channel, polls, WindowOpen);
}

int WaitAllAnswered(int channel, int polls) { return PollUntil(channel, polls, AllAnswered); }

int LinkDrain(int channel, int polls) {
    LinkRecord& fn = FN[channel];
    WaitBudget budget(channel, polls);
    int resends = 0;
    for (;;) {
        if (fn.error_no != -1) {
            if (++resends > LINK_DRAIN_RESENDS) return 0;
            ResendMarked(channel);
            if (fn.tx_timeout != 0) return 0;
            budget.Extend(channel);
        }
        if (PollUntil(channel, &budget, AnsweredOrMarked) == 0) return 0;
        if (AllAnswered(fn)) {
            for (uint8_t& a : fn.ack) a = g_nAckCode;
            return 1;
        }
    }
}

void FLASH_DOWNLOADER_Receive(int channel, const uint8_t* body, int from, int to) {
    LinkRecord& fn = FN[channel];
    if (to - from < s_headerLength[channel] + 2) return;
    const int n = fn.rx_no;
    fn.rx_no = n + 1;
    const uint8_t seqByte = body[from];
    if (seqByte > 3) {
        FLASH_DOWNLOADER_Receive_CRC_error(channel, s_lastSeq[channel] + 1);
        return;
    }
    if (!CRC16_Check(s_rxCrc[channel], body, from + 1, to - from - 1)) {
        FLASH_DOWNLOADER_Receive_CRC_error(channel, n);
        return;
    }
    const uint8_t code = body[from + 1];
    const int k = seqByte & 3;
    if (fn.ack[k] != 0) {
        // No packet of this sequence number waits for an answer: a duplicate or a stray. It
        // must not stand in for the answer of a packet that went missing, so it is not
        // counted as an answer, and it is an error.
        DEBUG_Trace("[Ch %d] FLASH_DOWNLOADER_Receive() answer for seq %d that none awaits\n",
                    channel, k);
        fn.rx_no = n;
        fn.error_count += 1;
        return;
    }
    if (code == g_nAckCode) {
        fn.ack[k] = g_nAckCode;
        const int tag = s_slotTag[channel][k];
        s_slotTag[channel][k] = 0;
        if (tag != 0) IMAGE_TRANSFER_Acknowledged(channel, tag - 1);
    } else if (code == g_nNakCode) {
        fn.ack[k] = g_nNakCode;
        // The reason sits two places after the code; a valid NAK body always has it.
        if (to - from > 3 && body[from + 3] == 1) {
            fn.error_no = n;
            DEBUG_Trace("FLASH_DOWNLOADER_Receive() FN.error_no = %d\n", n);
        } else {
            fn.error_count += 1;
        }
    } else {
        fn.ack[k] = g_nAckCode;
        s_lastSeq[channel] = static_cast<uint8_t>(n & 3);
        fn.error_count += 1;
    }
}

void FLASH_DOWNLOADER_Receive_CRC_error(int channel, int seq) {
    LinkRecord& fn = FN[channel];
    // No resend mark: the rx count names a packet sent earlier, which may be an ERASE whose
    // area has been written since. The error already fails the image.
    DEBUG_Trace("FLASH_DOWNLOADER_Receive_CRC_error() FN.error_no = %d\n", fn.error_no);
    fn.ack[seq & 3] = g_nNakCode;
    fn.error_count += 1;
}
