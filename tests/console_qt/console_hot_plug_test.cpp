// Hot-plug's first source: the port directory watcher (the udev publisher that feeds it is
// tested in tests/ports).
#include <poll.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "console/qt/port_dir_watcher.h"
#include "serial/port_directory.h"

namespace {

std::vector<std::pair<int, int>> Changes(const std::vector<PortChange>& changes) {
    std::vector<std::pair<int, int>> out;
    for (const PortChange& change : changes) {
        out.emplace_back(change.kind, change.com);
    }
    return out;
}

using Pairs = std::vector<std::pair<int, int>>;

// The changes a watcher reports until its descriptor has nothing more to read; fails when
// it does not go quiet within a few reads.
Pairs Settled(PortDirWatcher& watcher) {
    Pairs all;
    for (int reads = 0; reads < 8; ++reads) {
        pollfd waiting{watcher.Fd(), POLLIN, 0};
        if (poll(&waiting, 1, 0) == 0) {
            return all;
        }
        const Pairs more = Changes(watcher.ReadChanges());
        all.insert(all.end(), more.begin(), more.end());
    }
    return {{-1, -1}};
}
constexpr int A = PortChange::kArrival;
constexpr int R = PortChange::kRemoval;

}  // namespace

class HotPlugTest : public QObject {
    Q_OBJECT

  private slots:
    void watcherReportsEachChangeOnce() {
        QTemporaryDir temp;
        const QString dir = temp.filePath(QStringLiteral("a/ports"));  // made by Open
        PortDirWatcher watcher;
        std::string error;
        QVERIFY(watcher.Open(dir.toStdString(), &error));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM12")));
        QVERIFY(Changes(watcher.Rescan()) == Pairs({{A, 12}}));
        QVERIFY(watcher.ReadChanges().empty());  // the scan already reported it

        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), dir + QStringLiteral("/COM3")));
        QVERIFY(QFile::link(QStringLiteral("/gone"), dir + QStringLiteral("/COM4")));  // dangling
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COMX")));
        QVERIFY(QFile::remove(dir + QStringLiteral("/COM12")));
        QVERIFY(Changes(watcher.ReadChanges()) == Pairs({{A, 3}, {R, 12}}));
        QCOMPARE(PORT_DIRECTORY_Describe(dir.toStdString(), 3), std::string("/dev/zero"));
        QCOMPARE(PORT_DIRECTORY_Describe(dir.toStdString(), 12), std::string());
        // A link chain is described by its first target and its end, a plain file by itself.
        const std::string root = temp.path().toStdString();
        QVERIFY(QFile::link(dir + QStringLiteral("/COM3"), temp.filePath(QStringLiteral("COM1"))));
        QFile plain(temp.filePath(QStringLiteral("COM2")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        QCOMPARE(PORT_DIRECTORY_Describe(root, 1), dir.toStdString() + "/COM3 (/dev/zero)");
        QCOMPARE(PORT_DIRECTORY_Describe(root, 2), root + "/COM2");

        // The directory removed, renamed away, renamed and made anew, and events lost: each
        // is one rescan of the directory of that name, after which the watcher is quiet.
        QVERIFY(QDir(dir).removeRecursively());
        QVERIFY(Settled(watcher) == Pairs({{R, 3}}));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM5")));
        QVERIFY(Settled(watcher) == Pairs({{A, 5}}));
        QCOMPARE(watcher.Rescans(), 1);
        QVERIFY(QDir().rename(dir, dir + QStringLiteral(".1")));
        QVERIFY(Settled(watcher) == Pairs({{R, 5}}));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral(".1/COM6")));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM7")));
        QVERIFY(Settled(watcher) == Pairs({{A, 7}}));  // the name is followed, not the folder
        QVERIFY(QDir().rename(dir, dir + QStringLiteral(".2")) && QDir().mkdir(dir));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM8")));
        QVERIFY(Settled(watcher) == Pairs({{R, 7}, {A, 8}}));
        QCOMPARE(watcher.Rescans(), 3);
        QFile limit(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
        const int queued = limit.open(QIODevice::ReadOnly) ? limit.readAll().trimmed().toInt() : 0;
        if (queued <= 0 || queued > 100000) {
            QSKIP("the kernel's event queue is too long to overflow here");
        }
        for (int i = 0; i <= queued / 2; ++i) {
            QFile flood(dir + QStringLiteral("/flood"));
            QVERIFY(flood.open(QIODevice::WriteOnly) && flood.remove());
        }
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM9")));
        QVERIFY(Settled(watcher) == Pairs({{A, 9}}));
        QCOMPARE(watcher.Rescans(), 4);
    }
};

QTEST_MAIN(HotPlugTest)
#include "console_hot_plug_test.moc"
