// Downloads from the window to simulated terminals: ports arrive from the terminal
// simulator's port directory, Download flashes them, and the bars and the log show the run;
// a port unplugged during a run, the window closed during a run, the controls a run locks.
// Saves <build>/screenshots/end_of_run.png: the window at the end of an 8-channel run.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "config/settings.h"
#include "console/main_dialog.h"
#include "console/percent_bar.h"
#include "console_test_support.h"
#include "tools/termsim/termsim.h"

namespace {

constexpr int kFirstCom = 3;
constexpr uint32_t kCodeOffset = 0x18000;  // the Code image is flashed from here on
constexpr uint32_t kFontAddress = 0x1A00000;
constexpr uint32_t kAsicCodeAddress = 0xF000200;

QByteArray Pattern(int size, quint32 seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// What a flash range holds after an image: its bytes, padded with 0xFF to whole blocks.
std::vector<uint8_t> Flashed(const QByteArray& image, int from) {
    std::vector<uint8_t> bytes(image.begin() + from, image.end());
    bytes.resize((bytes.size() + 16383) / 16384 * 16384, 0xFF);
    return bytes;
}

PercentBar* Bar(const MainDialog& window, int channel) {
    return Control<PercentBar>(&window, qPrintable(QStringLiteral("m_barChannel_%1").arg(channel)));
}

QPushButton* Button(const MainDialog& window, const char* name) {
    return Control<QPushButton>(&window, name);
}

// Runs `action` once, on the console thread during the run, as soon as channel's bar text
// contains `text`.
void WhenBarShows(MainDialog& window, int channel, const QString& text,
                  std::function<void()> action) {
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, channel, text, action] {
        if (Bar(window, channel)->Text().contains(text)) {
            poll->stop();
            action();
        }
    });
    poll->start(2);
}

class Bench {
  public:
    // A profile with MSM Code, MSM Font and ASIC Code images; Auto on.
    explicit Bench(ConsoleSandbox& sandbox) : m_sandbox(sandbox) {
        code = Pattern(kCodeOffset + 300000, 1);
        font = Pattern(40000, 2);
        asic = Pattern(20000, 3);
        sandbox.WriteFile(QStringLiteral("code.bin"), code);
        sandbox.WriteFile(QStringLiteral("font.fnt"), font);
        sandbox.WriteFile(QStringLiteral("asic.cod"), asic);
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nAUTODETECT=1\n");
        sandbox.WriteFile(QStringLiteral("default.kvr"),
                          "[KOVIR]\nCODECHECK=1\nCODEFILE=" + Path("code.bin") +
                              "\nFONTCHECK=1\nFONTFILE=" + Path("font.fnt") +
                              "\nFONTADDRESS=1A00000\nASIC_CODECHECK=1\nASIC_CODEFILE=" +
                              Path("asic.cod") + "\n");
    }

    ~Bench() { m_sim.Stop(); }

    // Publishes `count` terminals COM3.. and waits until the window has given each its
    // channel.
    bool StartTerminals(MainDialog& window, int count, const std::vector<std::string>& faults) {
        termsim::Options options;
        options.count = count;
        options.firstCom = kFirstCom;
        options.portDir = m_sandbox.PortDir().toStdString();
        for (const std::string& text : faults) {
            termsim::FaultSpec spec;
            std::string error;
            if (!termsim::ParseFaultSpec(text, &spec, &error)) {
                return false;
            }
            options.faults.push_back(spec);
        }
        std::string error;
        if (!m_sim.Start(options, &error)) {
            qWarning("%s", error.c_str());
            return false;
        }
        return QTest::qWaitFor([&] { return window.Core().ChannelPort(count - 1) != 0; }, 10000);
    }

    void ExpectFlashed(int terminal) {
        QVERIFY(m_sim.WaitForSessions(terminal, 1, std::chrono::seconds(10)));
        std::map<uint32_t, std::vector<uint8_t>> ranges;
        for (const auto& range : m_sim.LastFlash(terminal)) {
            ranges[range.address] = range.bytes;
        }
        QVERIFY(ranges[kCodeOffset] == Flashed(code, kCodeOffset));
        QVERIFY(ranges[kFontAddress] == Flashed(font, 0));
        QVERIFY(ranges[kAsicCodeAddress] == Flashed(asic, 0));
    }

    uint64_t Sessions(int terminal) const { return m_sim.SessionCount(terminal); }

    QByteArray code, font, asic;

  private:
    QByteArray Path(const char* name) const {
        return m_sandbox.Path(QString::fromLatin1(name)).toUtf8();
    }

    ConsoleSandbox& m_sandbox;
    termsim::Simulator m_sim;
};

}  // namespace

class RunTest : public QObject {
    Q_OBJECT

  private slots:
    void eightTerminalsFlashFromTheWindow() {
        ConsoleSandbox sandbox;
        Bench bench(sandbox);
        auto window = sandbox.OpenWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(bench.StartTerminals(*window, 8, {}));
        for (int c = 0; c < kChannelCount; ++c) {
            QCOMPARE(window->Core().ChannelPort(c), kFirstCom + c);  // in the order they arrived
            QCOMPARE(Bar(*window, c)->Text(), QStringLiteral("Ready..."));
        }
        QVERIFY(Log(*window).contains(QStringLiteral("Detect COM10 Port\r\n")));
        const QString tooltip = Control<QComboBox>(window.get(), "m_cmbPort_0")
                                    ->itemData(3, Qt::ToolTipRole)
                                    .toString();
        QVERIFY2(tooltip.startsWith(QStringLiteral("/dev/pts/")), qPrintable(tooltip));

        Button(*window, "m_btnDownload")->click();  // returns when the run has ended

        QVERIFY(!window->Core().Running());
        QCOMPARE(window->Core().RunStops(), 1);
        const QRegularExpression summary(QStringLiteral("^3개 파일, 소요시간 : \\d+분 \\d+초$"));
        for (int c = 0; c < kChannelCount; ++c) {
            QVERIFY2(summary.match(Bar(*window, c)->Text()).hasMatch(),
                     qPrintable(Bar(*window, c)->Text()));
            QVERIFY(
                Log(*window).contains(QStringLiteral("%1번 채널 다운로드 완료\r\n").arg(c)));
            bench.ExpectFlashed(c);
        }
        // Channel 0's texts are logged, its summary framed; the other channels' are not.
        QVERIFY(Log(*window).contains(QStringLiteral("Download Start\r\n")));
        QCOMPARE(Log(*window).count(QStringLiteral("Download Start")), 1);
        QCOMPARE(Log(*window).count(QStringLiteral(">>>>>>>>>>  총 3개 파일, 전체 소요시간")),
                 1);
        QVERIFY(Button(*window, "m_btnDownload")->isEnabled());
        QVERIFY(Button(*window, "m_btnLoad")->isEnabled());
        QVERIFY(window->AddressField(1)->isEnabled());

        const QImage shot = window->grab().toImage();
        QVERIFY(QDir().mkpath(QStringLiteral(KOVIRW_SCREENSHOT_DIR)));
        QVERIFY(shot.save(QStringLiteral(KOVIRW_SCREENSHOT_DIR "/end_of_run.png")));
    }

    // A modal box during a run runs an event loop of its own, outside the run's loop; the
    // engine's events must reach the window there too, or the workers would wait for it.
    void eventsArriveWhileANestedEventLoopRuns() {
        ConsoleSandbox sandbox;
        Bench bench(sandbox);
        auto window = sandbox.OpenWindow();
        QVERIFY(bench.StartTerminals(*window, 1, {}));
        MainDialog& w = *window;
        bool finishedInside = false;
        // Fires at the run's first pass, before the worker's first event.
        QTimer::singleShot(0, &w, [&] {
            QEventLoop nested;
            QTimer check;
            QObject::connect(&check, &QTimer::timeout, &nested, [&] {
                if (Log(w).contains(QStringLiteral("0번 채널 다운로드 완료"))) {
                    finishedInside = true;
                    nested.quit();
                }
            });
            check.start(5);
            QTimer::singleShot(20000, &nested, &QEventLoop::quit);
            nested.exec();
        });
        Control<QPushButton>(&w, "m_btnDownload")->click();
        QVERIFY2(finishedInside, qPrintable(Log(w) + Bar(w, 0)->Text()));
        bench.ExpectFlashed(0);
    }

    void closingDuringARunStopsItOnceAndStoresTheSettings() {
        ConsoleSandbox sandbox;
        Bench bench(sandbox);
        {
            auto window = sandbox.OpenWindow();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QVERIFY(bench.StartTerminals(*window, 2, {"all:slow-erase:3000"}));
            MainDialog* shown = window.get();
            WhenBarShows(*window, 0, QStringLiteral("erasing"), [shown] { shown->close(); });
            Button(*window, "m_btnDownload")->click();
            QVERIFY(!window->isVisible());
            QVERIFY(!window->Core().Running());
            QCOMPARE(window->Core().RunStops(), 1);
            QVERIFY(!Log(*window).contains(QStringLiteral("다운로드 완료")));
        }
        const QByteArray settings = sandbox.ReadFile(QStringLiteral("kovirw.ini"));
        QVERIFY(settings.contains("CH0_PORT=3"));
        QVERIFY(settings.contains("CH1_PORT=4"));
        QVERIFY(sandbox.ReadFile(QStringLiteral("default.kvr")).contains("FONTADDRESS=1A00000"));
    }
};

QTEST_MAIN(RunTest)
#include "console_run_test.moc"
