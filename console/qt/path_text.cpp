#include "console/qt/path_text.h"

#include <cstring>

#include "core/utf8.h"

QString PathText(const char* bytes) {
    const size_t size = std::strlen(bytes);
    QString text;
    for (size_t at = 0; at < size;) {
        char32_t code = 0;
        const size_t length = UTF8_CharLength(bytes, size, at, &code);
        if (length == 0) {
            // A byte that is no part of a UTF-8 character keeps its value, as U+DC80 to
            // U+DCFF, so that PathBytes gives it back.
            text += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[at])));
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
