// What the console knows about each image kind, in ImageSlot order (0 MSM Code, 1 MSM Font,
// 2 MSM Data, 3 MSM Preload, 4 ASIC Boot, 5 ASIC Code, 6 ASIC Font, 7 ASIC Contents,
// 8 ASIC DMB image), and the trailer of an MSM Code image.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "config/profile.h"
#include "console/code_trailer.h"
#include "core/channel_tables.h"

constexpr int kSlotMsmCode = SLOT_MSM_CODE;
constexpr int kSlotDmb = SLOT_ASIC_DMB;

// The file dialog filter of each slot's browse button, as label|pattern pairs.
extern const char* const kBrowseFilters[PROFILE_SLOT_COUNT];

// Reads the trailer of the MSM Code file at `path`, the path's bytes as the profile holds
// them (see console/code_trailer.h). Console thread; blocks on file I/O.
CodeTrailer ReadCodeTrailer(const char* path);

// A path's bytes as text for the controls, and back. Names need not be UTF-8 (a Latin-1 or
// EUC-KR folder): each byte that is not part of valid UTF-8 shows as one of the lone
// surrogates U+DC80..U+DCFF, which no valid UTF-8 decodes to and which PathBytes turns back
// into that byte, so a path goes through the window byte for byte.
QString PathText(const char* bytes);
QByteArray PathBytes(const QString& text);

// Copies `text` (as PathBytes gives it) into a NUL-terminated field of `size` bytes, cut at
// a character boundary when it does not fit.
void CopyToField(char* field, size_t size, const QString& text);
