// The main window: its frame, what Qt measures of the layout, keys and closing, and what
// typing may put into the address fields.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QtTest>

#include "console/address_edit.h"
#include "console/dialog_units.h"
#include "console/main_dialog.h"
#include "console_test_support.h"

namespace {

const char kCaption[] = "Kovir Downloader [2.0K ZR05] (supports XR40-compatible terminals)";

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void captionIconAndFixedSize() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        QCOMPARE(window->windowTitle(), QString::fromLatin1(kCaption));
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(16, 16)));
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(32, 32)));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    // Qt's own measures where the template's places are not enough: every check box shows
    // its whole caption, and an open port list spans 103 units with its closed field (the
    // list itself the 89 below the field's 14), with a vertical scroll bar, in every style.
    void captionsFitAndOpenListsKeepTheirHeight() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        const DialogUnits units{QFontMetrics(window->font())};
        for (const QCheckBox* box : window->findChildren<QCheckBox*>()) {
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = box->text();
            const QRect caption =
                box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
            QVERIFY2(caption.width() >= box->fontMetrics().horizontalAdvance(box->text()),
                     qPrintable(box->objectName()));
        }
        for (int s = 0; s < 9; ++s) {  // widened, but clear of the row's image bar
            const auto* box =
                Control<QWidget>(window.get(), qPrintable(QStringLiteral("m_chkImage_%1").arg(s)));
            const auto* bar =
                Control<QWidget>(window.get(), qPrintable(QStringLiteral("m_barImage_%1").arg(s)));
            QVERIFY(box->geometry().right() < bar->x());
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* list = Control<QComboBox>(window.get(), "m_cmbPort_6");
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

    void enterLeavesTheWindowOpen() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nAUTODETECT=0\nCH0_PORT=3\n");
        auto window = sandbox.ShowWindow();
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
        QVERIFY(sandbox.dialogRequests.isEmpty());  // Enter on Load opened no dialog
    }

    // Escape closes the window, which rewrites the profile with the address fields as they
    // stand.
    void escapeClosesAndTheSettingsAreStored() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("default.kvr"), "[KOVIR]\r\nFONTCHECK=1\r\n");
        {
            auto window = sandbox.ShowWindow();
            QTest::keyClicks(window->AddressField(1), QStringLiteral("1a00"));
            QTest::keyClick(window->AddressField(1), Qt::Key_Escape);
            QVERIFY(!window->isVisible());
            QCOMPARE(window->result(), int(QDialog::Rejected));
        }
        QVERIFY(sandbox.ReadFile(QStringLiteral("default.kvr")).contains("FONTADDRESS=1A00\r\n"));
    }

    // The filter's rule is the core's (OperatorText.HexFieldCharacterFilter); here typed keys
    // reach it with the field's whole length, selected text included.
    void typingReachesTheFilterReadOnlyFieldTakesNothing() {
        HexAddressEdit field;
        QTest::keyClicks(&field, QStringLiteral("a1 g-f0xbcdef9"));
        QCOMPARE(field.text(), QStringLiteral("A1F0BCDE"));
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_5);
        QCOMPARE(field.text(), QStringLiteral("A1F0BCDE"));
        QTest::keyClick(&field, Qt::Key_Backspace);
        QCOMPARE(field.text(), QString());
        ReadOnlyTextEdit code;
        code.setText(QStringLiteral("18000"));
        QTest::keyClicks(&code, QStringLiteral("12abz "));
        QTest::keyClick(&code, Qt::Key_Backspace);
        QCOMPARE(code.text(), QStringLiteral("18000"));
    }

    // Keyboard shortcuts type control characters, which both fields drop, and Alt or Meta
    // presses belong to the window: none of them changes the text. Key-down editing (Delete)
    // works as in any field.
    void shortcutsChangeNothingEditingKeysWork() {
        QApplication::clipboard()->setText(QStringLiteral("/home/op/images/font.fnt"));
        HexAddressEdit hex;
        ReadOnlyTextEdit code;
        for (QLineEdit* field : {static_cast<QLineEdit*>(&hex), static_cast<QLineEdit*>(&code)}) {
            field->setText(QStringLiteral("12345"));
            field->home(false);
            QTest::keyClick(field, Qt::Key_Delete);
            QCOMPARE(field->text(), QStringLiteral("2345"));
            for (const char* keys : {"Ctrl+V", "Ctrl+X", "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Y",
                                     "Ctrl+K", "Ctrl+Backspace", "Alt+A", "Meta+B"}) {
                field->selectAll();
                QTest::keySequence(field, QKeySequence(QString::fromLatin1(keys)));
                QVERIFY2(field->text() == QStringLiteral("2345"), keys);
            }
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "console_main_window_test.moc"
