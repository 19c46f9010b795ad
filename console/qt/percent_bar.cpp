#include "console/qt/percent_bar.h"

#include <QPainter>
#include <QPalette>
#include <QResizeEvent>

PercentBar::PercentBar(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    // The colours are taken once: the bar keeps them even if the desktop theme changes.
    const QPalette colours = palette();
    m_barColour = colours.color(QPalette::Active, QPalette::Highlight);
    m_backColour = colours.color(QPalette::Active, QPalette::Base);
    m_barTextColour = colours.color(QPalette::Active, QPalette::Base);
}

void PercentBar::SetRange(int lower, int upper) { m_model.SetRange(lower, upper); }

int PercentBar::SetPos(int newPosition) {
    bool repaintNow = false;
    const int old = m_model.SetPos(newPosition, contentsRect().width(), &repaintNow);
    if (repaintNow) {
        repaint();
    }
    return old;
}

void PercentBar::SetText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    update();
}

void PercentBar::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    m_model.Resized();
}

void PercentBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    drawFrame(&painter);
    if (!m_model.Draws()) {
        return;
    }
    const QRect client = contentsRect();
    const int edge = client.left() + m_model.FilledWidth(client.width());
    const QRect bar(client.left(), client.top(), edge - client.left(), client.height());
    const QRect rest(edge, client.top(), client.right() + 1 - edge, client.height());
    painter.fillRect(bar, m_barColour);
    painter.fillRect(rest, m_backColour);
    if (m_text.isEmpty()) {
        return;
    }
    // The text is laid out once over the whole client area and drawn twice, clipped to
    // each side, so a character that straddles the edge changes colour at the edge.
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    painter.setClipRect(bar);
    painter.setPen(m_barTextColour);
    painter.drawText(client, flags, m_text);
    painter.setClipRect(rest);
    painter.setPen(Qt::black);
    painter.drawText(client, flags, m_text);
}
