// Downloads from the window to simulated terminals: ports arrive from the terminal
// simulator's port directory, Download flashes them, and the bars and the log show the run;
// the window closed during a run.
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

#include "config/settings.h"
#include "console/qt/main_dialog.h"
#include "console/qt/percent_bar.h"
#include "console_test_support.h"
#include "tools/termsim/termsim.h"

namespace {

constexpr int kFirstCom = 3;

PercentBar* Bar(const MainDialog& window, int channel) {
    return Control<PercentBar>(&window, qPrintable(QStringLiteral("m_barChannel_%1").arg(channel)));
}

class Bench {
  public:
    // A profile with MSM Code, MSM Font and ASIC Code images; Auto on.
    explicit Bench(ConsoleSandbox& sandbox) : m_sandbox(sandbox) {
        sandbox.WriteFile(QStringLiteral("code.bin"), QByteArray(0x18000 + 300000, 'C'));
        sandbox.WriteFile(QStringLiteral("font.fnt"), QByteArray(40000, 'F'));
        sandbox.WriteFile(QStringLiteral("asic.cod"), QByteArray(20000, 'A'));
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nAUTODETECT=1\n");
        const QString profile = QStringLiteral(
            "[KOVIR]\nCODECHECK=1\nCODEFILE=%1/code.bin\nFONTCHECK=1\nFONTFILE=%1/font.fnt\n"
            "FONTADDRESS=1A00000\nASIC_CODECHECK=1\nASIC_CODEFILE=%1/asic.cod\n");
        sandbox.WriteFile(QStringLiteral("default.kvr"), profile.arg(QDir::currentPath()).toUtf8());
    }
    ~Bench() { m_sim.Stop(); }

    // Publishes `count` terminals COM3.. and waits until the window has given each its
    // channel.
    bool StartTerminals(MainDialog& window, int count, const std::vector<std::string>& faults) {
        termsim::Options options;
        options.count = count;
        options.firstCom = kFirstCom;
        options.portDir = m_sandbox.PortDir().toStdString();
        std::string error;
        if (!termsim::ParseFaultSpecs(faults, &options.faults, &error) ||
            !m_sim.Start(options, &error)) {
            qWarning("%s", error.c_str());
            return false;
        }
        return QTest::qWaitFor([&] { return window.Core().ChannelPort(count - 1) != 0; }, 10000);
    }

  private:
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
        auto window = sandbox.ShowWindow();
        QVERIFY(bench.StartTerminals(*window, 8, {}));

        // A modal box during a run runs an event loop of its own, outside the run's loop; the
        // engine's events must reach the window there too, or the workers would wait for it.
        MainDialog& w = *window;
        bool finishedInside = false;
        QTimer::singleShot(0, &w, [&] {  // the run's first pass, before any worker's event
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
        Button(w, "m_btnDownload")->click();  // returns when the run has ended
        QVERIFY2(finishedInside, qPrintable(Log(w)));

        const QRegularExpression summary(QStringLiteral("^3개 파일, 소요시간 : \\d+분 \\d+초$"));
        for (int c = 0; c < kChannelCount; ++c) {
            QVERIFY2(summary.match(Bar(*window, c)->Text()).hasMatch(),
                     qPrintable(Bar(*window, c)->Text()));
        }

        const QImage shot = window->grab().toImage();
        QVERIFY(QDir().mkpath(QStringLiteral(KOVIRW_SCREENSHOT_DIR)));
        QVERIFY(shot.save(QStringLiteral(KOVIRW_SCREENSHOT_DIR "/end_of_run.png")));
    }

    // The close box, in the run's first pass, stops the run: the terminals never finish.
    void closingDuringARunStopsIt() {
        ConsoleSandbox sandbox;
        Bench bench(sandbox);
        auto window = sandbox.ShowWindow();
        QVERIFY(bench.StartTerminals(*window, 2, {"all:slow-erase:3000"}));
        QTimer::singleShot(0, window.get(), &QWidget::close);
        Button(*window, "m_btnDownload")->click();
        QCOMPARE(window->Core().RunStops(), 1);
        QVERIFY(!Log(*window).contains(QStringLiteral("다운로드 완료")));
    }
};

QTEST_MAIN(RunTest)
#include "console_run_test.moc"
