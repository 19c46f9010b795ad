// The link layer: two-bit sequence numbers, a send window of three unanswered packets,
// ACK/NAK answers recorded per sequence number, resending what the loader asks for, and
// error counting. Everything per channel runs on that channel's worker thread; answers are
// processed only inside its reader steps.
#pragma once

#include <cstdint>

struct LinkRecord {
    int tx_no;        // packets handed to SendPacket (dropped ones included)
    int rx_no;        // frames of 3 bytes or more received, valid or not
    int error_no;     // resend mark: -1 none, else a count whose low 2 bits name the packet
    int error_count;  // errors since the last counter reset
    uint8_t ack[4];   // per sequence number: 0 unanswered, ACK code answered, NAK code refused
    int tx_timeout;   // 1 once SendPacket gave up waiting for the window
};

extern LinkRecord FN[];
extern uint8_t g_nAckCode;  // answer codes installed by LinkReset
extern uint8_t g_nNakCode;

// Poll counts of the waits.
constexpr int LINK_WINDOW_POLLS = 1200;

// Every wait lasts at least its polls, and at least as many ms as it has polls plus the
// time the line needs for the bytes of the packets still unanswered (10 bits a byte at the
// channel's rate) plus, when one of them is a block, the time a terminal may take to
// program it: a 16 KiB block programmed word by word at NOR flash's 200 us worst case takes
// 1.6 s. A wait ends earlier only when its condition holds, the channel is stopped or its
// device went away (SERIAL_PORT_Gone).
constexpr int LINK_BLOCK_PROGRAM_MS = 2000;

// Full set-up at run start: answer codes, header length 1, last_seq 0, counters.
void LinkReset(int channel);

// Empties the window: tx_no := rx_no, no mark, no errors, no time-out, all slots free.
void LinkResetCounters(int channel);

// The header length (1: byte 0 is the sequence number, the code is at byte 1).
int LinkHeaderLength(int channel);

// Numbers the packet in data (byte 0 free, the command in data[start .. end-1], two bytes
// of room after it), appends its FCS, waits up to 1200 polls for room in the window and
// writes the frame. On a window time-out the packet is dropped and tx_timeout set.
void SendPacket(int channel, uint8_t* data, int start, int end);

// Sends again the packet that the loader asked for, if a mark is set. The mark is cleared
// in every case; a packet no longer held in any of the four buffers is not sent.
void ResendMarked(int channel);

// Returns 1 once there is room for the packet just numbered, 0 when its wait (`polls` polls,
// see LINK_BLOCK_PROGRAM_MS) ran out without room, the channel is stopped or its device
// went away (then at once).
int WaitWindow(int channel, int polls);

// Returns 1 once every packet sent has been answered and no resend is pending, 0 when its
// wait (`polls` polls, see LINK_BLOCK_PROGRAM_MS) ran out or the channel is stopped.
int WaitAllAnswered(int channel, int polls);

// Waits until every packet sent has been answered, sending again what the loader asks for
// meanwhile (at most LINK_DRAIN_RESENDS times), within `polls` polls in all. Once every
// packet is answered no slot can still be waiting, so all four are free again. Returns 1 on
// success, 0 on time-out, a stopped channel, a window time-out or too many resends.
int LinkDrain(int channel, int polls);
constexpr int LINK_DRAIN_RESENDS = 4;

// Processes one received body (sequence byte .. last FCS byte, unescaped). A sound answer
// for a sequence number that no packet waits on (a duplicate, a stray) is no answer: it is
// not counted, only counted as an error.
void FLASH_DOWNLOADER_Receive(int channel, const uint8_t* body, int from, int to);

// The damaged-answer path: mark the slot refused and count the error. No resend mark is set:
// the answer's count may name a packet sent earlier than the one it answered.
void FLASH_DOWNLOADER_Receive_CRC_error(int channel, int seq);
