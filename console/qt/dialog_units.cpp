#include "console/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace {

// units x base / divisor, rounded half away from zero.
int Scale(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor
                                         : -((-product + half) / divisor));
}

}  // namespace

DialogUnits::DialogUnits(const QFontMetrics& metrics) {
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = metrics.height();
    if (m_baseX < 1) {
        m_baseX = 1;
    }
    if (m_baseY < 1) {
        m_baseY = 1;
    }
}

int DialogUnits::X(int units) const { return Scale(units, m_baseX, 4); }

int DialogUnits::Y(int units) const { return Scale(units, m_baseY, 8); }

QRect DialogUnits::Map(int x, int y, int width, int height) const {
    // Map the edges, not the sizes, so neighbouring controls meet exactly as in units.
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}
