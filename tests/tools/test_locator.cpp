#include "TestSupport.h"
#include "tools/FFmpegLocator.h"

#include <QTemporaryDir>
#include <QtTest>

using TestSupport::row;

using FFmpegLocator::SearchPlaces;

class TestLocator : public QObject {
    Q_OBJECT
    QTemporaryDir root;

    QString dir(const QString& name) {
        const QString path = root.filePath(name);
        QDir().mkpath(path);
        return path;
    }
    QString tool(const QString& folder, const char* name) {
        return TestSupport::writeScript(dir(folder) + '/' + name, "exit 0\n");
    }
    QStringList four() { return {dir("homebrew"), dir("local"), dir("opt"), dir("usr")}; }

  private slots:
    void init() {
        QDir(root.path()).removeRecursively();
        QDir().mkpath(root.path());
    }

    void nothingFound() {
        tool("usr", "ffprobe");
        QVERIFY(!FFmpegLocator::locate(SearchPlaces{{}, dir("res"), four()}));
    }

    void searchOrderAndSiblingProbe() {
        const auto local = tool("local", "ffmpeg");
        tool("usr", "ffmpeg");
        tool("usr", "ffprobe");
        const auto brewProbe = tool("homebrew", "ffprobe");
        const auto found = FFmpegLocator::locate(SearchPlaces{{}, dir("res"), four()});
        QVERIFY(found);
        QCOMPARE(found->ffmpeg, local);
        // No sibling next to it: the first ffprobe of the search folders.
        QCOMPARE(found->ffprobe, brewProbe);
    }

    void siblingWinsOverSearchFolders() {
        tool("homebrew", "ffprobe");
        const auto ffmpeg = tool("usr", "ffmpeg");
        const auto probe = tool("usr", "ffprobe");
        const auto found = FFmpegLocator::locate(SearchPlaces{{}, dir("res"), four()});
        QCOMPARE(found->ffmpeg, ffmpeg);
        QCOMPARE(found->ffprobe, probe);
    }

    void storedPathThenResourcesThenFolders() {
        tool("usr", "ffmpeg");
        const auto bundled = tool("res/bin", "ffmpeg");
        const auto custom = tool("custom", "my-ffmpeg-build");
        auto found = FFmpegLocator::locate(SearchPlaces{custom, dir("res/bin"), four()});
        QCOMPARE(found->ffmpeg, custom);
        QVERIFY(!found->ffprobe);

        found = FFmpegLocator::locate(SearchPlaces{{}, dir("res/bin"), four()});
        QCOMPARE(found->ffmpeg, bundled);
    }

    void unusableStoredPathsArePassedOver_data() {
        QTest::addColumn<QString>("kind");
        row("deleted", "deleted");
        row("directory", "directory");
        row("dangling link", "dangling");
        row("not executable", "plain");
        row("tilde", "tilde");
    }
    void unusableStoredPathsArePassedOver() {
        QFETCH(QString, kind);
        const auto fallback = tool("usr", "ffmpeg");
        QString stored;
        if (kind == "deleted") {
            stored = tool("gone", "ffmpeg");
            QFile::remove(stored);
        } else if (kind == "directory") {
            stored = dir("ffmpeg-dir");
        } else if (kind == "dangling") {
            stored = root.filePath("link");
            QFile::link(root.filePath("nowhere"), stored);
        } else if (kind == "plain") {
            stored = root.filePath("plain-ffmpeg");
            TestSupport::writeFile(stored, "#!/bin/sh\n");
        } else {
            stored = "~/ffmpeg";
        }
        const auto found = FFmpegLocator::locate(SearchPlaces{stored, {}, four()});
        QVERIFY(found);
        QCOMPARE(found->ffmpeg, fallback);
    }

    void nonExecutableInFirstFolderIsSkipped() {
        TestSupport::writeFile(dir("homebrew") + "/ffmpeg", "data");
        const auto usr = tool("usr", "ffmpeg");
        QCOMPARE(FFmpegLocator::locate(SearchPlaces{{}, {}, four()})->ffmpeg, usr);
    }

    void realSystemTools() {
        const auto found =
            FFmpegLocator::locate(SearchPlaces{{}, {}, FFmpegLocator::searchDirectories()});
        QVERIFY(found);
        QVERIFY(found->ffmpeg.endsWith("/ffmpeg"));
        QVERIFY(found->ffprobe);
    }
};

QTEST_GUILESS_MAIN(TestLocator)
#include "test_locator.moc"
