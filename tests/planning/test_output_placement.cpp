#include "PlanTestSupport.h"

#include <QtTest>

#include "TestSupport.h"
#include <unistd.h>

using TestSupport::row;

using namespace PlanTestSupport;

class TestOutputPlacement : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    QString touch(const QString& relative) {
        const QString path = tmp.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("x");
        return path;
    }

    static TersioSettings subfolder(const QString& name) {
        TersioSettings settings;
        settings.subfolderName = name;
        return settings;
    }

    static TersioSettings customFolder(const QString& path) {
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

  private slots:
    void subfolderBesideTheSource_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder"); // relative to the source's folder
        row("padded", "  web  ", "web");
        row("tabs", "\tweb\t", "web");
        row("empty", "", "optimised");
        row("only spaces", "   ", "optimised");
        row("nested", "a/b", "a/b");
        row("line break kept", "web\n", "web\n");
        row("dot is the source folder", ".", "");
    }
    void subfolderBesideTheSource() {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        const MediaItem source = item(touch("shots/clip.mov"));
        const QUrl first = CommandBuilder::outputDirectory(source, subfolder(name));
        const QString expected = QDir::cleanPath(tmp.filePath("shots/" + folder));
        QCOMPARE(first.toLocalFile(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        // A second call for the same item finds the folder already there.
        QCOMPARE(CommandBuilder::outputDirectory(source, subfolder(name)), first);
    }

    void eachSourceGetsItsOwnSubfolder() {
        const auto a = CommandBuilder::outputDirectory(item(touch("one/a.png")), subfolder("web"));
        const auto b = CommandBuilder::outputDirectory(item(touch("two/b.png")), subfolder("web"));
        QCOMPARE(a.toLocalFile(), tmp.filePath("one/web"));
        QCOMPARE(b.toLocalFile(), tmp.filePath("two/web"));
    }

    void customFolder() {
        const QString target = tmp.filePath("chosen/deep/er");
        const auto url =
            CommandBuilder::outputDirectory(item(touch("c/x.png")), customFolder(target));
        QCOMPARE(url.toLocalFile(), target);
        QVERIFY(QFileInfo(target).isDir());
    }

    void plannedFolderIsNotCreated() {
        const MediaItem source = item(touch("g/x.png"));
        const QUrl planned = CommandBuilder::plannedOutputDirectory(source, subfolder(" web "));
        QCOMPARE(planned.toLocalFile(), tmp.filePath("g/web"));
        QVERIFY(!QFileInfo::exists(tmp.filePath("g/web")));
        QCOMPARE(CommandBuilder::outputDirectory(source, subfolder(" web ")), planned);
        QVERIFY_THROWS_EXCEPTION(TersioError,
                                 CommandBuilder::plannedOutputDirectory(source, customFolder("")));
    }

    void emptyCustomFolderFailsBeforeCreatingAnything() {
        TersioSettings settings = customFolder("");
        settings.subfolderName = "web";
        QCOMPARE(failureOf(item(touch("d/x.png")), settings),
                 QStringLiteral("Choose an output folder in Output settings."));
        QVERIFY(!QFileInfo::exists(tmp.filePath("d/web")));
        QVERIFY(!QFileInfo::exists(tmp.filePath("d/optimised")));
    }

    void aFileInTheWayIsNamed() {
        const QString blocker = touch("e/blocker");
        const MediaItem source = item(touch("e/x.png"));
        QCOMPARE(failureOf(source, customFolder(blocker + "/sub")),
                 QStringLiteral("Could not create the folder \u201C%1/sub\u201D: \u201C%1\u201D is "
                                "a file, not a folder.")
                     .arg(blocker));
        QCOMPARE(failureOf(source, subfolder("blocker")),
                 QStringLiteral("Could not create the folder \u201C%1\u201D: \u201C%1\u201D is a "
                                "file, not a folder.")
                     .arg(blocker));
    }

    void namingScheme_data() {
        QTest::addColumn<QString>("stem");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("name");
        row("jpeg", "photo", "", "jpg", "photo.jpg");
        row("png", "photo", "", "png", "photo.png");
        row("webp", "photo", "", "webp", "photo.webp");
        row("avif", "photo", "", "avif", "photo.avif");
        row("h264", "clip", "", "mp4", "clip.mp4");
        row("hevc", "clip", "hevc", "mp4", "clip-hevc.mp4");
        row("vp9", "clip", "", "webm", "clip.webm");
        row("poster", "clip", "poster", "jpg", "clip-poster.jpg");
        row("crop", "clip", "9x16", "mp4", "clip-9x16.mp4");
        row("crop hevc", "clip", "9x16-hevc", "mp4", "clip-9x16-hevc.mp4");
        row("crop vp9", "clip", "9x16", "webm", "clip-9x16.webm");
        row("kept as typed", "Ünï cödé #1 %", "", "jpg", "Ünï cödé #1 %.jpg");
    }
    void namingScheme() {
        QFETCH(QString, stem);
        QFETCH(QString, suffix);
        QFETCH(QString, ext);
        QFETCH(QString, name);
        const QUrl folder = QUrl::fromLocalFile("/srv/out");
        QCOMPARE(CommandBuilder::destination(folder, stem, suffix, ext).toLocalFile(),
                 "/srv/out/" + name);
        QCOMPARE(CommandBuilder::destination(QUrl::fromLocalFile("/srv/out/"), stem, suffix, ext)
                     .toLocalFile(),
                 "/srv/out/" + name);
    }

    void stems_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("stem");
        row("plain", "/a/clip.mov", "clip");
        row("upper-case extension", "/a/photo.HEIC", "photo");
        row("several dots", "/a/Holiday.2024.MOV", "Holiday.2024");
        row("a.b.mov", "/a/a.b.mov", "a.b");
        row("no dot", "/a/README", "README");
        row("dotted folder", "/a.b/clip", "clip");
        row("leading dot only", "/a/.hidden", ".hidden");
    }
    void stems() {
        QFETCH(QString, path);
        QFETCH(QString, stem);
        QCOMPARE(CommandBuilder::stem(QUrl::fromLocalFile(path)), stem);
    }

    void sourceAndDestinationTheSameFile() {
        const QString source = touch("same/Photo.png");
        const MediaItem photo = item(source, 800, 600);
        TersioSettings settings = customFolder(tmp.filePath("same"));
        settings.imageFormat = ImageFormat::png;

        auto overwrites = [&](const TersioSettings& chosen) {
            const QUrl folder = CommandBuilder::outputDirectory(photo, chosen);
            const auto plan = CommandBuilder::imagePlan(photo, chosen, allCaps(), folder);
            return plan.size() == 1 && CommandBuilder::writesOverSource(plan.first(), photo.url);
        };
        QVERIFY(overwrites(settings));
        QVERIFY(overwrites(subfolder(".")));
        QVERIFY(!overwrites(subfolder("optimised")));

        QVERIFY(QFile::link(tmp.filePath("same"), tmp.filePath("alias")));
        QVERIFY(overwrites(customFolder(tmp.filePath("alias"))));

        settings.imageFormat = ImageFormat::jpeg;
        QVERIFY(!overwrites(settings));
    }

    void sameFileUnderAnotherName() {
        const QString source = touch("links/a.mp4");
        const QString hard = tmp.filePath("links/b.mp4");
        QCOMPARE(::link(QFile::encodeName(source).constData(), QFile::encodeName(hard).constData()),
                 0);
        PlannedOutput output;
        output.destination = QUrl::fromLocalFile(hard);
        QVERIFY(CommandBuilder::writesOverSource(output, QUrl::fromLocalFile(source)));
        output.destination = QUrl::fromLocalFile(touch("links/c.mp4"));
        QVERIFY(!CommandBuilder::writesOverSource(output, QUrl::fromLocalFile(source)));
    }

    void missingFilesCompareByCleanedPath() {
        PlannedOutput output;
        output.destination = QUrl::fromLocalFile("/nowhere/x/../clip.mp4");
        QVERIFY(CommandBuilder::writesOverSource(output, QUrl::fromLocalFile("/nowhere/clip.mp4")));
        QVERIFY(
            !CommandBuilder::writesOverSource(output, QUrl::fromLocalFile("/nowhere/clip.mov")));
    }
};

QTEST_GUILESS_MAIN(TestOutputPlacement)
#include "test_output_placement.moc"
