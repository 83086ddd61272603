#include "AppLauncher.h"
#include "LaunchArguments.h"
#include "engine/AppModel.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

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

    static QSet<QString> queuedPaths(const AppModel& model) {
        QSet<QString> paths;
        for (const MediaItem& item : model.items())
            paths.insert(item.url.toLocalFile());
        return paths;
    }

  private slots:
    void initTestCase() {
        for (const char* name : {"shoot/a.jpg", "shoot/notes.txt", "shoot/clips/b.mov",
                                 "shoot/.cache/c.png", "loose photo.png", "readme.md"})
            touch(path(QLatin1String(name)));
    }

    void keepsExistingPathsOnly() {
        const QString cwd = path(QStringLiteral("shoot"));
        const QList<QUrl> urls = LaunchArguments::pathUrls(
            {QStringLiteral("a.jpg"), QStringLiteral("../loose photo.png"),
             QStringLiteral("clips/"), path(QStringLiteral("readme.md")),
             QStringLiteral("missing.jpg"), QStringLiteral("--version"), QString(),
             QStringLiteral("file:///etc")},
            cwd);
        const QList<QUrl> expected{QUrl::fromLocalFile(path(QStringLiteral("shoot/a.jpg"))),
                                   QUrl::fromLocalFile(path(QStringLiteral("loose photo.png"))),
                                   QUrl::fromLocalFile(path(QStringLiteral("shoot/clips"))),
                                   QUrl::fromLocalFile(path(QStringLiteral("readme.md")))};
        QCOMPARE(urls, expected);
    }

    void answersHelpAndVersionBeforeAnyWindow() {
        using LaunchArguments::Answer;
        const struct {
            QStringList arguments;
            Answer answer;
            const char* firstLine; // what the program prints, run without a display
        } cases[] = {
            {{QStringLiteral("--help")}, Answer::help, "Usage: tersio [PATH...]"},
            {{QStringLiteral("a.jpg"), QStringLiteral("-h")},
             Answer::help,
             "Usage: tersio [PATH...]"},
            {{QStringLiteral("--version")}, Answer::version, "tersio " TERSIO_VERSION},
            {{QStringLiteral("--helpful"), QStringLiteral("a.jpg")}, Answer::none, nullptr},
            {{}, Answer::none, nullptr},
        };
        QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            headless.remove(QLatin1String(name));
        for (const auto& c : cases) {
            const QByteArray label = c.arguments.join(QLatin1Char(' ')).toUtf8();
            QCOMPARE(LaunchArguments::answer(c.arguments), c.answer);
            if (!c.firstLine)
                continue;
            QProcess tersio;
            tersio.setProcessEnvironment(headless);
            tersio.start(QStringLiteral(TERSIO_APP), c.arguments);
            QVERIFY2(tersio.waitForFinished(30000), label.constData());
            QCOMPARE(tersio.exitCode(), 0);
            const QString output = QString::fromLocal8Bit(tersio.readAllStandardOutput());
            QCOMPARE(output.section(QLatin1Char('\n'), 0, 0), QLatin1String(c.firstLine));
        }
    }

    void queueExpandsFoldersAndReportsWhatJoined() {
        const QString report = path(QStringLiteral("report.txt"));
        qputenv("TERSIO_TEST_REPORT_FILE", report.toUtf8());
        AppModelOptions options;
        options.searchToolsAtStart = false;
        options.settings = TersioSettings{};
        AppModel model(options);

        LaunchArguments::addToQueue(
            model, LaunchArguments::pathUrls({QStringLiteral("shoot"), QStringLiteral("readme.md"),
                                              QStringLiteral("loose photo.png")},
                                             dir_.path()));
        const QSet<QString> expected{path(QStringLiteral("shoot/a.jpg")),
                                     path(QStringLiteral("shoot/clips/b.mov")),
                                     path(QStringLiteral("loose photo.png"))};
        QCOMPARE(queuedPaths(model), expected);

        // A second hand-over of a queued file adds and reports nothing new.
        LaunchArguments::addToQueue(model,
                                    {QUrl::fromLocalFile(path(QStringLiteral("shoot/a.jpg")))});
        QCOMPARE(model.items().size(), 3);
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines =
            QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(QSet<QString>(lines.begin(), lines.end()), expected);
        QCOMPARE(lines.size(), 3);
        qunsetenv("TERSIO_TEST_REPORT_FILE");
    }

    void launchedWindowQueuesItsArguments() {
        AppLauncher app;
        const QString media = app.root();
        touch(media + QStringLiteral("/set/one.webp"));
        touch(media + QStringLiteral("/set/deeper/two.mkv"));
        touch(media + QStringLiteral("/set/list.csv"));
        touch(media + QStringLiteral("/three.gif"));

        QProcess* tersio =
            app.start({QStringLiteral("set"), QStringLiteral("nothing-here.jpg"),
                       QStringLiteral("set/list.csv"), media + QStringLiteral("/three.gif")},
                      media);
        QVERIFY(app.waitForReported(3));
        const QStringList reported = app.reported();
        QCOMPARE(QSet<QString>(reported.begin(), reported.end()),
                 (QSet<QString>{media + QStringLiteral("/set/one.webp"),
                                media + QStringLiteral("/set/deeper/two.mkv"),
                                media + QStringLiteral("/three.gif")}));
        QCOMPARE(tersio->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestLaunchArguments)
#include "test_launch_arguments.moc"
