// The main window: its starting state, layout, keys and closing, and a screenshot.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QtTest>

#include "console/dialog_units.h"
#include "console/main_dialog.h"
#include "console/percent_bar.h"
#include "console_test_support.h"

namespace {

const char kCaption[] = "Kovir Downloader [2.0K ZR05] (supports XR40-compatible terminals)";

int RightEdge(const QWidget* w) {
    return w->geometry().x() + w->geometry().width();
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void startsInItsStartingState() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        QCOMPARE(window->windowTitle(), QString::fromLatin1(kCaption));
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(16, 16)));
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(32, 32)));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));

        // The core's first state reaches the widgets.
        QCOMPARE(Control<QPlainTextEdit>(window.get(), "m_editLog")->toPlainText(),
                 QStringLiteral("Initialize.. ok!\n"));
        QVERIFY(Control<QCheckBox>(window.get(), "m_btnAuto")->isChecked());
        QVERIFY(!Control<QPushButton>(window.get(), "m_btnDownload")->isEnabled());
        QCOMPARE(Control<QComboBox>(window.get(), "m_cmbPort_7")->itemText(30),
                 QStringLiteral("COM30"));
        QCOMPARE(window->AddressField(0)->text(), QStringLiteral("18000"));
        QCOMPARE(window->AddressField(8)->text(), QStringLiteral("0xF000500"));
    }

    // Sizes follow the dialog font; controls that line up in the template line up on screen.
    void layoutKeepsTheTemplatesProportions() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        const DialogUnits units{QFontMetrics(window->font())};
        QCOMPARE(window->size(), QSize(units.X(379), units.Y(421)));

        const QWidget* w = window.get();
        const int column = Control<QWidget>(w, "m_btnLoad")->x();
        QCOMPARE(Control<QWidget>(w, "m_btnDownload")->x(), column);
        const int barsEnd = RightEdge(Control<QWidget>(w, "m_barImage_0"));
        const int addressLeft = Control<QWidget>(w, "labelAddress")->x();
        const int addressRight = RightEdge(Control<QWidget>(w, "labelAddress"));
        for (int s = 0; s < 9; ++s) {
            QCOMPARE(Control<QWidget>(w, qPrintable(QStringLiteral("m_btnBrowse_%1").arg(s)))->x(),
                     column);
            QCOMPARE(
                RightEdge(Control<QWidget>(w, qPrintable(QStringLiteral("m_barImage_%1").arg(s)))),
                barsEnd);
            QCOMPARE(window->AddressField(s)->x(), addressLeft);
            QCOMPARE(RightEdge(window->AddressField(s)), addressRight);
        }
        QCOMPARE(RightEdge(Control<QWidget>(w, "m_editProfilePath")), units.X(286));
        QCOMPARE(RightEdge(Control<QWidget>(w, "groupMsm")),
                 RightEdge(Control<QWidget>(w, "groupAsic")));
        // Every check box shows its whole caption and stays clear of its row's image bar.
        for (const QCheckBox* box : window->findChildren<QCheckBox*>()) {
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = box->text();
            const QRect caption =
                box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
            QVERIFY2(caption.width() >= box->fontMetrics().horizontalAdvance(box->text()),
                     qPrintable(box->objectName()));
        }
        for (int s = 0; s < 9; ++s) {
            const auto* box =
                Control<QWidget>(w, qPrintable(QStringLiteral("m_chkImage_%1").arg(s)));
            const auto* bar =
                Control<QWidget>(w, qPrintable(QStringLiteral("m_barImage_%1").arg(s)));
            QVERIFY(RightEdge(box) < bar->x());
        }
        for (int c = 0; c < kChannelCount; ++c) {
            const auto* list =
                Control<QWidget>(w, qPrintable(QStringLiteral("m_cmbPort_%1").arg(c)));
            const auto* bar =
                Control<QWidget>(w, qPrintable(QStringLiteral("m_barChannel_%1").arg(c)));
            QCOMPARE(list->x(), c % 2 == 0 ? units.X(14) : units.X(201));
            QVERIFY(list->geometry().bottom() < units.Y(299 + 18 * (c / 2 + 1)));  // closed list
            QVERIFY(RightEdge(list) < bar->x());
        }
        // An open port list spans 103 units with its closed field (the list itself the 89
        // below the field's 14), with a vertical scroll bar, in every style there is.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* list = Control<QComboBox>(w, "m_cmbPort_6");
        for (const QString& name : QStyleFactory::keys()) {
            const std::unique_ptr<QStyle> style(QStyleFactory::create(name));
            list->setStyle(style.get());
            list->showPopup();
            QTRY_VERIFY(list->view()->isVisible());
            QCOMPARE(list->view()->window()->height(), units.Y(353 + 103) - units.Y(353 + 14));
            QVERIFY2(list->view()->verticalScrollBar()->isVisible(), qPrintable(name));
            list->hidePopup();
            list->setStyle(nullptr);
        }
    }

    void tabOrderFollowsTheTemplate() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        QStringList chain;
        for (QWidget* w = window->nextInFocusChain(); w != window.get();
             w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->parentWidget() == window.get()) {
                chain << w->objectName();
            }
        }
        const QStringList expected =
            QStringLiteral(
                "m_btnDownload m_editProfilePath m_btnLoad m_btnSaveAs m_cmbPort_0 m_btnChangeBoot "
                "m_chkImage_0 m_btnBrowse_0 m_editCodeAddress m_chkImage_1 m_btnBrowse_1 "
                "m_editAddress_1 m_chkImage_2 m_btnBrowse_2 m_editAddress_2 m_chkImage_3 "
                "m_btnBrowse_3 m_editAddress_3 m_chkImage_4 m_btnBrowse_4 m_editAddress_4 "
                "m_btnAuto "
                "m_cmbPort_1 m_cmbPort_2 m_cmbPort_3 m_cmbPort_4 m_cmbPort_5 m_cmbPort_6 "
                "m_cmbPort_7 "
                "m_chkImage_5 m_btnBrowse_5 m_editAddress_5 m_chkImage_6 m_btnBrowse_6 "
                "m_editAddress_6 m_chkImage_7 m_btnBrowse_7 m_editAddress_7 m_chkImage_8 "
                "m_btnBrowse_8 m_editAddress_8 m_editLog")
                .split(u' ');
        QCOMPARE(chain, expected);
    }

    void enterLeavesTheWindowOpen() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nAUTODETECT=0\nCH0_PORT=3\n");
        auto window = sandbox.OpenWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(Control<QPushButton>(window.get(), "m_btnDownload")->isEnabled());
        for (const char* name : {"m_editProfilePath", "m_cmbPort_0", "m_chkImage_1", "m_btnLoad"}) {
            auto* control = Control<QWidget>(window.get(), name);
            control->setFocus();
            QTest::keyClick(control, Qt::Key_Return);
            QTest::keyClick(control, Qt::Key_Enter, Qt::KeypadModifier);
            QVERIFY2(window->isVisible(), name);
        }
        QVERIFY(!Control<QCheckBox>(window.get(), "m_chkImage_1")->isChecked());
        QCOMPARE(window->Core().ChannelPort(0), 3);
        QCOMPARE(sandbox.unansweredDialogs, 0);  // Enter on Load opened no dialog
    }

    // Escape closes the window; every close rewrites the settings and the profile, with the
    // address fields as they stand.
    void escapeClosesAndTheSettingsAreStored() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("default.kvr"), "[KOVIR]\r\nFONTCHECK=1\r\n");
        {
            auto window = sandbox.OpenWindow();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QTest::keyClicks(window->AddressField(1), QStringLiteral("1a00"));
            QTest::keyClick(window->AddressField(1), Qt::Key_Escape);
            QVERIFY(!window->isVisible());
            QCOMPARE(window->result(), int(QDialog::Rejected));
        }
        const QByteArray settings = sandbox.ReadFile(QStringLiteral("kovirw.ini"));
        QVERIFY(settings.contains("AUTODETECT=1"));
        QVERIFY(
            settings.contains("KOVIRFILE=" + sandbox.Path(QStringLiteral("default.kvr")).toUtf8()));
        QVERIFY(sandbox.ReadFile(QStringLiteral("default.kvr")).contains("FONTADDRESS=1A00\r\n"));

        auto window = sandbox.OpenWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->close();  // the close box goes the same way
        QVERIFY(!window->isVisible());
        QCOMPARE(window->AddressField(1)->text(), QStringLiteral("1A00"));
    }

    // Saves <build>/screenshots/main_window.png: the window after start-up with a profile.
    void screenshotOfTheWholeWindow() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("kovirw.ini"),
                          "[KOVIR]\nAUTODETECT=0\nCH0_PORT=3\nCH1_PORT=4\nCH2_PORT=12\n");
        sandbox.WriteFile(
            QStringLiteral("default.kvr"),
            "[KOVIR]\nCODECHECK=1\nCODEFILE=/firmware/xr40/phone_code.bin\n"
            "FONTCHECK=1\nFONTFILE=/firmware/xr40/phone_font.fnt\nFONTADDRESS=1A00000\n"
            "PRELOADCHECK=0\nPRELOADFILE=/firmware/xr40/preload.pld\n"
            "ASIC_CODECHECK=1\nASIC_CODEFILE=/firmware/xr40/asic.cod\n");
        auto window = sandbox.OpenWindow();
        window->Core().LogAppend("0번 채널 다운로드 완료");
        Control<PercentBar>(window.get(), "m_barChannel_0")->SetText(QStringLiteral("Ready..."));
        auto* progress = Control<PercentBar>(window.get(), "m_barChannel_1");
        progress->SetText(QStringLiteral("Font: 40% [16384/40000]"));
        progress->SetRange(0, 40000);
        progress->SetPos(16384);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        const QImage shot = window->grab().toImage();
        QVERIFY(QDir().mkpath(QStringLiteral(KOVIRW_SCREENSHOT_DIR)));
        const QString path = QStringLiteral(KOVIRW_SCREENSHOT_DIR "/main_window.png");
        QVERIFY(shot.save(path));
        QCOMPARE(QImage(path).size(), window->size());
    }
};

QTEST_MAIN(MainWindowTest)
#include "console_main_window_test.moc"
