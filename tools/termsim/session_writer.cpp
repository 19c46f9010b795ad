#include "tools/termsim/session_writer.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace termsim {
namespace {

constexpr size_t kChunk = 1 << 16;

std::string Describe(const std::string& path) { return path + ": " + std::strerror(errno); }

bool IsImageName(const char* name) {
    const size_t n = std::strlen(name);
    return n > 10 && std::strncmp(name, "flash-", 6) == 0 && std::strcmp(name + n - 4, ".bin") == 0;
}

const char* CodeName(uint8_t code) {
    switch (code) {
        case code::kUnlock:
            return "UNLOCK";
        case code::kErase:
            return "ERASE";
        case code::kWrite:
            return "WRITE";
        case code::kClose:
            return "CLOSE";
        case code::kGo:
            return "GO";
        default:
            return "?";
    }
}

}  // namespace

bool MakeDirs(const std::string& dir) {
    if (dir.empty()) return false;
    for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
        const std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (pos == std::string::npos) break;
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SessionWriter::Write(const FlashModel& flash, const SessionLog& log, uint64_t sessionNumber,
                          std::string* error) {
    if (m_dir.empty()) return true;
    if (!MakeDirs(m_dir)) {
        *error = Describe(m_dir);
        return false;
    }
    if (!RemoveOldImages(error)) return false;
    for (const FlashModel::Range& range : flash.Ranges()) {
        if (!WriteImage(flash, range, error)) return false;
    }

    m_text.clear();
    char line[96];
    for (const PacketRecord& r : log.packets) {
        int n;
        if (r.hasRange) {
            n = std::snprintf(line, sizeof line, "seq=%u code=%02X %s addr=%08X len=%u fcs=%s\n",
                              r.seq, r.code, CodeName(r.code), r.address, r.length,
                              r.fcsOk ? "ok" : "bad");
        } else {
            n = std::snprintf(line, sizeof line, "seq=%u code=%02X %s addr=- len=- fcs=%s\n", r.seq,
                              r.code, CodeName(r.code), r.fcsOk ? "ok" : "bad");
        }
        m_text.append(line, static_cast<size_t>(n));
    }
    if (!WriteText("packets.log", m_text, error)) return false;

    m_text.clear();
    for (const std::string& e : log.errors) m_text.append(e).append("\n");
    if (log.errorsNotKept > 0) {
        m_text.append("... and ").append(std::to_string(log.errorsNotKept)).append(" more\n");
    }
    if (!WriteText("errors.log", m_text, error)) return false;

    return WriteText("session", std::to_string(sessionNumber) + "\n", error);
}

bool SessionWriter::RemoveOldImages(std::string* error) {
    DIR* dir = opendir(m_dir.c_str());
    if (dir == nullptr) {
        *error = Describe(m_dir);
        return false;
    }
    std::vector<std::string> old;
    while (const dirent* entry = readdir(dir)) {
        if (IsImageName(entry->d_name)) old.push_back(m_dir + "/" + entry->d_name);
    }
    closedir(dir);
    for (const std::string& path : old) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            *error = Describe(path);
            return false;
        }
    }
    return true;
}

bool SessionWriter::WriteImage(const FlashModel& flash, const FlashModel::Range& range,
                               std::string* error) {
    char name[32];
    std::snprintf(name, sizeof name, "/flash-%08X.bin", range.address);
    const std::string path = m_dir + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = Describe(path);
        return false;
    }
    m_chunk.resize(kChunk);
    bool ok = true;
    for (uint64_t done = 0; ok && done < range.length;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunk, range.length - done));
        flash.ReadRange(range, static_cast<uint32_t>(done), n, m_chunk.data());
        ok = std::fwrite(m_chunk.data(), 1, n, file) == n;
        done += n;
    }
    if (std::fclose(file) != 0) ok = false;
    if (!ok) *error = Describe(path);
    return ok;
}

// Each text file is written under a temporary name and renamed into place, so no reader
// ever sees half a file.
bool SessionWriter::WriteText(const std::string& name, const std::string& text,
                              std::string* error) {
    const std::string path = m_dir + "/" + name;
    const std::string temp = m_dir + "/." + name + ".tmp";
    FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) {
        *error = Describe(temp);
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0) ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        *error = Describe(path);
        unlink(temp.c_str());
    }
    return ok;
}

}  // namespace termsim
