// PercentBar: a progress bar that draws itself, with a text written across it whose colour
// changes exactly at the edge of the bar. The console uses it for the channel bars (progress
// and status texts) and for the image bars (the chosen file's path).
//
// Console thread only, like every widget.
#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

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
    int Pos() const { return m_position; }
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Width in pixels of the filled part for a client area `clientWidth` wide, held to
    // 0..clientWidth: positions beyond either end look the same as the end itself.
    int FilledWidth(int clientWidth) const;

    int m_position = 0;
    int m_upper = 100;
    int m_lower = 0;
    QString m_text;
    int m_barWidth = -1;  // filled width at the last SetPos repaint; -1 = not known
    QColor m_barColour;
    QColor m_backColour;
    QColor m_barTextColour;
};
