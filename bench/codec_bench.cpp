// Microbenchmarks of the flasher's CPU paths per byte: the CRC, frame encoding with escaping
// (the pure codec and the engine's path into the transmit buffer), a whole WRITE packet from
// block to wire bytes, and deframing answers with their processing by the link layer.
// Every figure is in bytes per second of the data the path handles.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/download.h"
#include "loader/crc16.h"
#include "loader/frame_codec.h"
#include "loader/frame_io.h"
#include "loader/link.h"
#include "loader/loader_commands.h"
#include "serial/port_service.h"

namespace {

constexpr int kChannel = 0;
constexpr int kBody = LOADER_BLOCK_SIZE + 10;  // the body of a full WRITE packet

std::vector<uint8_t> RandomBytes(size_t n) {
    std::vector<uint8_t> out(n);
    uint32_t x = 2463534242u;
    for (uint8_t& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return out;
}

// A channel with no device and no pause: the transmit path runs to the write and stops
// there, so what is measured is the byte work alone.
void QuietChannel() {
    SERIAL_PORT_SetWriteDelay(0);
    SERIAL_PORT_ResetChannel(kChannel);
    SERIAL_PORT_ResetDeframer(kChannel);
    PACKET_ResetChannel(kChannel);
    LinkReset(kChannel);
}

void BM_Crc16(benchmark::State& state) {
    std::vector<uint8_t> data = RandomBytes(LOADER_BLOCK_SIZE + 2);  // room for the FCS
    uint32_t crc = 0;
    for (auto _ : state) {
        CRC16_Append(crc, data.data(), 0, LOADER_BLOCK_SIZE);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(LOADER_BLOCK_SIZE));
}
BENCHMARK(BM_Crc16);

void BM_FrameEncode(benchmark::State& state) {
    const std::vector<uint8_t> body = RandomBytes(kBody);
    std::vector<uint8_t> out(FRAME_MaxEncodedSize(kBody));
    for (auto _ : state) {
        benchmark::DoNotOptimize(FRAME_Encode(body.data(), 0, kBody, out.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBody);
}
BENCHMARK(BM_FrameEncode);

void BM_WriteFrameIntoTransmitBuffer(benchmark::State& state) {
    QuietChannel();
    const std::vector<uint8_t> body = RandomBytes(kBody);
    for (auto _ : state) SERIAL_PORT_WriteFrame(kChannel, body.data(), 0, kBody);
    state.SetBytesProcessed(state.iterations() * kBody);
}
BENCHMARK(BM_WriteFrameIntoTransmitBuffer);

// FLASH_DOWNLOADER_Write: copy into a packet buffer, number it, CRC, escape, flush. The window
// is emptied every third packet, as answers would.
void BM_WritePacket(benchmark::State& state) {
    QuietChannel();
    const std::vector<uint8_t> block = RandomBytes(LOADER_BLOCK_SIZE);
    int sent = 0;
    for (auto _ : state) {
        if (sent++ % 3 == 0) LinkResetCounters(kChannel);
        FLASH_DOWNLOADER_Write(kChannel, 0x10000, LOADER_BLOCK_SIZE, block.data());
    }
    state.SetBytesProcessed(state.iterations() * LOADER_BLOCK_SIZE);
}
BENCHMARK(BM_WritePacket);

// What a reader step hands the deframer at most while blocks stream: the answers to a full
// window, each deframed, checked and recorded in the link state. Before each read the four
// packets they answer are marked as sent, as SendPacket would.
void BM_DeframeAnswers(benchmark::State& state) {
    QuietChannel();
    std::vector<uint8_t> stream;
    for (int seq = 0; seq < PACKET_BUFFER_COUNT; ++seq) {
        uint8_t body[6] = {static_cast<uint8_t>(seq), ACK, WRITE, 0, 0, 0};
        uint32_t crc;
        CRC16_Append(crc, body, 1, 3);
        uint8_t wire[FRAME_MaxEncodedSize(6)];
        int n = FRAME_Encode(body, 0, 6, wire);
        stream.insert(stream.end(), wire, wire + n);
    }
    LinkRecord& fn = FN[kChannel];
    for (auto _ : state) {
        for (uint8_t& a : fn.ack) a = 0;
        fn.tx_no += PACKET_BUFFER_COUNT;
        SERIAL_PORT_Deframe(kChannel, stream.data(), 0, static_cast<int>(stream.size()));
        benchmark::DoNotOptimize(fn.rx_no);
    }
    if (fn.error_count != 0 || fn.rx_no != fn.tx_no)
        state.SkipWithError("answers were not accepted");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_DeframeAnswers);

// Deframing a full WRITE frame of random data (the terminal's side of the same line).
void BM_DeframeLargeFrame(benchmark::State& state) {
    const std::vector<uint8_t> body = RandomBytes(kBody);
    std::vector<uint8_t> wire(FRAME_MaxEncodedSize(kBody));
    wire.resize(static_cast<size_t>(FRAME_Encode(body.data(), 0, kBody, wire.data())));
    static Deframer deframer;
    DEFRAMER_Reset(deframer);
    int frames = 0;
    auto sink = [](void* context, const uint8_t*, int) { ++*static_cast<int*>(context); };
    for (auto _ : state)
        DEFRAMER_Feed(deframer, wire.data(), 0, static_cast<int>(wire.size()), sink, &frames);
    if (frames != state.iterations()) state.SkipWithError("frames were lost");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(wire.size()));
}
BENCHMARK(BM_DeframeLargeFrame);

}  // namespace

BENCHMARK_MAIN();
