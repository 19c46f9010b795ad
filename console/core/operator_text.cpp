#include "console/core/operator_text.h"

#include <cstdint>
#include <cstdio>

#include "core/engine_events.h"
#include "core/hex_address.h"

namespace {

const char* const kLabels[OPERATOR_SLOT_COUNT] = {"Code",      "Font",          "Data",
                                                  "Preload",   "Asic Boot",     "Asic Code",
                                                  "Asic Font", "Asic Contents", "Asic DMB"};

const char* const kInvalid[OPERATOR_SLOT_COUNT] = {
    "Invalid Code Image/Address !",      "Invalid Font Image/Address !",
    "Invalid Data Image/Address !",      "Invalid Preload Image/Address !",
    "Invalid Asic Boot Image/Address !", "Invalid Asic Code Image/Address !",
    "Invalid Asic Font Image/Address !", "Invalid Asic Contents Image/Address !",
    "Invalid Asic Image Image/Address !"};

std::string Format(const char* format, long a, long b = 0, long c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

const char OPERATOR_SelectImage[] = "Select Image !";
const char OPERATOR_LogStart[] = "Initialize.. ok!";
const char OPERATOR_DmbWritingBar[] = "DMB Writing...";

const char* OPERATOR_ProgressLabel(int slot) {
    return slot >= 0 && slot < OPERATOR_SLOT_COUNT ? kLabels[slot] : "";
}

const char* OPERATOR_InvalidMessage(int slot) {
    return slot >= 0 && slot < OPERATOR_SLOT_COUNT ? kInvalid[slot] : "";
}

bool OPERATOR_HasHexAddress(const std::string& text) {
    uint32_t address = 0;
    return HEX_ReadAddress(text.c_str(), &address);
}

int OPERATOR_CheckSelection(const SlotChoice choices[OPERATOR_SLOT_COUNT]) {
    int selected = 0;
    for (int s = 0; s < OPERATOR_SLOT_COUNT; ++s) {
        const SlotChoice& c = choices[s];
        if (!c.checked) continue;
        if (c.file.empty() || c.address.empty() || !OPERATOR_HasHexAddress(c.address)) return s;
        ++selected;
    }
    return selected == 0 ? OPERATOR_SLOT_COUNT : -1;
}

std::string OPERATOR_StatusLogLine(const EngineEventRecord& event) {
    std::string text = event.text;
    if (event.fact != FACT_SUMMARY) return text;
    const size_t at = event.timeAt > 0 ? static_cast<size_t>(event.timeAt) : 0;
    text.insert(at < text.size() ? at : text.size(), "전체 ");
    return ">>>>>>>>>>  총 " + text + "  <<<<<<<<<<";
}

std::string OPERATOR_ProgressText(int slot, int doneBytes, int totalBytes) {
    if (doneBytes == totalBytes) return "Done";
    long percent =
        totalBytes != 0 ? static_cast<long>(static_cast<int64_t>(doneBytes) * 100 / totalBytes) : 0;
    char text[256];
    std::snprintf(text, sizeof text, "%s: %ld%% [%d/%d]", OPERATOR_ProgressLabel(slot), percent,
                  doneBytes, totalBytes);
    return text;
}

std::string OPERATOR_ChannelDoneLine(int channel, bool dmbSelected) {
    if (dmbSelected)
        return Format(
            "%ld번 채널 DMB 이미지 Writing 중입니다.\r\n"
            "반드시 단말기가 리셋될 때까지 기다려 주십시오(약20초후)",
            channel);
    return Format("%ld번 채널 다운로드 완료", channel);
}

std::string OPERATOR_DetectLine(int comPort) { return Format("Detect COM%ld Port", comPort); }

std::string OPERATOR_DisconnectLine(int comPort) {
    return Format("Disconnect COM%ld Port", comPort);
}

char32_t OPERATOR_HexFieldChar(char32_t typed, size_t textLength) {
    if (typed == U'\b') {
        return typed;
    }
    const bool digit = (typed >= U'0' && typed <= U'9') || (typed >= U'a' && typed <= U'f') ||
                       (typed >= U'A' && typed <= U'F');
    if (!digit || textLength >= 8) {
        return 0;
    }
    return typed >= U'a' ? typed - (U'a' - U'A') : typed;
}

std::string OPERATOR_BaudProblem(int baud, const std::string& written) {
    const std::string quoted = "BAUDRATE=" + (written.empty() ? std::to_string(baud) : written);
    // A sign, a hexadecimal or exponent form, other digits than ASCII ones, or a number past
    // the signed 32-bit range: the reader would have made another rate of it.
    long long value = 0;
    for (char c : written) {
        if (c < '0' || c > '9' || value > INT32_MAX) {
            value = -1;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (value < 0 || value > INT32_MAX) return quoted + " in kovirw.ini is not a line rate";
    if (baud >= OPERATOR_MIN_BAUD) return std::string();
    return quoted + " in kovirw.ini is below " + std::to_string(OPERATOR_MIN_BAUD) +
           ", the lowest line rate supported";
}
