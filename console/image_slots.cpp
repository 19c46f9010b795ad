#include "console/image_slots.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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

CodeTrailer ReadCodeTrailer(const char* path) {
    CodeTrailer trailer;
    // Only a regular file counts: a directory is no image, and opening a FIFO would wait
    // for a writer with the window frozen.
    const int fd = path[0] == '\0' ? -1 : open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    std::FILE* file =
        fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ? nullptr : fdopen(fd, "rb");
    if (file == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        return trailer;
    }
    const int64_t offset =
        fseeko(file, 0, SEEK_END) == 0 ? CodeTrailerOffset(ftello(file)) : int64_t{-1};
    if (offset < 0 || fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        std::fclose(file);
        trailer.result = CodeTrailer::kTooShort;
        return trailer;
    }
    uint8_t bytes[kCodeTrailerBytes] = {};
    const size_t got = std::fread(bytes, 1, kCodeTrailerBytes, file);
    std::fclose(file);
    return ParseCodeTrailer(bytes, got);
}

QString PathText(const char* bytes) {
    const auto* at = reinterpret_cast<const unsigned char*>(bytes);
    QString text;
    while (*at != 0) {
        // The length and smallest value of the sequence a lead byte starts.
        const unsigned char lead = *at;
        const int length = lead < 0x80                   ? 1
                           : lead >= 0xC2 && lead < 0xE0 ? 2
                           : lead >= 0xE0 && lead < 0xF0 ? 3
                           : lead >= 0xF0 && lead < 0xF5 ? 4
                                                         : 0;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        int n = 1;
        while (n < length && (at[n] & 0xC0) == 0x80) {
            code = (code << 6) | (at[n] & 0x3F);
            ++n;
        }
        static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        const bool valid = length > 0 && n == length && code >= kSmallest[length] &&
                           code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            text += QChar(static_cast<char16_t>(0xDC00 + lead));
            ++at;
            continue;
        }
        text += QString::fromUcs4(&code, 1);
        at += length;
    }
    return text;
}

QByteArray PathBytes(const QString& text) {
    QByteArray bytes;
    QString run;  // characters that UTF-8 carries
    for (const QChar c : text) {
        if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF &&
            (run.isEmpty() || !run.back().isHighSurrogate())) {
            bytes += run.toUtf8();
            run.clear();
            bytes += static_cast<char>(c.unicode() - 0xDC00);
        } else {
            run += c;
        }
    }
    return bytes + run.toUtf8();
}

void CopyToField(char* field, size_t size, const QString& text) {
    if (size == 0) {
        return;
    }
    const QByteArray utf8 = PathBytes(text);
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
