// Paths and other profile texts as the Qt controls show them.
#pragma once

#include <QByteArray>
#include <QString>

// A path's bytes as text for the controls, and back. Names need not be UTF-8 (a Latin-1 or
// EUC-KR folder): each byte that is not part of valid UTF-8 shows as one of the lone
// surrogates U+DC80..U+DCFF, which no valid UTF-8 decodes to and which PathBytes turns back
// into that byte, so a path goes through the window byte for byte.
QString PathText(const char* bytes);
QByteArray PathBytes(const QString& text);
