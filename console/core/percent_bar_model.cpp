#include "console/core/percent_bar_model.h"

#include <cmath>

void PercentBarModel::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
}

int PercentBarModel::FilledWidth(int clientWidth) const {
    // Double precision keeps position - lower from overflowing; the clamp keeps the
    // conversion back to int defined for any position, and for a range with equal ends.
    const double fraction =
        (static_cast<double>(m_position) - m_lower) / (static_cast<double>(m_upper) - m_lower);
    const double filled = std::trunc(clientWidth * fraction);
    if (!(filled > 0.0)) {
        return 0;
    }
    return filled >= clientWidth ? clientWidth : static_cast<int>(filled);
}

int PercentBarModel::SetPos(int newPosition, int clientWidth, bool* repaint) {
    const int old = m_position;
    m_position = newPosition;
    const int width = FilledWidth(clientWidth);
    *repaint = width != m_barWidth;
    if (*repaint) {
        m_barWidth = width;
    }
    return old;
}
