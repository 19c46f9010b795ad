#include "tools/cli/cli_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/config_io.h"

namespace {

// The length of the valid UTF-8 character at text[i], or 0 when the byte there starts none
// (a stray continuation byte, an overlong form, a surrogate, a cut sequence).
size_t Utf8Length(const std::string& text, size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return 1;
    size_t length;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = code << 6 | (next & 0x3F);
    }
    if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return 0;
    if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return 0;
    return length;
}

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace

std::string REPORT_JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (n == 0) {
            out += "\\ufffd";
            i += 1;
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out.append(text, i, n);
                }
        }
        i += n;
    }
    return out + "\"";
}

std::string REPORT_TextField(const std::string& name, const std::string& text) {
    std::string field = "\"" + name + "\":" + REPORT_JsonString(text);
    if (IsUtf8(text)) return field;
    field += ",\"" + name + "_hex\":\"";
    for (unsigned char c : text) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", c);
        field += hex;
    }
    return field + "\"";
}

std::string REPORT_UnitLine(const ChannelReport& unit, const char* result, const std::string& start,
                            const std::string& end, double seconds) {
    std::string line = "{\"start\":\"" + start + "\",\"end\":\"" + end +
                       "\",\"port\":" + std::to_string(unit.port) + "," +
                       REPORT_TextField("device", unit.device) +
                       ",\"channel\":" + std::to_string(unit.channel) + ",\"images\":[";
    for (size_t i = 0; i < unit.images.size(); ++i) {
        const ImageReport& img = unit.images[i];
        line += std::string(i > 0 ? "," : "") + "{\"slot\":" + std::to_string(img.slot) + "," +
                REPORT_TextField("path", img.path) + ",\"size\":" + std::to_string(img.size) +
                ",\"sent\":" + std::to_string(img.reached ? img.doneBytes : 0) + ",\"sha256\":\"" +
                (img.reached ? img.sent.HexDigest() : "") + "\"}";
    }
    char secondsText[32];
    std::snprintf(secondsText, sizeof secondsText, "%.3f", seconds);
    return line + "],\"result\":\"" + result + "\"," +
           REPORT_TextField("error", unit.done ? "" : unit.error) + ",\"seconds\":" + secondsText +
           "}";
}

bool REPORT_Write(const std::string& path, const std::vector<ChannelReport>& channels,
                  std::string* error) {
    std::string text;
    for (const ChannelReport& ch : channels) {
        if (ch.port == 0) continue;
        std::string line = "{\"channel\":" + std::to_string(ch.channel) +
                           ",\"port\":" + std::to_string(ch.port) + "," +
                           REPORT_TextField("device", ch.device) + ",\"images\":[";
        for (size_t i = 0; i < ch.images.size(); ++i) {
            const ImageReport& img = ch.images[i];
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.3f", img.seconds);
            if (i > 0) line += ",";
            line += "{\"slot\":" + std::to_string(img.slot) + "," +
                    REPORT_TextField("path", img.path) + "," +
                    REPORT_TextField("address", img.address) +
                    ",\"size\":" + std::to_string(img.size) + ",\"sha256\":\"" +
                    (img.reached ? img.sent.HexDigest() : "") + "\"" +
                    ",\"sent\":" + std::to_string(img.doneBytes) +
                    ",\"of\":" + std::to_string(img.totalBytes) + ",\"complete\":" +
                    (img.reached && img.doneBytes == img.totalBytes ? "true" : "false") +
                    ",\"seconds\":" + seconds + "}";
        }
        char total[32];
        std::snprintf(total, sizeof total, "%.3f", ch.totalSeconds);
        const char* result = ch.done ? "\"done\"" : ch.stopped ? "\"stopped\"" : "\"failed\"";
        line += std::string("],\"result\":") + result + "," + REPORT_TextField("error", ch.error) +
                ",\"seconds\":" + total + "}\n";
        text += line;
    }
    errno = 0;
    if (CONFIG_IO_ReplaceFile(path.c_str(), text)) return true;
    *error = path + ": " +
             (errno != 0 ? std::strerror(errno) : "not a regular file that may be replaced");
    return false;
}
