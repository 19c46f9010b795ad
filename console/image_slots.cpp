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

CodeTrailer ReadCodeTrailer(const QString& path) {
    CodeTrailer trailer;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return trailer;
    }
    const int64_t offset = CodeTrailerOffset(file.size());
    if (offset < 0 || !file.seek(offset)) {
        trailer.result = CodeTrailer::kTooShort;
        return trailer;
    }
    uint8_t bytes[kCodeTrailerBytes] = {};
    const qint64 got = file.read(reinterpret_cast<char*>(bytes), kCodeTrailerBytes);
    return ParseCodeTrailer(bytes, got > 0 ? static_cast<size_t>(got) : 0);
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
