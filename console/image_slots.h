// What the console knows about each image kind, in ImageSlot order (0 MSM Code, 1 MSM Font,
// 2 MSM Data, 3 MSM Preload, 4 ASIC Boot, 5 ASIC Code, 6 ASIC Font, 7 ASIC Contents,
// 8 ASIC DMB image), and the trailer of an MSM Code image.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

#include "config/profile.h"
#include "console/code_trailer.h"

constexpr int kSlotMsmCode = 0;
constexpr int kSlotDmb = 8;

// The file dialog filter of each slot's browse button, as label|pattern pairs.
extern const char* const kBrowseFilters[PROFILE_SLOT_COUNT];

// The MSM Code address texts: the normal start, after the boot area, and flash address 0
// when the boot area is to be written too.
extern const char kCodeAddressNormal[];
extern const char kCodeAddressBootArea[];

// Reads the trailer of the MSM Code file at `path` (UTF-8; see console/code_trailer.h).
// Console thread; blocks on file I/O.
CodeTrailer ReadCodeTrailer(const QString& path);

// Copies `text` as UTF-8 into a NUL-terminated field of `size` bytes, cut at a character
// boundary when it does not fit.
void CopyToField(char* field, size_t size, const QString& text);
