#include "AppLauncher.h"
#include "LaunchArguments.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Paths given on the command line reach the queue: folders expanded, other files dropped.
class TestLaunchArguments : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& relative) const { return dir_.filePath(relative); }

    static void touch(const QString& file) {
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

  private slots:
    void initTestCase() {
        for (const char* name : {"shoot/a.jpg", "shoot/notes.txt", "shoot/clips/b.mov",
                                 "shoot/.cache/c.png", "loose photo.png", "readme.md"})
            touch(path(QLatin1String(name)));
    }

    void keepsExistingPathsOnly() {
        const QString cwd = path(u"shoot"_s);
        const QList<QUrl> urls = LaunchArguments::pathUrls(
            {u"a.jpg"_s, u"../loose photo.png"_s, u"clips/"_s, path(u"readme.md"_s),
             u"missing.jpg"_s, u"--version"_s, QString(), u"file:///etc"_s},
            cwd);
        const QList<QUrl> expected{QUrl::fromLocalFile(path(u"shoot/a.jpg"_s)),
                                   QUrl::fromLocalFile(path(u"loose photo.png"_s)),
                                   QUrl::fromLocalFile(path(u"shoot/clips"_s)),
                                   QUrl::fromLocalFile(path(u"readme.md"_s))};
        QCOMPARE(urls, expected);
    }

    void answersHelpAndVersionBeforeAnyWindow() {
        using LaunchArguments::Answer;
        const struct {
            QStringList arguments;
            Answer answer;
            const char* firstLine; // what the program prints, run without a display
        } cases[] = {
            {{u"--help"_s}, Answer::help, "Usage: tersio [PATH...]"},
            {{u"a.jpg"_s, u"-h"_s}, Answer::help, "Usage: tersio [PATH...]"},
            {{u"--version"_s}, Answer::version, "tersio " TERSIO_VERSION},
            {{u"--helpful"_s, u"a.jpg"_s}, Answer::none, nullptr},
            {{}, Answer::none, nullptr},
        };
        QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            headless.remove(QLatin1String(name));
        for (const auto& c : cases) {
            const QByteArray label = c.arguments.join(u' ').toUtf8();
            QCOMPARE(LaunchArguments::answer(c.arguments), c.answer);
            if (!c.firstLine)
                continue;
            QProcess tersio;
            tersio.setProcessEnvironment(headless);
            tersio.start(QStringLiteral(TERSIO_APP), c.arguments);
            QVERIFY2(tersio.waitForFinished(30000), label.constData());
            QCOMPARE(tersio.exitCode(), 0);
            const QString output = QString::fromLocal8Bit(tersio.readAllStandardOutput());
            QCOMPARE(output.section(u'\n', 0, 0), QLatin1String(c.firstLine));
        }
    }

    void launchedWindowQueuesItsArguments() {
        AppLauncher app;
        const QString media = app.root();
        touch(media + u"/set/one.webp"_s);
        touch(media + u"/set/deeper/two.mkv"_s);
        touch(media + u"/set/list.csv"_s);
        touch(media + u"/three.gif"_s);

        QProcess* tersio = app.start(
            {u"set"_s, u"nothing-here.jpg"_s, u"set/list.csv"_s, media + u"/three.gif"_s}, media);
        QVERIFY(app.waitForReported(3));
        const QStringList reported = app.reported();
        QCOMPARE(QSet<QString>(reported.begin(), reported.end()),
                 (QSet<QString>{media + u"/set/one.webp"_s, media + u"/set/deeper/two.mkv"_s,
                                media + u"/three.gif"_s}));
        QCOMPARE(tersio->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestLaunchArguments)
#include "test_launch_arguments.moc"
