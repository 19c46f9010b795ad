#include "tools/cli/cli_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/config_io.h"
#include "core/utf8.h"

std::string REPORT_JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const size_t n = UTF8_CharLength(text.data(), text.size(), i);
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
    if (UTF8_IsValid(text)) return field;
    field += ",\"" + name + "_hex\":\"";
    for (unsigned char c : text) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", c);
        field += hex;
    }
    return field + "\"";
}

std::string REPORT_ImageJson(const ImageReport& img, bool full) {
    const std::string sent = ",\"sent\":" + std::to_string(img.reached ? img.ackedBytes : 0);
    const std::string digest = ",\"sha256\":\"" + img.SentDigest() + "\"";
    std::string json =
        "{\"slot\":" + std::to_string(img.slot) + "," + REPORT_TextField("path", img.path);
    if (full) json += "," + REPORT_TextField("address", img.address);
    json += ",\"size\":" + std::to_string(img.size);
    if (!full) return json + sent + digest + "}";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", img.seconds);
    return json + digest + sent + ",\"of\":" + std::to_string(img.totalBytes) +
           ",\"complete\":" + (img.reached && img.ackedBytes == img.totalBytes ? "true" : "false") +
           ",\"seconds\":" + seconds + "}";
}

std::string REPORT_UnitLine(const ChannelReport& unit, const char* result, const std::string& start,
                            const std::string& end, double seconds) {
    std::string line = "{\"start\":\"" + start + "\",\"end\":\"" + end +
                       "\",\"port\":" + std::to_string(unit.port) + "," +
                       REPORT_TextField("device", unit.device) +
                       ",\"channel\":" + std::to_string(unit.channel) + ",\"images\":[";
    for (size_t i = 0; i < unit.images.size(); ++i)
        line += (i > 0 ? "," : "") + REPORT_ImageJson(unit.images[i], false);
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
        for (size_t i = 0; i < ch.images.size(); ++i)
            line += (i > 0 ? "," : "") + REPORT_ImageJson(ch.images[i], true);
        char total[32];
        std::snprintf(total, sizeof total, "%.3f", ch.totalSeconds);
        const char* result = ch.done        ? "\"done\""
                             : ch.stopped   ? "\"stopped\""
                             : ch.unplugged ? "\"unplugged\""
                                            : "\"failed\"";
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
