#include "console/image_slots.h"

#include <QFile>
#include <cstring>

const char* const kBrowseFilters[PROFILE_SLOT_COUNT] = {
    "Phone Code Files(*.bin)|*.bin|All Files(*.*)|*.*|",
    "Phone Font Files(*.fnt)|*.fnt|All Files(*.*)|*.*|",
    "Phone Data Files(*.dat)|*.dat|All Files(*.*)|*.*|",
    "Phone Preload Files(*.pld)|*.pld|All Files(*.*)|*.*|",
    "Asic Boot Files(*.bot)|*.bot|All Files(*.*)|*.*|",
    "Asic Code Files(*.cod)|*.cod|All Files(*.*)|*.*|",
    "Asic Font Files(*.fnt)|*.fnt|All Files(*.*)|*.*|",
    "Asic Contents Files(*.cnt)|*.cnt|All Files(*.*)|*.*|",
    "Asic Image Files(*.sdl)|*.sdl|All Files(*.*)|*.*|",
};

const char kCodeAddressNormal[] = "18000";
const char kCodeAddressBootArea[] = "0";

namespace {

constexpr qint64 kTrailerOffsetFromEnd = 68;
constexpr int kTrailerBytes = 16;

}  // namespace

CodeTrailer ReadCodeTrailer(const QString& path) {
    CodeTrailer trailer;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return trailer;
    }
    const qint64 size = file.size();
    if (size < kTrailerOffsetFromEnd || !file.seek(size - kTrailerOffsetFromEnd)) {
        trailer.result = CodeTrailer::kTooShort;
        return trailer;
    }
    // A short read (the file shrank meanwhile) leaves zero words, which set no address.
    unsigned char bytes[kTrailerBytes] = {};
    file.read(reinterpret_cast<char*>(bytes), kTrailerBytes);
    for (int w = 0; w < 4; ++w) {
        const unsigned char* b = bytes + 4 * w;
        trailer.word[w] = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                          static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    }
    trailer.result = CodeTrailer::kOk;
    return trailer;
}

void CopyToField(char* field, size_t size, const QString& text) {
    if (size == 0) {
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    size_t length = static_cast<size_t>(utf8.size());
    if (length > size - 1) {
        length = size - 1;
        // Step back over continuation bytes so no character is cut in half.
        while (length > 0 && (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::memcpy(field, utf8.constData(), length);
    field[length] = '\0';
}
