// PercentBar: what it paints on each side of the bar's edge, and when it repaints.
#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QtTest>

#include "console/qt/percent_bar.h"

namespace {

const QColor kBar(0, 0, 255);
const QColor kBack(255, 255, 255);
const QColor kWindow(200, 200, 200);
const QString kText = QStringLiteral("MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM");

// A bar that counts its paint events.
class CountingBar : public PercentBar {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        PercentBar::paintEvent(event);
    }
};

// A bar whose client area is exactly 200 x 28 pixels inside its 1-pixel frame.
std::unique_ptr<CountingBar> MakeBar() {
    auto bar = std::make_unique<CountingBar>();
    QFont font = bar->font();
    font.setPixelSize(20);
    bar->setFont(font);
    bar->resize(202, 30);
    return bar;
}

QImage Render(PercentBar& bar) {
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// How much text ink covers a pixel: 0 where the fill shows, 255 where the text colour does.
// Over the bar the text is the back colour (white) on blue; beside it black on white.
int InkOverBar(QRgb pixel) { return qRed(pixel); }
int InkBeside(QRgb pixel) { return 255 - qRed(pixel); }

bool IsBarShade(QRgb pixel) {  // a mix of the bar colour and its text colour
    return qBlue(pixel) >= 250 && qAbs(qRed(pixel) - qGreen(pixel)) <= 3;
}
bool IsBesideShade(QRgb pixel) {  // a mix of the back colour and black
    return qAbs(qRed(pixel) - qGreen(pixel)) <= 3 && qAbs(qGreen(pixel) - qBlue(pixel)) <= 3;
}

}  // namespace

class PercentBarTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Highlight, kBar);
        palette.setColor(QPalette::Base, kBack);
        palette.setColor(QPalette::Window, kWindow);
        QApplication::setPalette(palette);
    }

    // The text is laid out once and only changes colour at the bar's edge (the model's filled
    // width, here half of 200 pixels): black on the back colour beside the bar, the back
    // colour on the bar, glyphs that straddle the edge split.
    void textChangesColourExactlyAtTheEdge() {
        auto bar = MakeBar();
        bar->SetText(kText);
        const QRect client = bar->contentsRect();
        const QImage plain = Render(*bar);
        bar->SetPos(50);
        const QImage image = Render(*bar);
        const int edge = client.left() + 100;

        QRect ink;
        int inkAtEdge[2] = {0, 0};  // just left and just right of the edge
        for (int y = client.top(); y <= client.bottom(); ++y) {
            for (int x = client.left(); x <= client.right(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                const bool overBar = x < edge;
                QVERIFY2(overBar ? IsBarShade(pixel) : IsBesideShade(pixel),
                         qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
                const int amount = overBar ? InkOverBar(pixel) : InkBeside(pixel);
                QVERIFY(qAbs(amount - InkBeside(plain.pixel(x, y))) <= 4);
                if (amount > 128) {
                    ink |= QRect(x, y, 1, 1);
                    if (qAbs(x - edge + 0.5) < 4) {
                        ++inkAtEdge[overBar ? 0 : 1];
                    }
                }
            }
        }
        // Left-aligned and vertically centred in the client area.
        QVERIFY(ink.left() - client.left() <= 3);
        QVERIFY(qAbs(ink.center().y() - client.center().y()) <= 3);
        QVERIFY(inkAtEdge[0] > 0 && inkAtEdge[1] > 0);
    }

    // When to repaint is the model's rule (console core); here: a new width repaints at
    // once, a resize forgets the width, a new text repaints later, the same text not at all.
    void repaintsAsTheModelAndTheTextSay() {
        auto bar = MakeBar();
        bar->SetRange(0, 1000);
        bar->show();
        QVERIFY(QTest::qWaitForWindowExposed(bar.get()));
        bar->paints = 0;
        QCOMPARE(bar->SetPos(500), 0);
        QCOMPARE(bar->paints, 1);  // at once, not later
        QCOMPARE(bar->SetPos(502), 500);
        bar->SetText(QStringLiteral("Ready..."));
        QCOMPARE(bar->paints, 1);
        QCoreApplication::processEvents();
        QCOMPARE(bar->paints, 2);
        bar->SetText(QStringLiteral("Ready..."));
        QCoreApplication::processEvents();
        QCOMPARE(bar->paints, 2);
        bar->resize(302, 30);
        QCoreApplication::processEvents();
        bar->paints = 0;
        bar->SetPos(502);
        QCOMPARE(bar->paints, 1);
    }
};

QTEST_MAIN(PercentBarTest)
#include "console_percent_bar_test.moc"
