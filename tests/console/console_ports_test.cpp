// Port assignment: the port lists, the Auto box, arrivals and removals, and the port
// directory as their source, with the device paths shown on the lists' entries.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QtTest>

#include "config/settings.h"
#include "console/main_dialog.h"
#include "console/percent_bar.h"
#include "console_test_support.h"

namespace {

QComboBox* PortList(const MainDialog& window, int channel) {
    return Control<QComboBox>(&window, qPrintable(QStringLiteral("m_cmbPort_%1").arg(channel)));
}

PercentBar* Bar(const MainDialog& window, int channel) {
    return Control<PercentBar>(&window, qPrintable(QStringLiteral("m_barChannel_%1").arg(channel)));
}

bool DownloadEnabled(const MainDialog& window) {
    return Control<QPushButton>(&window, "m_btnDownload")->isEnabled();
}

// The operator picks an entry, as a click in the open list does.
void Choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void Arrive(MainDialog& window, int com) {
    window.OnDeviceChange(PortChange::kArrival, QStringLiteral("COM%1").arg(com));
}

void Remove(MainDialog& window, int com) {
    window.OnDeviceChange(PortChange::kRemoval, QStringLiteral("COM%1").arg(com));
}

bool Link(const QString& target, const QString& entry) {
    return QFile::link(target, entry);
}

}  // namespace

class PortsTest : public QObject {
    Q_OBJECT

  private slots:
    void arrivalsFillTheLowestFreeChannel() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        Arrive(*window, 3);
        Arrive(*window, 5);
        Remove(*window, 3);  // channel 0 is free again, and is the lowest
        Arrive(*window, 7);
        QCOMPARE(window->ChannelPort(0), 7);
        QCOMPARE(window->ChannelPort(1), 5);
        QCOMPARE(PortList(*window, 0)->currentText(), QStringLiteral("COM7"));
        QVERIFY(!PortList(*window, 0)->isEnabled());
        QCOMPARE(Bar(*window, 0)->Text(), QStringLiteral("Ready..."));
        QVERIFY(
            window->LogText().endsWith(QStringLiteral("Disconnect COM3 Port\r\n"
                                                      "Detect COM7 Port\r\n")));
        QVERIFY(DownloadEnabled(*window));

        // A port that arrives again stays where it is and is refreshed there.
        Bar(*window, 1)->SetText(QStringLiteral("3개 파일, 소요시간 : 0분 3초"));
        PortList(*window, 1)->setEnabled(true);
        Arrive(*window, 5);
        QCOMPARE(window->ChannelPort(1), 5);
        QCOMPARE(window->ChannelPort(2), 0);
        QCOMPARE(Bar(*window, 1)->Text(), QStringLiteral("Ready..."));
        QVERIFY(!PortList(*window, 1)->isEnabled());
        QVERIFY(window->LogText().endsWith(QStringLiteral("Detect COM5 Port\r\n")));

        // COM31 has no entry in the lists: held all the same, shown as no selection.
        Arrive(*window, 31);
        QCOMPARE(window->ChannelPort(2), 31);
        QCOMPARE(PortList(*window, 2)->currentIndex(), -1);

        for (int com = 40; com < 45; ++com) {
            Arrive(*window, com);
        }
        const QString log = window->LogText();
        Arrive(*window, 50);  // every channel holds a port: nothing happens, nothing is logged
        QCOMPARE(window->LogText(), log);
        for (int c = 0; c < kChannelCount; ++c) {
            QVERIFY(window->ChannelPort(c) != 50);
        }
    }

    void arrivalsNeedAutoAndOnlyComNumbersCount() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nAUTODETECT=0\nCH2_PORT=4\n");
        auto window = sandbox.OpenWindow();
        const QString log = window->LogText();
        Arrive(*window, 3);
        QCOMPARE(window->ChannelPort(0), 0);
        QCOMPARE(window->LogText(), log);

        Control<QCheckBox>(window.get(), "m_btnAuto")->click();
        for (const char* name : {"LPT1", "COM", "COM0", "COMX", "com3"}) {
            window->OnDeviceChange(PortChange::kArrival, QString::fromLatin1(name));
            window->OnDeviceChange(PortChange::kRemoval, QString::fromLatin1(name));
        }
        QCOMPARE(window->LogText(), log);
        for (int c = 0; c < kChannelCount; ++c) {
            QCOMPARE(window->ChannelPort(c), 0);
        }
    }

    void removalFreesItsChannel() {
        ConsoleSandbox sandbox;
        auto window = sandbox.OpenWindow();
        Arrive(*window, 3);
        Arrive(*window, 4);
        Arrive(*window, 5);
        Remove(*window, 5);
        QCOMPARE(window->ChannelPort(2), 0);
        QCOMPARE(PortList(*window, 2)->currentIndex(), 0);
        QVERIFY(PortList(*window, 2)->isEnabled());
        QCOMPARE(Bar(*window, 2)->Text(), QString());
        QVERIFY(window->LogText().endsWith(QStringLiteral("Disconnect COM5 Port\r\n")));
        QCOMPARE(window->ChannelPort(1), 4);

        Remove(*window, 9);  // held by no channel: the log line only
        QVERIFY(window->LogText().endsWith(QStringLiteral("Disconnect COM9 Port\r\n")));
        QCOMPARE(window->ChannelPort(0), 3);
        QCOMPARE(window->ChannelPort(1), 4);
        QVERIFY(DownloadEnabled(*window));  // the button is not changed by removals
    }

    void operatorChoicesRefuseAPortInUse() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("kovirw.ini"), "[KOVIR]\nAUTODETECT=0\nCH0_PORT=4\n");
        auto window = sandbox.OpenWindow();
        Choose(PortList(*window, 6), 5);
        QCOMPARE(window->ChannelPort(6), 5);
        Bar(*window, 6)->SetText(QStringLiteral("Ready..."));
        Choose(PortList(*window, 6), 4);  // channel 0 holds COM4
        QCOMPARE(window->ChannelPort(6), 0);
        QCOMPARE(PortList(*window, 6)->currentIndex(), 0);
        QCOMPARE(Bar(*window, 6)->Text(), QString());
        QCOMPARE(window->ChannelPort(0), 4);

        // Choosing the entry already shown is no change; the blank entry frees the channel.
        Choose(PortList(*window, 0), 4);
        QCOMPARE(window->ChannelPort(0), 4);
        Choose(PortList(*window, 0), 0);
        QCOMPARE(window->ChannelPort(0), 0);
        QVERIFY(!DownloadEnabled(*window));
        Choose(PortList(*window, 3), 12);
        QCOMPARE(window->ChannelPort(3), 12);
        QVERIFY(DownloadEnabled(*window));
    }

    void autoBoxSwitchesBetweenSavedAndDetectedPorts() {
        ConsoleSandbox sandbox;
        sandbox.WriteFile(QStringLiteral("kovirw.ini"),
                          "[KOVIR]\nAUTODETECT=1\nCH0_PORT=3\nCH5_PORT=8\n");
        auto window = sandbox.OpenWindow();
        auto* autoBox = Control<QCheckBox>(window.get(), "m_btnAuto");
        Arrive(*window, 6);
        QVERIFY(!PortList(*window, 0)->isEnabled());

        autoBox->click();  // off: the saved ports, every list open
        QCOMPARE(g_nAutoDetect, 0);
        QCOMPARE(window->ChannelPort(0), 3);
        QCOMPARE(window->ChannelPort(5), 8);
        QCOMPARE(PortList(*window, 5)->currentText(), QStringLiteral("COM8"));
        QVERIFY(PortList(*window, 0)->isEnabled());
        QVERIFY(DownloadEnabled(*window));

        autoBox->click();  // on: no ports until they arrive
        QCOMPARE(g_nAutoDetect, 1);
        for (int c = 0; c < kChannelCount; ++c) {
            QCOMPARE(window->ChannelPort(c), 0);
            QCOMPARE(PortList(*window, c)->currentIndex(), 0);
        }
        QVERIFY(!DownloadEnabled(*window));
    }

    // The port directory: entries present at start-up arrive in COM order, later ones as
    // they are made; removed ones go away. Each list entry shows its device path.
    void portDirectoryEntriesArriveAndGo() {
        ConsoleSandbox sandbox;
        QVERIFY(QDir().mkpath(sandbox.PortDir()));
        QVERIFY(Link(QStringLiteral("/dev/null"), sandbox.PortDir() + QStringLiteral("/COM9")));
        QVERIFY(Link(QStringLiteral("/dev/zero"), sandbox.PortDir() + QStringLiteral("/COM2")));
        QVERIFY(Link(QStringLiteral("/nonexistent/tty"),
                     sandbox.PortDir() + QStringLiteral("/COM1")));  // left behind: no port
        sandbox.WriteFile(QStringLiteral("ports/notes.txt"), "not a port");
        auto window = sandbox.OpenWindow();
        QCOMPARE(window->ChannelPort(0), 2);
        QCOMPARE(window->ChannelPort(1), 9);
        QCOMPARE(window->ChannelPort(2), 0);
        QVERIFY(
            window->LogText().endsWith(QStringLiteral("Detect COM2 Port\r\nDetect COM9 Port\r\n")));
        for (int c = 0; c < kChannelCount; ++c) {
            QCOMPARE(PortList(*window, c)->itemData(9, Qt::ToolTipRole).toString(),
                     QStringLiteral("/dev/null"));
        }
        QVERIFY(!PortList(*window, 3)->itemData(1, Qt::ToolTipRole).isValid());

        QVERIFY(Link(QStringLiteral("/dev/null"), sandbox.PortDir() + QStringLiteral("/COM4")));
        QTRY_COMPARE(window->ChannelPort(2), 4);
        QVERIFY(QFile::remove(sandbox.PortDir() + QStringLiteral("/COM9")));
        QTRY_COMPARE(window->ChannelPort(1), 0);
        QVERIFY(!PortList(*window, 1)->itemData(9, Qt::ToolTipRole).isValid());

        // A profile load with Auto staying on leaves each channel its port, announced once.
        sandbox.dialogAnswers << sandbox.Path(QStringLiteral("other.kvr"));
        Control<QPushButton>(window.get(), "m_btnLoad")->click();
        QCOMPARE(window->ChannelPort(0), 2);
        QCOMPARE(window->ChannelPort(1), 0);
        QCOMPARE(window->ChannelPort(2), 4);
        QVERIFY(!PortList(*window, 2)->isEnabled());
        QCOMPARE(window->LogText(), QStringLiteral("Initialize.. ok!\r\n"));
        QCOMPARE(PortList(*window, 5)->itemData(4, Qt::ToolTipRole).toString(),
                 QStringLiteral("/dev/null"));
        // Checking Auto gives the ports present to the free channels in COM order.
        Control<QCheckBox>(window.get(), "m_btnAuto")->click();
        Control<QCheckBox>(window.get(), "m_btnAuto")->click();
        QCOMPARE(window->ChannelPort(0), 2);
        QCOMPARE(window->ChannelPort(1), 4);
        QVERIFY(window->LogText().endsWith(
            QStringLiteral("Initialize.. ok!\r\nDetect COM2 Port\r\nDetect COM4 Port\r\n")));
    }
};

QTEST_MAIN(PortsTest)
#include "console_ports_test.moc"
