#include "console/path_text.h"

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
