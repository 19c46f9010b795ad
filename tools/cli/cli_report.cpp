#include "tools/cli/cli_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/cli/sha256.h"

void REPORT_HashImage(ImageReport* image) {
    if (!SHA256_File(image->path, &image->sha256, &image->size)) {
        image->size = -1;
        image->sha256.clear();
    }
}

std::string REPORT_JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

bool REPORT_Write(const std::string& path, const std::vector<ChannelReport>& channels,
                  std::string* error) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    for (const ChannelReport& ch : channels) {
        if (ch.port == 0) continue;
        std::string line = "{\"channel\":" + std::to_string(ch.channel) +
                           ",\"port\":" + std::to_string(ch.port) +
                           ",\"device\":" + REPORT_JsonString(ch.device) + ",\"images\":[";
        for (size_t i = 0; i < ch.images.size(); ++i) {
            const ImageReport& img = ch.images[i];
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.3f", img.seconds);
            if (i > 0) line += ",";
            line += "{\"slot\":" + std::to_string(img.slot) +
                    ",\"path\":" + REPORT_JsonString(img.path) +
                    ",\"address\":" + REPORT_JsonString(img.address) +
                    ",\"size\":" + std::to_string(img.size) +
                    ",\"sha256\":" + REPORT_JsonString(img.sha256) +
                    ",\"sent\":" + std::to_string(img.doneBytes) +
                    ",\"of\":" + std::to_string(img.totalBytes) +
                    ",\"complete\":" + (img.reached && img.doneBytes == img.totalBytes ? "true" : "false") +
                    ",\"seconds\":" + seconds + "}";
        }
        char total[32];
        std::snprintf(total, sizeof total, "%.3f", ch.totalSeconds);
        line += std::string("],\"result\":") + (ch.done ? "\"done\"" : "\"failed\"") +
                ",\"error\":" + REPORT_JsonString(ch.error) + ",\"seconds\":" + total + "}\n";
        std::fputs(line.c_str(), f);
    }
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    ok = std::fclose(f) == 0 && ok;
    if (!ok) *error = path + ": write failed";
    return ok;
}
