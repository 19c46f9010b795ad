// Dialog units: the window's layout is given in units of the dialog font, a quarter of its
// average character width across and an eighth of its height down, so the window keeps its
// proportions on any screen, font and resolution.
#pragma once

#include <QRect>

class QFontMetrics;

class DialogUnits {
  public:
    // Base units from a font: the average width of the 52 Latin letters, rounded to whole
    // pixels, and the font's line height.
    explicit DialogUnits(const QFontMetrics& metrics);

    int X(int units) const;
    int Y(int units) const;
    QRect Map(int x, int y, int width, int height) const;

  private:
    int m_baseX;
    int m_baseY;
};
