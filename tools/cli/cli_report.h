// What kovirw-cli knows of each channel at the end of a run, and the JSON report of it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct ImageReport {
    int slot = -1;
    std::string path;
    std::string address;
    long long size = -1;   // -1: the file could not be read before the run
    std::string sha256;    // of the whole file
    int totalBytes = 0;    // as the engine reported them
    int doneBytes = 0;
    bool reached = false;  // the engine reported progress for it
    double seconds = 0;    // measured by the front end, from the previous image's end
};

struct ChannelReport {
    int channel = 0;
    int port = 0;
    std::string device;
    std::vector<ImageReport> images;
    bool done = false;
    std::string error;
    std::string lastText;
    double totalSeconds = 0;
    std::chrono::steady_clock::time_point start{}, imageStart{}, end{};

    ImageReport* Image(int slot) {
        for (ImageReport& img : images)
            if (img.slot == slot) return &img;
        return nullptr;
    }
};

// Fills size and sha256 from the image's file (size -1 when it cannot be read).
void REPORT_HashImage(ImageReport* image);

// A JSON string literal for text (UTF-8 passed through, control characters escaped).
std::string REPORT_JsonString(const std::string& text);

// Writes one JSON object per channel with a port, one per line. False with *error set when
// the file cannot be written.
bool REPORT_Write(const std::string& path, const std::vector<ChannelReport>& channels,
                  std::string* error);
