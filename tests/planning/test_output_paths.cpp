#include "TestSupport.h"
#include "planning/CommandBuilder.h"
#include "planning/OutputNames.h"
#include "planning/SourceSet.h"

#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using OutputNames::Slot;
using TestSupport::row;
using Queue = QList<QList<Slot>>;

// Output paths: folders made or refused, names claimed in queue order, never the source however
// reached.
class TestOutputPaths : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    QString touch(const QString& relative) {
        const QString path = tmp.filePath(relative);
        TestSupport::writeFile(path, "x");
        return path;
    }
    static MediaItem item(const QString& path) {
        MediaItem result;
        result.url = QUrl::fromLocalFile(path);
        result.width = 800;
        result.height = 600;
        return result;
    }
    static TersioSettings subfolder(const QString& name) {
        TersioSettings settings;
        settings.subfolderName = name;
        return settings;
    }
    static TersioSettings chosen(const QString& path) {
        TersioSettings settings;
        settings.outputMode = OutputMode::customFolder;
        settings.customFolderPath = path;
        return settings;
    }
    static QString failureOf(const MediaItem& source, const TersioSettings& settings) {
        try {
            CommandBuilder::outputDirectory(source, settings);
        } catch (const TersioError& error) {
            return error.message();
        }
        return {};
    }
    // "dir/name" per output, under /o.
    static QList<Slot> outputs(const QStringList& paths) {
        QList<Slot> result;
        for (const QString& path : paths)
            result.append({"/o/" + path.section('/', 0, -2), path.section('/', -1)});
        return result;
    }

  private slots:
    void subfolderBesideTheSource_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder"); // relative to the source's folder
        row("padded", "  web  ", "web");
        row("empty", "", "optimised");
        row("nested", "a/b", "a/b");
        row("line break kept", "web\n", "web\n");
        row("dot is the source folder", ".", "");
    }
    void subfolderBesideTheSource() {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        const QString base = QString::fromLatin1(QTest::currentDataTag());
        const MediaItem source = item(touch(base + "/clip.mov"));
        const QString expected = QDir::cleanPath(tmp.filePath(base + "/" + folder));
        QCOMPARE(CommandBuilder::plannedOutputDirectory(source, subfolder(name)).toLocalFile(),
                 expected);
        QCOMPARE(QFileInfo::exists(expected), folder.isEmpty()); // planning makes nothing
        const QUrl first = CommandBuilder::outputDirectory(source, subfolder(name));
        QCOMPARE(first.toLocalFile(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        // A second call for the same item finds the folder already there.
        QCOMPARE(CommandBuilder::outputDirectory(source, subfolder(name)), first);
    }

    void foldersAreMadeOrRefused() {
        const QString target = tmp.filePath("chosen/deep/er");
        QCOMPARE(
            CommandBuilder::outputDirectory(item(touch("c/x.png")), chosen(target)).toLocalFile(),
            target);
        QVERIFY(QFileInfo(target).isDir());

        TersioSettings empty = chosen("");
        empty.subfolderName = "web";
        QCOMPARE(failureOf(item(touch("d/x.png")), empty),
                 QStringLiteral("Choose an output folder in Output settings."));
        QVERIFY(!QFileInfo::exists(tmp.filePath("d/web")));
        QVERIFY_THROWS_EXCEPTION(TersioError,
                                 CommandBuilder::plannedOutputDirectory(item("/d/x.png"), empty));

        const QString blocker = touch("e/blocker");
        const MediaItem source = item(touch("e/x.png"));
        const QString inTheWay = QStringLiteral(
            "Could not create the folder \u201C%1\u201D: \u201C%2\u201D is a file, not a folder.");
        QCOMPARE(failureOf(source, chosen(blocker + "/sub")),
                 inTheWay.arg(blocker + "/sub", blocker));
        QCOMPARE(failureOf(source, subfolder("blocker")), inTheWay.arg(blocker, blocker));
    }

    // The later claim of a taken name is numbered, past names that are taken or reserved.
    void namesAreClaimedInQueueOrder_data() {
        QTest::addColumn<Queue>("queue");
        QTest::addColumn<QStringList>("reserved");
        QTest::addColumn<QList<QStringList>>("names");
        using Names = QList<QStringList>;
        row("a numbered name taken later",
            Queue{outputs({"x/p.jpg"}), outputs({"x/p.jpg"}), outputs({"x/p-2.jpg"})},
            QStringList{}, Names{{"p.jpg"}, {"p-2.jpg"}, {"p-2-2.jpg"}});
        row("numbering skips a queued original", Queue{outputs({"x/p.jpg"}), outputs({"x/p.jpg"})},
            QStringList{"/o/x/p-2.jpg"}, Names{{"p.jpg"}, {"p-3.jpg"}});
        row("an item without outputs claims nothing",
            Queue{outputs({}), outputs({"x/p.png", "x/p.png"}), outputs({"y/p.png"})},
            QStringList{}, Names{{}, {"p.png", "p-2.png"}, {"p.png"}});
    }
    void namesAreClaimedInQueueOrder() {
        QFETCH(Queue, queue);
        QFETCH(QStringList, reserved);
        QFETCH(QList<QStringList>, names);
        const QSet<QString> keys(reserved.begin(), reserved.end());
        QCOMPARE(OutputNames::assign(queue, keys), names);
        // Proposing does not claim: asking twice gives the same answer.
        OutputNames::Claims claims(keys);
        for (qsizetype i = 0; i < queue.size(); ++i) {
            QCOMPARE(claims.names(queue[i]), names[i]);
            QCOMPARE(claims.names(queue[i]), names[i]);
            claims.take(queue[i], names[i]);
        }
    }

    // The dry-run's arguments write an output's final name.
    void renamedWritesTheNewName() {
        const auto moved = CommandBuilder::renamed(
            {"JPEG", QUrl::fromLocalFile("/o/p.jpg"), {"-i", "/s/p.png", "/o/p.jpg"}, 0},
            "p-2.jpg");
        QCOMPARE(moved.arguments, (QStringList{"-i", "/s/p.png", "/o/p-2.jpg"}));
    }

    // The same file reached through a symlinked folder or a hard link is still the original.
    void originalsAreKnownByIdentity() {
        const QString src = touch("src/a.jpg").section('/', 0, -2);
        QVERIFY(QFile::link(src, tmp.filePath("alias")));
        QCOMPARE(::link(QFile::encodeName(src + "/a.jpg").constData(),
                        QFile::encodeName(tmp.filePath("hard.jpg")).constData()),
                 0);
        SourceSet sources;
        sources.add(QUrl::fromLocalFile(src + "/a.jpg"));
        for (const QString& same : {src + "/a.jpg", tmp.filePath("alias/a.jpg"),
                                    tmp.filePath("hard.jpg"), src + "/./sub/../a.jpg"})
            QVERIFY2(sources.holds(same), qPrintable(same));
        QVERIFY(!sources.holds(src + "/a.png"));
        QVERIFY(!sources.holds(tmp.filePath("alias/new/a.jpg")));
        QCOMPARE(SourceSet::canonicalFolder(tmp.filePath("alias/new/deeper")),
                 QFileInfo(src).canonicalFilePath() + "/new/deeper");

        const auto writesOver = [&](const QString& destination, const QString& source) {
            PlannedOutput output;
            output.destination = QUrl::fromLocalFile(destination);
            return CommandBuilder::writesOverSource(output, QUrl::fromLocalFile(source));
        };
        QVERIFY(writesOver(tmp.filePath("hard.jpg"), src + "/a.jpg"));
        QVERIFY(writesOver(tmp.filePath("alias/a.jpg"), src + "/a.jpg"));
        QVERIFY(!writesOver(touch("src/b.jpg"), src + "/a.jpg"));
        // Files that do not exist compare by their cleaned paths.
        QVERIFY(writesOver("/nowhere/x/../clip.mp4", "/nowhere/clip.mp4"));
        QVERIFY(!writesOver("/nowhere/clip.mp4", "/nowhere/clip.mov"));
    }

    void planThatWouldWriteOverItsSource() {
        const MediaItem photo = item(touch("same/Photo.png"));
        EncoderCaps encoders;
        encoders.names = {"png", "mjpeg"};
        const auto overwrites = [&](TersioSettings settings, ImageFormat format) {
            settings.imageFormat = format;
            const QUrl folder = CommandBuilder::outputDirectory(photo, settings);
            const auto plan = CommandBuilder::imagePlan(photo, settings, encoders, folder);
            return plan.size() == 1 && CommandBuilder::writesOverSource(plan.first(), photo.url);
        };
        QVERIFY(overwrites(chosen(tmp.filePath("same")), ImageFormat::png));
        QVERIFY(overwrites(subfolder("."), ImageFormat::matchSource));
        QVERIFY(!overwrites(subfolder("optimised"), ImageFormat::png));
        QVERIFY(QFile::link(tmp.filePath("same"), tmp.filePath("same-alias")));
        QVERIFY(overwrites(chosen(tmp.filePath("same-alias")), ImageFormat::png));
        QVERIFY(!overwrites(chosen(tmp.filePath("same")), ImageFormat::jpeg));
    }
};

QTEST_GUILESS_MAIN(TestOutputPaths)
#include "test_output_paths.moc"
