#include "tests/support/test_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("kovirw-test-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) m_path = candidate.generic_string();
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;  // leftovers in the temporary directory harm no later run
    if (!m_path.empty()) fs::remove_all(m_path, ignored);
}

std::vector<std::string> ScratchDir::Names() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(m_path, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}

std::string MakeImage(const ScratchDir& dir, const std::string& name, size_t size) {
    uint32_t x = 2166136261u;
    for (char ch : name) x = (x ^ static_cast<uint8_t>(ch)) * 16777619u;
    std::string bytes(size, '\0');
    for (char& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 24);
    }
    const std::string path = dir.File(name);
    WriteText(path, bytes);
    return path;
}

Bytes ExpectedFlash(const Bytes& file, size_t offset, bool exact) {
    Bytes out(file.begin() + static_cast<long>(offset), file.end());
    if (!exact) out.resize((out.size() + 16383) / 16384 * 16384, 0xFF);
    return out;
}

bool HasText(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}
