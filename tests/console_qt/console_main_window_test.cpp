// The main window: its frame, what Qt measures of the layout, keys and closing, what typing
// may put into the address fields; and the window as a view of the console core: each
// control reaches its handler, the core's changes reach the widgets, engine events reach
// bars and log, file dialogs and paths keep what Qt would change, and the port directory
// feeds arrivals and removals.
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QtTest>
#include <cstring>

#include "config/settings.h"
#include "console/qt/address_edit.h"
#include "console/qt/dialog_units.h"
#include "console/qt/main_dialog.h"
#include "console/qt/percent_bar.h"
#include "console_test_support.h"
#include "engine/download.h"

namespace {

const char kCaption[] = "Kovir Downloader [2.0K ZR05] (supports XR40-compatible terminals)";

QComboBox* PortList(const MainDialog& window, int channel) {
    return Control<QComboBox>(&window, qPrintable(QStringLiteral("m_cmbPort_%1").arg(channel)));
}

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

    void controlsReachTheirHandlers() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        sandbox.answers << QMessageBox::No;
        Control<QCheckBox>(window.get(), "m_btnChangeBoot")->click();
        QCOMPARE(sandbox.messages, QStringList{QStringLiteral("Change?")});
        QCOMPARE(sandbox.captions.constFirst(), QStringLiteral("console_main_window_test"));
        QCOMPARE(sandbox.icons.constFirst(), QMessageBox::Question);

        Control<QCheckBox>(window.get(), "m_chkImage_0")->click();  // Code off
        QVERIFY(!window->AddressField(0)->isEnabled());
        Button(*window, "m_btnBrowse_1")->click();
        Button(*window, "m_btnLoad")->click();
        Button(*window, "m_btnSaveAs")->click();
        QCOMPARE(sandbox.dialogRequests.size(), 3);
        QCOMPARE(sandbox.dialogRequests[0].kind, FileDialogRequest::kOpen);
        QCOMPARE(sandbox.dialogRequests[0].filter,
                 QStringLiteral("Phone Font Files(*.fnt) (*.fnt);;All Files(*.*) (*)"));
        QCOMPARE(sandbox.dialogRequests[0].defaultSuffix, QString());
        QCOMPARE(sandbox.dialogRequests[1].kind, FileDialogRequest::kOpen);
        QCOMPARE(sandbox.dialogRequests[1].filter, QStringLiteral("Kovir Files(*.kvr) (*.kvr)"));
        QCOMPARE(sandbox.dialogRequests[1].defaultSuffix, QStringLiteral("kvr"));
        QCOMPARE(sandbox.dialogRequests[2].kind, FileDialogRequest::kSave);

        Control<QCheckBox>(window.get(), "m_btnAuto")->click();  // off: Download enabled
        QCOMPARE(g_nAutoDetect, 0);
        Button(*window, "m_btnDownload")->click();
        QCOMPARE(sandbox.messages.constLast(), QStringLiteral("Select Image !"));
        QCOMPARE(sandbox.icons.constLast(), QMessageBox::Warning);

        PortList(*window, 3)->setCurrentIndex(12);
        emit PortList(*window, 3)->activated(12);
        QCOMPARE(window->Core().ChannelPort(3), 12);
        PortList(*window, 3)->setCurrentIndex(5);  // the program's own selection: no handler
        QCOMPARE(window->Core().ChannelPort(3), 12);
    }

    void engineEventsReachBarsAndLog() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        ImageEntry e{};
        e.channel = 2;
        e.slot = 1;
        e.doneBytes = 16384;
        e.totalBytes = 40000;
        QCOMPARE(window->OnEngineMessage(WM_ENGINE_EVENT, EV_PROGRESS, &e), 0);
        const auto* bar = Control<PercentBar>(window.get(), "m_barChannel_2");
        QCOMPARE(bar->Text(), QStringLiteral("Font: 40% [16384/40000]"));
        QCOMPARE(bar->Upper(), 40000);
        QCOMPARE(bar->Pos(), 16384);
        window->OnEngineMessage(WM_ENGINE_EVENT + 1, EV_TEXT, "ignored");
        ChannelTextRecord summary{};
        std::strcpy(summary.entry.path, "2개 파일, 소요시간 : 1분 5초");
        summary.fact = FACT_SUMMARY;
        summary.timeAt = 13;
        window->OnEngineMessage(WM_ENGINE_EVENT, EV_CHANNEL_TEXT, &summary);
        QCOMPARE(Control<QPlainTextEdit>(window.get(), "m_editLog")->toPlainText(),
                 QStringLiteral("Initialize.. ok!\n"
                                ">>>>>>>>>>  총 2개 파일, 전체 소요시간 : 1분 5초  <<<<<<<<<<\n"));
    }

    // Each file dialog opens where the last one was left, the start-up directory at first.
    void fileDialogsOpenWhereTheLastWasLeft() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        sandbox.dialogAnswers << sandbox.Path(QStringLiteral("img/font.fnt")) << QString()
                              << sandbox.Path(QStringLiteral("prof/a.kvr"));
        Button(*window, "m_btnBrowse_1")->click();
        Button(*window, "m_btnBrowse_2")->click();  // cancelled: the folder stays
        Button(*window, "m_btnLoad")->click();
        Button(*window, "m_btnBrowse_3")->click();
        QStringList folders;
        for (const FileDialogRequest& request : sandbox.dialogRequests) {
            folders << request.directory;
        }
        QCOMPARE(folders,
                 QStringList({QString::fromUtf8(g_szStartDir), sandbox.Path(QStringLiteral("img")),
                              sandbox.Path(QStringLiteral("img")),
                              sandbox.Path(QStringLiteral("prof"))}));
    }

    // Paths need not be UTF-8 (Latin-1 and EUC-KR bytes beside UTF-8 Korean in a folder
    // name): they pass through the widgets byte for byte, and the Code trailer is read there.
    void nonUtf8PathsPassThroughByteForByte() {
        ConsoleSandbox sandbox;
        const QByteArray dir =
            QFile::encodeName(QDir::currentPath()) + "/caf\xE9\xED\x95\x9C\xC7\xD1";
        const QByteArray code = dir + "/code.bin";
        const QByteArray profile = dir + "/p.kvr";
        QCOMPARE(mkdir(dir.constData(), 0700), 0);
        QByteArray image(100, '\0');
        image[100 - 64] = 0x10;  // the Font address in the trailer
        WriteText(code.toStdString(), image.toStdString());
        WriteText(profile.toStdString(), "[KOVIR]\nCODEFILE=" + code.toStdString());
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nKOVIRFILE=" + profile + "\n");
        {
            auto window = sandbox.OpenWindow();
            Button(*window, "m_btnBrowse_0")->click();  // cancelled: the chosen file's trailer
            QCOMPARE(window->AddressField(1)->text(), QStringLiteral("10"));
        }
        QVERIFY(sandbox.ReadFile(QStringLiteral("kovirw.ini")).contains("KOVIRFILE=" + profile));
        QVERIFY(QByteArray::fromStdString(ReadText(profile.toStdString()))
                    .contains("CODEFILE=" + code));
    }

    // The port directory: entries present at start-up are left alone (only arrivals are
    // terminals), later ones arrive as they are made; removed ones go away. Each list entry
    // shows its device path, present ones from the start.
    void portDirectoryEntriesArriveAndGo() {
        ConsoleSandbox sandbox;
        QVERIFY(QDir().mkpath(sandbox.PortDir()));
        const QString dir = sandbox.PortDir();
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM9")));
        auto window = sandbox.OpenWindow();
        const ConsoleCore& core = window->Core();
        QCOMPARE(core.ChannelPort(0), 0);
        for (int c = 0; c < kChannelCount; ++c) {
            QCOMPARE(PortList(*window, c)->itemData(9, Qt::ToolTipRole).toString(),
                     QStringLiteral("/dev/null"));
        }
        QVERIFY(!PortList(*window, 3)->itemData(1, Qt::ToolTipRole).isValid());

        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), dir + QStringLiteral("/COM4")));
        QTRY_COMPARE(core.ChannelPort(0), 4);
        QCOMPARE(PortList(*window, 0)->currentText(), QStringLiteral("COM4"));
        QVERIFY(QFile::remove(dir + QStringLiteral("/COM9")));
        QTRY_VERIFY(!PortList(*window, 1)->itemData(9, Qt::ToolTipRole).isValid());
        QVERIFY(QFile::remove(dir + QStringLiteral("/COM4")));
        QTRY_COMPARE(core.ChannelPort(0), 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM4")));
        QTRY_COMPARE(core.ChannelPort(0), 4);
        // A console reset refills the lists with the paths of the ports present.
        window->Core().ResetConsole();
        QCOMPARE(PortList(*window, 5)->itemData(4, Qt::ToolTipRole).toString(),
                 QStringLiteral("/dev/null"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "console_main_window_test.moc"
