// PercentBar: a progress bar that draws itself, with a text written across it whose colour
// changes exactly at the edge of the bar. The console uses it for the channel bars (progress
// and status texts) and for the image bars (the chosen file's path).
//
// Console thread only, like every widget.
#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

#include "console/core/percent_bar_model.h"

class PercentBar : public QFrame {
    Q_OBJECT

  public:
    explicit PercentBar(QWidget* parent = nullptr);

    // Stores both ends of the range; does not repaint (the next SetPos or text change does).
    void SetRange(int lower, int upper);

    // Stores the new position and returns the previous one. Repaints at once, and only
    // when the bar's width in whole pixels changes, so frequent progress steps stay cheap.
    int SetPos(int newPosition);

    // Sets the text drawn over the bar. A text equal to the current one changes nothing;
    // a different one schedules an ordinary repaint.
    void SetText(const QString& text);

    const QString& Text() const { return m_text; }
    int Pos() const { return m_model.Pos(); }
    int Lower() const { return m_model.Lower(); }
    int Upper() const { return m_model.Upper(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    PercentBarModel m_model;
    QString m_text;
    QColor m_barColour;
    QColor m_backColour;
    QColor m_barTextColour;
};
