#include "AppLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// A later launch hands its paths to the running window and ends; one window per user.
class TestSingleInstance : public QObject {
    Q_OBJECT

    static QString touch(const QString& file) {
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("x");
        return file;
    }

    // What a crashed instance leaves: a socket file nobody listens on.
    static bool leaveStaleSocket(const QString& path) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        qstrncpy(address.sun_path, name.constData(), sizeof(address.sun_path));
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        ::close(fd);
        return bound && QFileInfo::exists(path);
    }

    static void verifyForwarded(QProcess* second) {
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
    }

  private slots:
    void secondLaunchHandsOverItsPaths() {
        AppLauncher app;
        const QString first = touch(app.root() + u"/first.jpg"_s);
        touch(app.root() + u"/later/clip.mp4"_s);
        touch(app.root() + u"/later/sheet.ods"_s);
        const QString loose = touch(app.root() + u"/loose.png"_s);

        QProcess* running = app.start({first}, app.root());
        QVERIFY(app.waitForReported(1));

        // Relative to the second launch's own folder; the unsupported file is dropped.
        QProcess* second = app.start({u"."_s, u"../loose.png"_s}, app.root() + u"/later"_s);
        verifyForwarded(second);
        // The running window adds before it confirms, so the report is complete already.
        QCOMPARE(app.reported(), (QStringList{first, app.root() + u"/later/clip.mp4"_s, loose}));

        // Without paths a later launch only brings the window forward.
        QProcess* bare = app.start({}, app.root());
        verifyForwarded(bare);
        QCOMPARE(app.reported().size(), 3);
        QCOMPARE(running->state(), QProcess::Running);
    }

    void replacesTheSocketOfACrashedInstance() {
        AppLauncher app;
        QVERIFY(leaveStaleSocket(app.socketPath()));
        const QString photo = touch(app.root() + u"/photo.heic"_s);
        const QString video = touch(app.root() + u"/video.webm"_s);

        QProcess* running = app.start({photo}, app.root());
        QVERIFY(app.waitForReported(1));
        QCOMPARE(running->state(), QProcess::Running);

        verifyForwarded(app.start({video}, app.root()));
        QCOMPARE(app.reported(), (QStringList{photo, video}));
    }

    void simultaneousLaunchesOpenOneWindow() {
        AppLauncher app;
        const QString a = touch(app.root() + u"/a.jpg"_s);
        const QString b = touch(app.root() + u"/b.jpg"_s);

        QProcess* one = app.start({a}, app.root());
        QProcess* two = app.start({b}, app.root());
        QVERIFY(app.waitForReported(2));
        // Exactly one ended, having handed its file over; the other holds both.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return one->state() == QProcess::NotRunning || two->state() == QProcess::NotRunning;
            },
            20000));
        QProcess* ended = one->state() == QProcess::NotRunning ? one : two;
        QProcess* window = ended == one ? two : one;
        QCOMPARE(ended->exitCode(), 0);
        QCOMPARE(window->state(), QProcess::Running);
        const QStringList reported = app.reported();
        QCOMPARE(QSet<QString>(reported.begin(), reported.end()), (QSet<QString>{a, b}));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
