// The trailer of an MSM Code image: the flash addresses of the other MSM images, which the
// Code file carries in 16 bytes that start 68 bytes before its end, as four little-endian
// words; words 1, 2 and 3 are the Font, Data and Preload addresses, and 0 and 0xFFFFFFFF
// mean "no address".
//
// Plain C++. CodeTrailerOffset and ParseCodeTrailer do no I/O; ReadCodeTrailer reads the
// file. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int64_t kCodeTrailerOffsetFromEnd = 68;
constexpr size_t kCodeTrailerBytes = 16;

struct CodeTrailer {
    enum Result { kOk, kOpenFailed, kTooShort };
    Result result = kOpenFailed;
    uint32_t word[4] = {};
};

// Where the trailer starts in a file of fileSize bytes; -1 when the file is too short to
// hold one.
int64_t CodeTrailerOffset(int64_t fileSize);

// The trailer from the `count` bytes read at that offset (at most kCodeTrailerBytes are
// used). A short read, as from a file that shrank meanwhile, leaves the missing bytes 0, so
// the words they belong to set no address. The result is kOk.
CodeTrailer ParseCodeTrailer(const uint8_t* bytes, size_t count);

// Reads the trailer of the MSM Code file at `path` (UTF-8, or the bytes the profile holds):
// kOpenFailed when it names no regular file that can be read (a FIFO is never waited on),
// kTooShort when the file cannot hold a trailer. Blocks on file I/O.
CodeTrailer ReadCodeTrailer(const char* path);
