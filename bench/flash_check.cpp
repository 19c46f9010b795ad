#include "bench/flash_check.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "bench/bench_images.h"
#include "loader/loader_commands.h"

// termsim writes the count last, once the session's flash files are complete.
long SessionCount(const std::string& flashDir, int com) {
    std::ifstream f(flashDir + "/COM" + std::to_string(com) + "/session");
    long n = 0;
    return f >> n ? n : 0;
}

std::string CheckFlash(const std::string& flashDir, int channels, const long sessionsBefore[],
                       const std::vector<uint8_t>& image) {
    std::vector<uint8_t> expected = image;
    const size_t block = LOADER_BLOCK_SIZE;
    expected.resize((expected.size() + block - 1) / block * block, 0xFF);
    for (int c = 0; c < channels; ++c) {
        const int com = c + 1;
        int waited = 0;
        while (SessionCount(flashDir, com) <= sessionsBefore[c] && waited < 10000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            waited += 20;
        }
        if (SessionCount(flashDir, com) <= sessionsBefore[c])
            return "COM" + std::to_string(com) + " did not complete its session";
        const std::string file = flashDir + "/COM" + std::to_string(com) + "/flash-00000000.bin";
        if (ReadFile(file) != expected)
            return "COM" + std::to_string(com) + "'s flash differs from the image";
    }
    return "";
}
