// flash_bench: the flasher end to end against terminals simulated at a real line rate.
//
//   flash_bench [--quick] [--size BYTES] [--channels 1,2,4,8] [--ff-channels N]
//               [--baud B] [--rates B,B,...] [--rate-seconds S] [--termsim PATH]
//               [--json FILE] [--keep]
//
// Runs one download per channel count with an image of random bytes, and one with a mostly
// erased (0xFF) image, each terminal getting the same image; then, for every rate of
// --rates, the line alone and one eight-channel download with a random image sized to last
// about S seconds at that rate. Checks every terminal's flash byte for byte; prints the
// figures and, with --json, writes one JSON object per run.
#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bench/alloc_count.h"
#include "bench/bench_images.h"
#include "bench/event_probe.h"
#include "bench/flash_check.h"
#include "bench/flash_run.h"
#include "bench/line_check.h"
#include "bench/run_report.h"
#include "bench/termsim_child.h"
#include "config/settings.h"
#include "serial/port_directory.h"

namespace {

constexpr long kFullSize = 4L << 20;
constexpr long kQuickSize = 1L << 20;
constexpr double kRateSeconds = 20;
constexpr double kQuickRateSeconds = 6;
constexpr double kLineCheckSeconds = 3;  // at most, of line time
constexpr long kRateImageStep = 64L << 10;

struct Options {
    long size = kFullSize;
    std::vector<int> channels = {1, 2, 4, 8};
    int ffChannels = 8;
    long baud = 1382400;
    std::vector<long> rates;
    double rateSeconds = kRateSeconds;
    std::string termsim = KOVIRW_TERMSIM_PATH;
    std::string json;
    bool keep = false;  // leave the work directory (images, flash, termsim's log) behind
};

void Usage() {
    std::fputs(
        "usage: flash_bench [--quick] [--size BYTES] [--channels 1,2,4,8] [--ff-channels N]\n"
        "                   [--baud B] [--rates B,B,...] [--rate-seconds S] [--termsim PATH]\n"
        "                   [--json FILE] [--keep]\n",
        stderr);
}

// A comma-separated list of numbers from low to high.
template <typename T>
bool ParseList(const char* text, long low, long high, std::vector<T>* out) {
    out->clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        char* end = nullptr;
        long v = std::strtol(item.c_str(), &end, 10);
        if (end == item.c_str() || *end != '\0' || v < low || v > high) return false;
        out->push_back(static_cast<T>(v));
    }
    return !out->empty();
}

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--quick") {
            o->size = kQuickSize;
            o->rateSeconds = kQuickRateSeconds;
            continue;
        }
        if (a == "--keep") {
            o->keep = true;
            continue;
        }
        if (value == nullptr) return false;
        ++i;
        char* end = nullptr;
        if (a == "--size") {
            o->size = std::strtol(value, &end, 10);
            if (*end != '\0' || o->size < 1 || o->size > (256L << 20)) return false;
        } else if (a == "--channels") {
            if (!ParseList(value, 1, CHANNEL_COUNT, &o->channels)) return false;
        } else if (a == "--ff-channels") {
            o->ffChannels = static_cast<int>(std::strtol(value, &end, 10));
            if (*end != '\0' || o->ffChannels < 0 || o->ffChannels > CHANNEL_COUNT) return false;
        } else if (a == "--baud") {
            o->baud = std::strtol(value, &end, 10);
            if (*end != '\0' || o->baud < 1200) return false;
        } else if (a == "--rates") {
            if (!ParseList(value, 1200, 100000000, &o->rates)) return false;
        } else if (a == "--rate-seconds") {
            o->rateSeconds = std::strtod(value, &end);
            if (*end != '\0' || !(o->rateSeconds >= 1 && o->rateSeconds <= 600)) return false;
        } else if (a == "--termsim") {
            o->termsim = value;
        } else if (a == "--json") {
            o->json = value;
        } else {
            return false;
        }
    }
    return true;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

// Raw bytes through COM1 alone: the ratio the simulated line carries, or -1.
double LineAlone(const std::string& portDir, long baud, long bytes) {
    std::string error;
    const double ratio =
        LINE_CHECK_Ratio(PORT_DIRECTORY_EntryPath(portDir, 1), baud, bytes, &error);
    if (ratio < 0)
        std::fprintf(stderr, "flash_bench: line check at %ld baud: %s\n", baud, error.c_str());
    else
        std::printf("line alone: %ld bytes at %ld baud, %.4f of baud / 10\n", bytes, baud, ratio);
    return ratio;
}

// Runs one download of `image` (the file c.imagePath), checks every terminal's flash, prints
// the figures and writes them to json (when open) as an object of `kind`. False on failure.
bool MeasureAndReport(FlashRunConfig c, const std::vector<uint8_t>& image,
                      const std::string& flashDir, EventProbe* probe, FILE* json, const char* kind,
                      double lineRatio) {
    c.imageBytes = static_cast<long>(image.size());
    long sessions[CHANNEL_COUNT] = {};
    for (int i = 0; i < c.channels; ++i) sessions[i] = SessionCount(flashDir, i + 1);
    FlashRunResult r = FLASH_RUN_Measure(c, probe);
    if (r.ok) {
        std::string problem = CheckFlash(flashDir, c.channels, sessions, image);
        if (!problem.empty()) {
            r.ok = false;
            r.problem = problem;
        }
    }
    const double ideal = IdealRatio(image);
    REPORT_Print(r, ideal);
    if (json != nullptr) REPORT_WriteJson(json, r, ideal, g_nWriteDelay, kind, lineRatio);
    return r.ok;
}

// One row of the table per rate: the line alone, then eight channels flashing a random image
// that lasts about `seconds` at this rate, against terminals paced at it.
bool MeasureRate(const Options& o, long baud, const std::string& dir, FILE* json) {
    const double lineBytesPerSecond = static_cast<double>(baud) / 10.0;
    const long blocks = static_cast<long>(lineBytesPerSecond * o.rateSeconds / kRateImageStep);
    const std::vector<uint8_t> image =
        RandomImage(std::max(1L, blocks) * kRateImageStep, 0x2545F4914F6CDD1DULL ^ baud);
    FlashRunConfig c;
    c.name = "random";
    c.imagePath = dir + "/rate-" + std::to_string(baud) + ".bin";
    c.channels = CHANNEL_COUNT;
    c.baud = baud;
    TermsimChild termsim;
    std::string error;
    if (!WriteFile(c.imagePath, image)) {
        std::fprintf(stderr, "flash_bench: cannot write %s\n", c.imagePath.c_str());
        return false;
    }
    // A flash directory of its own: a new simulator numbers its sessions from 1 again.
    const std::string flashDir = dir + "/flash-" + std::to_string(baud);
    if (!termsim.Start(o.termsim, CHANNEL_COUNT, baud, dir + "/ports", flashDir,
                       dir + "/termsim-" + std::to_string(baud) + ".log", &error)) {
        std::fprintf(stderr, "flash_bench: %s\n", error.c_str());
        return false;
    }
    const long lineBytes = std::min(static_cast<long>(image.size()),
                                    static_cast<long>(lineBytesPerSecond * kLineCheckSeconds));
    const double lineRatio = LineAlone(dir + "/ports", baud, lineBytes);
    const bool ok = MeasureAndReport(c, image, flashDir, nullptr, json, "rate", lineRatio);
    return ok && lineRatio >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage();
        return 2;
    }
    char dirTemplate[] = "/tmp/kovirw-bench-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = dirTemplate;
    const std::string portDir = dir + "/ports";
    const std::string flashDir = dir + "/flash";
    setenv("KOVIRW_PORT_DIR", portDir.c_str(), 1);

    const std::vector<uint8_t> random = RandomImage(options.size, 0x9E3779B97F4A7C15ULL);
    const std::vector<uint8_t> erased = MostlyErasedImage(options.size);
    const std::string randomPath = dir + "/random.bin";
    const std::string erasedPath = dir + "/erased.bin";
    int status = 0;
    bool setUp = false;  // images written, report open, terminals ready
    FILE* json = nullptr;
    TermsimChild termsim;
    std::string error;
    int terminals = options.ffChannels;
    for (int n : options.channels) terminals = std::max(terminals, n);

    if (!WriteFile(randomPath, random) || !WriteFile(erasedPath, erased)) {
        std::fprintf(stderr, "flash_bench: cannot write the images in %s\n", dir.c_str());
        status = 1;
    } else if (!options.json.empty() && (json = std::fopen(options.json.c_str(), "w")) == nullptr) {
        std::perror(options.json.c_str());
        status = 1;
    } else if (!termsim.Start(options.termsim, terminals, options.baud, portDir, flashDir,
                              dir + "/termsim.log", &error)) {
        std::fprintf(stderr, "flash_bench: %s\n", error.c_str());
        status = 1;
    } else {
        setUp = true;
        std::printf(
            "flash_bench: %ld-byte images, %ld baud (line %.0f B/s), DELAY %d ms, "
            "allocation counting %s\n",
            options.size, options.baud, options.baud / 10.0, g_nWriteDelay,
            ALLOC_Counting() ? "on" : "off (sanitizer build)");
        const long lineBytes = std::min(options.size, kQuickSize);
        const double lineRatio = LineAlone(portDir, options.baud, lineBytes);
        if (lineRatio < 0) status = 1;
        if (json != nullptr)
            std::fprintf(json, "{\"kind\":\"line\",\"bytes\":%ld,\"ratio\":%.5f}\n", lineBytes,
                         lineRatio);
        std::vector<FlashRunConfig> configs;
        for (int n : options.channels) {
            FlashRunConfig c;
            c.name = "random";
            c.imagePath = randomPath;
            c.channels = n;
            c.probeEvents = n == CHANNEL_COUNT;
            configs.push_back(c);
        }
        if (options.ffChannels > 0) {
            FlashRunConfig c;
            c.name = "mostly 0xFF";
            c.imagePath = erasedPath;
            c.channels = options.ffChannels;
            configs.push_back(c);
        }
        EventProbe probe(1 << 16);
        for (FlashRunConfig& c : configs) {
            c.baud = options.baud;
            if (!MeasureAndReport(c, c.imagePath == randomPath ? random : erased, flashDir, &probe,
                                  json, "run", lineRatio))
                status = 1;
        }
        // A run stopped with every channel mid-image, as closing the window stops it.
        FlashRunConfig stop;
        stop.imagePath = randomPath;
        stop.channels = terminals;
        stop.baud = options.baud;
        const double stopSeconds = FLASH_RUN_MeasureStop(stop);
        if (stopSeconds < 0) {
            std::printf("stop: %d ch mid-image: the run ended before it could be stopped\n",
                        terminals);
            status = 1;
        } else {
            std::printf("stop: %d ch mid-image, DOWNLOAD_Stop took %.2f ms\n", terminals,
                        stopSeconds * 1000);
        }
        if (json != nullptr)
            std::fprintf(json, "{\"kind\":\"stop\",\"channels\":%d,\"stopMs\":%.3f}\n", terminals,
                         stopSeconds * 1000);
    }
    termsim.Stop();
    if (setUp) {
        for (long baud : options.rates)
            if (!MeasureRate(options, baud, dir, json)) status = 1;
    }
    if (json != nullptr) std::fclose(json);
    if (status != 0 || options.keep)
        std::fprintf(stderr, "flash_bench: images, flash and termsim's log are in %s\n",
                     dir.c_str());
    else
        nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    return status;
}
