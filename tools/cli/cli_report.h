// What kovirw-cli knows of each channel at the end of a run, and the JSON report of it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tools/cli/sha256.h"

// The digest of an image's first `bytes` bytes, as the transfer read them for sending.
struct DigestMark {
    long long bytes = 0;
    Sha256 digest;
};

struct ImageReport {
    int slot = -1;
    std::string path;
    std::string address;
    long long size = -1;  // the file's size as it was before the run; -1: not to be had
    // The digest after each block sent, from the last one the terminal acknowledged on.
    std::vector<DigestMark> marks{DigestMark{}};
    int totalBytes = 0;  // as the engine reported them
    int doneBytes = 0;
    int ackedBytes = 0;    // what the terminal acknowledged: the bytes reported as sent
    bool reached = false;  // the engine reported progress for it
    double seconds = 0;    // measured by the front end, from the previous image's end

    // The digest of the acknowledged bytes; empty when the image was never reached.
    std::string SentDigest() const {
        if (!reached) return std::string();
        for (const DigestMark& mark : marks)
            if (mark.bytes == ackedBytes) return mark.digest.HexDigest();
        return std::string();
    }
};

struct ChannelReport {
    int channel = 0;
    int port = 0;
    std::string device;
    std::vector<ImageReport> images;
    bool done = false;
    bool stopped = false;    // the run was stopped before the channel was done
    bool unplugged = false;  // its device went away during the download
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

// A JSON string literal for text: UTF-8 passed through, control characters escaped, and
// every byte that is not part of valid UTF-8 written as U+FFFD.
std::string REPORT_JsonString(const std::string& text);

// "name":"text", and when the text is not valid UTF-8 (a file name in another encoding),
// also "name_hex":"its exact bytes in hexadecimal".
std::string REPORT_TextField(const std::string& name, const std::string& text);

// One image of a channel as one JSON object: its slot, path and size, the bytes the terminal
// acknowledged ("sent", 0 for an image never reached) and their digest. The report's entry
// (`full`) also gives its address, the bytes it had to send ("of"), whether all of them were
// acknowledged and the seconds it took; the station's line for a terminal keeps to the first.
std::string REPORT_ImageJson(const ImageReport& img, bool full);

// One terminal of the station as one JSON object on one line (no newline): the station's
// log line, and an entry of the web view's list of units. start and end are UTC texts.
std::string REPORT_UnitLine(const ChannelReport& unit, const char* result, const std::string& start,
                            const std::string& end, double seconds);

// Writes one JSON object per channel with a port, one per line, replacing the file in one
// step (temporary file, flushed, renamed), so a failure leaves the old file as it was.
// False with *error naming the file and the reason.
bool REPORT_Write(const std::string& path, const std::vector<ChannelReport>& channels,
                  std::string* error);
