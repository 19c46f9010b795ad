#include "bench/line_check.h"

#include <chrono>
#include <thread>
#include <vector>

#include "loader/crc16.h"
#include "loader/frame_codec.h"
#include "loader/loader_commands.h"
#include "serial/serial_device.h"

namespace {

constexpr int kChannel = 0;
constexpr int kAnswerTimeoutMs = 5000;

void AppendFrame(std::vector<uint8_t>* out, uint8_t seq, uint8_t code) {
    uint8_t body[4] = {seq, code, 0, 0};
    uint32_t crc;
    CRC16_Append(crc, body, 1, 1);
    uint8_t wire[FRAME_MaxEncodedSize(4)];
    const int n = FRAME_Encode(body, 0, 4, wire);
    out->insert(out->end(), wire, wire + n);
}

void CountFrame(void* context, const uint8_t*, int) { ++*static_cast<int*>(context); }

}  // namespace

double LINE_CHECK_Ratio(const std::string& path, long baud, long bytes, std::string* error) {
    SerialHandle port = SERIAL_DEVICE_OpenPath(kChannel, path, static_cast<int>(baud));
    if (!port) {
        *error = "cannot open " + path;
        return -1;
    }
    std::vector<uint8_t> stream(static_cast<size_t>(bytes), 0x00);
    AppendFrame(&stream, 0, UNLOCK);
    AppendFrame(&stream, 1, CLOSE);
    AppendFrame(&stream, 2, GO);

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    int offset = 0;
    const int total = static_cast<int>(stream.size());
    while (offset < total) {
        const int n = SERIAL_DEVICE_Write(kChannel, port.get(), stream.data(), offset,
                                          std::min(4096, total - offset));
        if (n <= 0) {
            *error = "the line stopped taking bytes";
            SERIAL_DEVICE_Close(kChannel, port);
            return -1;
        }
        offset += n;
    }

    static Deframer deframer;
    DEFRAMER_Reset(deframer);
    int answers = 0;
    uint8_t buffer[256];
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    while (answers < 3 && Clock::now() < deadline) {
        const int n = SERIAL_DEVICE_Read(kChannel, port.get(), buffer, 0, sizeof buffer);
        if (n < 0) break;
        if (n > 0) DEFRAMER_Feed(deframer, buffer, 0, n, CountFrame, &answers);
        if (answers < 3) SERIAL_DEVICE_WaitReadable(port.get(), 1);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    SERIAL_DEVICE_Close(kChannel, port);
    if (answers < 3) {
        *error = "the terminal did not answer";
        return -1;
    }
    return static_cast<double>(total) / seconds / (static_cast<double>(baud) / 10.0);
}
