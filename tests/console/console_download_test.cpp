// The Download button's check of the image selection, and how engine events read on the
// channel bars and in the log.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <cstring>

#include "console/main_dialog.h"
#include "console/percent_bar.h"
#include "console_test_support.h"
#include "engine/download.h"

namespace {

PercentBar* Bar(const MainDialog& window, int channel) {
    return Control<PercentBar>(&window, qPrintable(QStringLiteral("m_barChannel_%1").arg(channel)));
}

ImageEntry Progress(int channel, int slot, int done, int total) {
    ImageEntry entry{};
    entry.channel = channel;
    entry.slot = slot;
    entry.doneBytes = done;
    entry.totalBytes = total;
    return entry;
}

ImageEntry Status(int channel, const char* text) {
    ImageEntry entry{};
    entry.channel = channel;
    std::strcpy(entry.path, text);
    return entry;
}

void ExpectBar(const PercentBar* bar, const QString& text, int upper, int position) {
    QCOMPARE(bar->Text(), text);
    QCOMPARE(bar->Lower(), 0);
    QCOMPARE(bar->Upper(), upper);
    QCOMPARE(bar->Pos(), position);
}

}  // namespace

class DownloadTest : public QObject {
    Q_OBJECT

  private slots:
    void incompleteSelectionsStartNothing() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("default.kvr"),
                          "[KOVIR]\nCODECHECK=1\nCODEFILE=/img/code.bin\n"
                          "FONTCHECK=1\nFONTFILE=font.fnt\nFONTADDRESS=\n"
                          "DATACHECK=1\nDATAFILE=/img/data.dat\nDATAADDRESS=xyz\n"
                          "PRELOADCHECK=1\nPRELOADFILE=/img/p.pld\nPRELOADADDRESS=123456789\n");
        auto window = sandbox.OpenWindow();
        auto* download = Control<QPushButton>(window.get(), "m_btnDownload");
        download->setEnabled(true);

        download->click();
        QCOMPARE(sandbox.messages, QStringList{QStringLiteral("Invalid Font Image/Address !")});
        QCOMPARE(sandbox.captions.last(), QStringLiteral("console_download_test"));
        // A loaded address without a single hex digit would flash to no defined address.
        window->AddressField(1)->setText(QStringLiteral("1A00000"));
        download->click();
        QCOMPARE(sandbox.messages.last(), QStringLiteral("Invalid Data Image/Address !"));
        // Nine digits do not fit the 32-bit flash address.
        window->AddressField(2)->setText(QStringLiteral("  0x2000"));
        download->click();
        QCOMPARE(sandbox.messages.last(), QStringLiteral("Invalid Preload Image/Address !"));
        // A range past the top of the address space is found before any terminal is touched.
        sandbox.WriteFile(QStringLiteral("font.fnt"), "F");
        window->AddressField(1)->setText(QStringLiteral("FFFFFFFF"));
        window->AddressField(3)->setText(QStringLiteral("0"));
        download->click();
        QVERIFY(sandbox.messages.last().startsWith(
            QStringLiteral("Invalid Font Image/Address !\nfont.fnt: 1 bytes from address "
                           "FFFFFFFF run past the top")));
        QCOMPARE(window->RunStops(), 0);

        for (int s = 0; s < 9; ++s) {
            auto* box = Control<QCheckBox>(window.get(),
                                           qPrintable(QStringLiteral("m_chkImage_%1").arg(s)));
            if (box->isChecked()) {
                box->click();
            }
        }
        download->click();
        QCOMPARE(sandbox.messages.last(), QStringLiteral("Select Image !"));
        QCOMPARE(sandbox.messages.size(), 5);
        QVERIFY(!window->Running());
        QCOMPARE(window->RunStops(), 0);
    }

    // With no channel port the run starts and ends at once; the addresses typed are those
    // of the profile from now on.
    void aRunWithoutPortsEndsAtOnce() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("default.kvr"),
                          "[KOVIR]\nCODECHECK=0\nFONTCHECK=1\nFONTFILE=/img/font.fnt\n");
        auto window = sandbox.OpenWindow();
        window->AddressField(1)->setText(QStringLiteral("1a0000"));
        auto* download = Control<QPushButton>(window.get(), "m_btnDownload");
        download->setEnabled(true);
        download->click();
        QVERIFY(sandbox.messages.isEmpty());
        QCOMPARE(window->RunStops(), 1);
        QVERIFY(!window->Running());
        QVERIFY(download->isEnabled());
        QCOMPARE(QString::fromUtf8(g_Profile.slot[1].address), QStringLiteral("1a0000"));
        QCOMPARE(g_ImageTable[7][1].address, 0x1A0000u);
        QCOMPARE(g_ImageTable[7][0].slot, -1);
        // The rows are open again as their boxes say.
        QVERIFY(window->AddressField(1)->isEnabled());
        QVERIFY(!window->AddressField(0)->isEnabled());
        QVERIFY(!Control<QCheckBox>(window.get(), "m_btnChangeBoot")->isEnabled());
    }

    void progressShowsOnTheChannelsBar() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        const QString log = window->LogText();
        ImageEntry e = Progress(2, 1, 16384, 40000);
        QCOMPARE(window->OnEngineEvent(EV_PROGRESS, &e), 0);
        ExpectBar(Bar(*window, 2), QStringLiteral("Font: 40% [16384/40000]"), 40000, 16384);

        e = Progress(5, 8, 2147483646, 2147483647);  // no overflow in the percentage
        window->OnEngineEvent(EV_PROGRESS, &e);
        ExpectBar(Bar(*window, 5), QStringLiteral("Asic DMB: 99% [2147483646/2147483647]"),
                  2147483647, 2147483646);

        e = Progress(2, 1, 0, 0);
        window->OnEngineEvent(EV_PROGRESS, &e);
        ExpectBar(Bar(*window, 2), QStringLiteral("Done"), 100, 100);

        e = Progress(8, 1, 1, 2);  // no such channel
        window->OnEngineEvent(EV_PROGRESS, &e);
        window->OnEngineEvent(EV_PROGRESS, nullptr);
        window->OnEngineEvent(EV_IMAGE_FAILED, &e);
        window->OnEngineEvent(99, &e);
        QCOMPARE(window->LogText(), log);
    }

    void statusTextsOfChannelZeroAreLogged() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        const QString log = window->LogText();
        ImageEntry e = Status(3, "Download Start");
        window->OnEngineEvent(EV_CHANNEL_TEXT, &e);
        ExpectBar(Bar(*window, 3), QStringLiteral("Download Start"), 100, 0);
        QCOMPARE(window->LogText(), log);

        e = Status(0, "Download Start");
        window->OnEngineEvent(EV_CHANNEL_TEXT, &e);
        e = Status(0, "");
        window->OnEngineEvent(EV_CHANNEL_TEXT, &e);
        QCOMPARE(Bar(*window, 0)->Text(), QStringLiteral("Download Start"));
        e = Status(0, "2개 파일, 소요시간 : 1분 3초");
        window->OnEngineEvent(EV_CHANNEL_TEXT, &e);
        QCOMPARE(Bar(*window, 0)->Text(), QStringLiteral("2개 파일, 소요시간 : 1분 3초"));
        window->OnEngineEvent(EV_TEXT, "SERIAL_DEVICE_Open(COM7) Failed!");
        QCOMPARE(
            window->LogText(),
            log + QStringLiteral("Download Start\r\n"
                                 ">>>>>>>>>>  총 2개 파일, 전체 소요시간 : 1분 3초  <<<<<<<<<<\r\n"
                                 "SERIAL_DEVICE_Open(COM7) Failed!\r\n"));
    }

    void endOfChannelLines() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("default.kvr"),
                          "[KOVIR]\nASIC_IMAGECHECK=1\nASIC_IMAGEFILE=/img/dmb.sdl\n");
        auto window = sandbox.OpenWindow();
        const QString log = window->LogText();
        const int32_t channel = 4;
        window->OnEngineEvent(EV_CHANNEL_DONE, &channel);
        QCOMPARE(
            window->LogText(),
            log + QStringLiteral("4번 채널 DMB 이미지 Writing 중입니다.\r\n"
                                 "반드시 단말기가 리셋될 때까지 기다려 주십시오(약20초후)\r\n"));
        ExpectBar(Bar(*window, 4), QStringLiteral("DMB Writing..."), 100, 0);

        Control<QCheckBox>(window.get(), "m_chkImage_8")->setChecked(false);
        const int32_t first = 0;
        window->OnEngineEvent(EV_CHANNEL_DONE, &first);
        QVERIFY(window->LogText().endsWith(QStringLiteral("\r\n0번 채널 다운로드 완료\r\n")));
        QCOMPARE(Bar(*window, 0)->Text(), QString());
    }
};

QTEST_MAIN(DownloadTest)
#include "console_download_test.moc"
