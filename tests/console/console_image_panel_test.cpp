// The image selection panel: the Code trailer, Change Boot Area, Save As validation,
// profile Load and Save As, and the port part of applying the settings.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtEndian>
#include <QtTest>
#include <fstream>

#include "config/config_testing.h"
#include "config/settings.h"
#include "console/file_dialog.h"
#include "console/main_dialog.h"
#include "console/message_box.h"
#include "console/percent_bar.h"
#include "console_test_support.h"

namespace {

// An MSM Code image of `size` bytes whose trailer words are `words` (when it has room).
QByteArray CodeImage(int size, const quint32 (&words)[4]) {
    QByteArray image(size, '\x5A');
    if (size >= 68) {
        for (int w = 0; w < 4; ++w) {
            qToLittleEndian(words[w], image.data() + size - 68 + 4 * w);
        }
    }
    return image;
}

QCheckBox* ImageBox(const MainDialog& window, int slot) {
    return Control<QCheckBox>(&window, qPrintable(QStringLiteral("m_chkImage_%1").arg(slot)));
}

QPushButton* Button(const MainDialog& window, const char* name) {
    return Control<QPushButton>(&window, name);
}

}  // namespace

class ImagePanelTest : public QObject {
    Q_OBJECT

  private slots:
    void codeTrailerSetsTheMsmAddresses() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("code.bin"),
                          CodeImage(4096, {0x00000000, 0x01A00000, 0xFFFFFFFF, 0x00C80000}));
        auto window = sandbox.OpenWindow();
        window->AddressField(2)->setText(QStringLiteral("ABC"));
        sandbox.dialogAnswers << sandbox.Path(QStringLiteral("code.bin"));
        Button(*window, "m_btnBrowse_0")->click();

        QCOMPARE(sandbox.dialogRequests.size(), 1);
        QCOMPARE(sandbox.dialogRequests[0].kind, FileDialogRequest::kOpen);
        QCOMPARE(sandbox.dialogRequests[0].filter,
                 QStringLiteral("Phone Code Files(*.bin) (*.bin);;All Files(*.*) (*)"));
        QCOMPARE(window->AddressField(1)->text(), QStringLiteral("1a00000"));
        QCOMPARE(window->AddressField(2)->text(), QStringLiteral("ABC"));
        QCOMPARE(window->AddressField(3)->text(), QStringLiteral("c80000"));
        QCOMPARE(QString::fromUtf8(g_Profile.slot[0].file),
                 sandbox.Path(QStringLiteral("code.bin")));
        QCOMPARE(Control<PercentBar>(window.get(), "m_barImage_0")->Text(),
                 sandbox.Path(QStringLiteral("code.bin")));
        QCOMPARE(g_Profile.slot[1].address[0], '\0');  // taken into the profile only on store
        QVERIFY(sandbox.messages.isEmpty());

        // Cancelling reads the trailer of the Code file already chosen once more.
        sandbox.WriteFile(QStringLiteral("code.bin"), CodeImage(100, {0, 0x10, 0x20, 0x30}));
        Button(*window, "m_btnBrowse_0")->click();
        QCOMPARE(window->AddressField(1)->text(), QStringLiteral("10"));
        QCOMPARE(window->AddressField(2)->text(), QStringLiteral("20"));
        QCOMPARE(window->AddressField(3)->text(), QStringLiteral("30"));
        QCOMPARE(QString::fromUtf8(g_Profile.slot[0].file),
                 sandbox.Path(QStringLiteral("code.bin")));
    }

    void unreadableOrShortCodeImages() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("short.bin"), CodeImage(67, {0, 1, 2, 3}));
        auto window = sandbox.OpenWindow();
        window->AddressField(1)->setText(QStringLiteral("77"));

        QVERIFY(QDir().mkdir(sandbox.Path(QStringLiteral("folder.bin"))));
        sandbox.dialogAnswers << sandbox.Path(QStringLiteral("missing.bin"))
                              << sandbox.Path(QStringLiteral("folder.bin"));
        Button(*window, "m_btnBrowse_0")->click();
        Button(*window, "m_btnBrowse_0")->click();
        QVERIFY(sandbox.messages.isEmpty());
        QCOMPARE(window->AddressField(1)->text(), QStringLiteral("77"));

        sandbox.dialogAnswers << sandbox.Path(QStringLiteral("short.bin"));
        Button(*window, "m_btnBrowse_0")->click();
        QCOMPARE(sandbox.messages, QStringList{QStringLiteral("이름 없는 파일에서 탐색 실패")});
        QCOMPARE(sandbox.icons.constFirst(), QMessageBox::Critical);
        QCOMPARE(sandbox.captions.constFirst(), ApplicationCaption());
        QCOMPARE(QString::fromUtf8(g_Profile.slot[0].file),
                 sandbox.Path(QStringLiteral("short.bin")));
        QCOMPARE(window->AddressField(1)->text(), QStringLiteral("77"));
    }

    void changeBootAreaAsksAndFollowsTheCodeBox() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        auto* change = Control<QCheckBox>(window.get(), "m_btnChangeBoot");

        sandbox.answers << QMessageBox::No;
        change->click();
        QCOMPARE(sandbox.messages, QStringList{QStringLiteral("Change?")});
        QVERIFY(!change->isChecked());
        QCOMPARE(window->AddressField(0)->text(), QStringLiteral("18000"));
        QCOMPARE(g_Profile.changeBootArea, 0);

        sandbox.answers << QMessageBox::Yes;
        change->click();
        QVERIFY(change->isChecked());
        QCOMPARE(window->AddressField(0)->text(), QStringLiteral("0"));
        QCOMPARE(g_Profile.changeBootArea, 1);
        QCOMPARE(QByteArray(g_Profile.slot[0].address), QByteArray("0"));

        // Any click on the Code box brings the normal start back; unchecked, the Change Boot
        // Area box and the Code address are disabled while the browse button stays usable.
        ImageBox(*window, 0)->click();
        QVERIFY(!change->isChecked());
        QCOMPARE(window->AddressField(0)->text(), QStringLiteral("18000"));
        QCOMPARE(g_Profile.changeBootArea, 0);
        QCOMPARE(g_Profile.slot[0].check, 0);
        QVERIFY(!change->isEnabled());
        QVERIFY(!window->AddressField(0)->isEnabled());
        QVERIFY(Button(*window, "m_btnBrowse_0")->isEnabled());
        QCOMPARE(sandbox.messages.size(), 2);  // clearing the box asks nothing

        ImageBox(*window, 5)->click();
        QCOMPARE(g_Profile.slot[5].check, 1);
        QVERIFY(window->AddressField(5)->isEnabled());
        QVERIFY(Control<QWidget>(window.get(), "m_barImage_5")->isEnabled());
    }

    // The first checked slot without a file or an address stops Save As with its message;
    // nothing is asked or written then.
    void saveAsValidatesInSlotOrder() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        ImageBox(*window, 0)->click();  // Code off
        ImageBox(*window, 1)->click();
        ImageBox(*window, 3)->click();
        qstrcpy(g_Profile.slot[1].file, "/img/font.fnt");

        Button(*window, "m_btnSaveAs")->click();
        QCOMPARE(sandbox.messages, QStringList{QStringLiteral("Invalid Font Image/Address !")});
        QVERIFY(sandbox.dialogRequests.isEmpty());

        window->AddressField(1)->setText(QStringLiteral("1A00000"));
        Button(*window, "m_btnSaveAs")->click();
        QCOMPARE(sandbox.messages.constLast(), QStringLiteral("Invalid Preload Image/Address !"));
        QVERIFY(sandbox.dialogRequests.isEmpty());

        ImageBox(*window, 3)->click();  // Preload off: on to the dialog, cancelled
        Button(*window, "m_btnSaveAs")->click();
        QCOMPARE(sandbox.messages.size(), 2);
        QCOMPARE(sandbox.dialogRequests.size(), 1);
        QCOMPARE(sandbox.dialogRequests[0].kind, FileDialogRequest::kSave);
        QCOMPARE(sandbox.dialogRequests[0].filter, QStringLiteral("Kovir Files(*.kvr) (*.kvr)"));
        QCOMPARE(sandbox.dialogRequests[0].defaultSuffix, QStringLiteral("kvr"));
        QVERIFY(!QFile::exists(sandbox.Path(QStringLiteral("kovirw.ini"))));
    }

    // The new name is written into the settings at once, so the next start loads it.
    void savedProfileIsLoadedAtTheNextStart() {
        ConsoleSandbox sandbox;
        const QString saved = sandbox.Path(QStringLiteral("line2.kvr"));
        {
            auto window = sandbox.OpenWindow();
            ImageBox(*window, 0)->click();  // Code off: it has no file
            ImageBox(*window, 2)->click();
            qstrcpy(g_Profile.slot[2].file, "/img/data.dat");
            window->AddressField(2)->setText(QStringLiteral("2B00000"));
            sandbox.dialogAnswers << saved;
            Button(*window, "m_btnSaveAs")->click();
            QCOMPARE(Control<QLineEdit>(window.get(), "m_editProfilePath")->text(), saved);
            QVERIFY(sandbox.ReadFile(QStringLiteral("kovirw.ini"))
                        .contains("KOVIRFILE=" + saved.toUtf8()));
            QVERIFY(sandbox.ReadFile(QStringLiteral("line2.kvr")).contains("DATAADDRESS=2B00000"));
        }
        CONFIG_ResetForTest();
        auto window = sandbox.OpenWindow();
        QCOMPARE(Control<QLineEdit>(window.get(), "m_editProfilePath")->text(), saved);
        QVERIFY(ImageBox(*window, 2)->isChecked());
        QCOMPARE(window->AddressField(2)->text(), QStringLiteral("2B00000"));
        QCOMPARE(Control<PercentBar>(window.get(), "m_barImage_2")->Text(),
                 QStringLiteral("/img/data.dat"));
    }

    // Loading brings the profile's choices, the fixed ASIC addresses, Change Boot Area off
    // and the saved settings back, and restarts the console.
    void loadResetsToTheFiles() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nAUTODETECT=0\nCH0_PORT=3\n");
        sandbox.WriteFile(QStringLiteral("other.kvr"),
                          "[KOVIR]\nCODECHECK=1\nASIC_BOOTCHECK=1\nASIC_BOOTADDRESS=1000\n");
        auto window = sandbox.OpenWindow();
        sandbox.answers << QMessageBox::Yes;
        Control<QCheckBox>(window.get(), "m_btnChangeBoot")->click();
        window->AddressField(4)->setText(QStringLiteral("5555"));
        window->LogAppend(QStringLiteral("Detect COM7 Port"));
        g_nAutoDetect = 1;  // the Auto box switched on and not yet saved

        sandbox.dialogAnswers << sandbox.Path(QStringLiteral("other.kvr"));
        Button(*window, "m_btnLoad")->click();
        QCOMPARE(sandbox.dialogRequests[0].defaultSuffix, QStringLiteral("kvr"));
        QCOMPARE(QString::fromUtf8(g_szProfilePath), sandbox.Path(QStringLiteral("other.kvr")));
        QVERIFY(!Control<QCheckBox>(window.get(), "m_btnChangeBoot")->isChecked());
        QCOMPARE(window->AddressField(0)->text(), QStringLiteral("18000"));
        QCOMPARE(window->AddressField(4)->text(), QStringLiteral("0xF000100"));
        QVERIFY(ImageBox(*window, 4)->isChecked());
        QCOMPARE(window->LogText(), QStringLiteral("Initialize.. ok!\r\n"));
        QCOMPARE(g_nAutoDetect, 0);
        QVERIFY(!Control<QCheckBox>(window.get(), "m_btnAuto")->isChecked());
        QCOMPARE(window->ChannelPort(0), 3);

        // A cancelled Load changes nothing.
        Button(*window, "m_btnLoad")->click();
        QCOMPARE(QString::fromUtf8(g_szProfilePath), sandbox.Path(QStringLiteral("other.kvr")));
    }

    // A path that the profile cannot hold whole is refused rather than cut.
    void overlongPathIsRefused() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        const QByteArray before(g_szProfilePath);
        sandbox.dialogAnswers << QStringLiteral("/") + QString(CONFIG_MAX_PATH, u'x');
        Button(*window, "m_btnLoad")->click();
        QCOMPARE(sandbox.messages.size(), 1);
        QVERIFY(sandbox.messages[0].startsWith(QStringLiteral("Path too long !")));
        QCOMPARE(QByteArray(g_szProfilePath), before);

        // A profile whose path value is too long for the field says so; the slot has no file.
        sandbox.WriteFile(QStringLiteral("long.kvr"),
                          "[KOVIR]\nCODEFILE=/" + QByteArray(CONFIG_MAX_PATH, 'c') + "\n");
        sandbox.dialogAnswers << sandbox.Path(QStringLiteral("long.kvr"));
        Button(*window, "m_btnLoad")->click();
        QCOMPARE(sandbox.messages.value(1), sandbox.Path(QStringLiteral("long.kvr")) +
                                                QStringLiteral(": the value of CODEFILE is longer "
                                                               "than %1 bytes and is not used")
                                                    .arg(CONFIG_MAX_PATH));
        QCOMPARE(g_Profile.slot[0].file[0], '\0');
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
        QCOMPARE(folders, QStringList({QString::fromUtf8(g_szStartDir),
                                       sandbox.Path(QStringLiteral("img")),
                                       sandbox.Path(QStringLiteral("img")),
                                       sandbox.Path(QStringLiteral("prof"))}));
    }

    // Paths need not be UTF-8 (Latin-1 and EUC-KR bytes beside UTF-8 Korean in a folder
    // name): they pass through the window byte for byte, and the Code trailer is read there.
    void nonUtf8PathsPassThroughByteForByte() {
        ConsoleSandbox sandbox;
        const QByteArray dir = QFile::encodeName(QDir::currentPath()) + "/caf\xE9\xED\x95\x9C\xC7\xD1";
        const QByteArray code = dir + "/code.bin";
        const QByteArray profile = dir + "/p.kvr";
        QCOMPARE(mkdir(dir.constData(), 0700), 0);
        const QByteArray image = CodeImage(100, {0, 0x10, 0x20, 0x30});
        QVERIFY(std::ofstream(code.constData()).write(image.constData(), image.size()).good());
        QVERIFY(std::ofstream(profile.constData()) << "[KOVIR]\nCODEFILE=" << code.constData());
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nKOVIRFILE=" + profile + "\n");
        {
            auto window = sandbox.OpenWindow();
            Button(*window, "m_btnBrowse_0")->click();  // cancelled: the chosen file's trailer
            QCOMPARE(window->AddressField(1)->text(), QStringLiteral("10"));
        }
        QVERIFY(sandbox.ReadFile(QStringLiteral("kovirw.ini")).contains("KOVIRFILE=" + profile));
        std::ifstream written(profile.constData());
        const std::string text{std::istreambuf_iterator<char>(written), {}};
        QVERIFY(text.find("CODEFILE=" + code.toStdString()) != std::string::npos);
    }

    void savedPortsAreAppliedWithoutAuto() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("kovirw.ini"),
                          "[KOVIR]\nAUTODETECT=0\nCH0_PORT=3\nCH1_PORT=31\nCH2_PORT=4294967295\n");
        auto window = sandbox.OpenWindow();
        QVERIFY(!Control<QCheckBox>(window.get(), "m_btnAuto")->isChecked());
        QVERIFY(Button(*window, "m_btnDownload")->isEnabled());
        QCOMPARE(window->ChannelPort(0), 3);
        QCOMPARE(Control<QComboBox>(window.get(), "m_cmbPort_0")->currentText(),
                 QStringLiteral("COM3"));
        QCOMPARE(window->ChannelPort(1), 31);  // held, though the list has no entry for it
        QCOMPARE(Control<QComboBox>(window.get(), "m_cmbPort_1")->currentIndex(), -1);
        QCOMPARE(window->ChannelPort(2), 0);
        QCOMPARE(Control<QComboBox>(window.get(), "m_cmbPort_3")->currentIndex(), 0);

        window->StoreSettings();
        QVERIFY(sandbox.ReadFile(QStringLiteral("kovirw.ini")).contains("CH1_PORT=31"));
    }

    void logFramesChannelSummaries() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        window->LogAppend(QStringLiteral("Detect COM3 Port"));
        window->LogAppend(QStringLiteral("2개 파일, 소요시간 : 1분 5초"));
        QCOMPARE(
            window->LogText(),
            QStringLiteral("Initialize.. ok!\r\nDetect COM3 Port\r\n"
                           ">>>>>>>>>>  총 2개 파일, 전체 소요시간 : 1분 5초  <<<<<<<<<<\r\n"));
        // The field shows the same lines; a reset empties it down to the first line again.
        const auto* log = Control<QPlainTextEdit>(window.get(), "m_editLog");
        QCOMPARE(log->toPlainText(),
                 QString(window->LogText()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        window->ResetConsole();
        QCOMPARE(log->toPlainText(), QStringLiteral("Initialize.. ok!\n"));
    }
};

QTEST_MAIN(ImagePanelTest)
#include "console_image_panel_test.moc"
