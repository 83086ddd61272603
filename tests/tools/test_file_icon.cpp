#include "tools/FileIcon.h"

#include "TestSupport.h"
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using TestSupport::row;

// File icons where no icon theme can be found: the data folders hold the MIME database and no
// icons, set before the application exists because Qt reads the theme folders once.
class TestFileIcon : public QObject {
    Q_OBJECT

  public:
    static void initMain() {
        static QTemporaryDir data;
        QFile::link("/usr/share/mime", data.filePath("mime"));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(data.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    }

  private slots:
    void withoutAThemeTheGlyphIsDrawn_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kind");
        row("video", "clip.mp4", int(MediaKind::video));
        row("photo", "photo.jpg", int(MediaKind::image));
    }

    void withoutAThemeTheGlyphIsDrawn() {
        QFETCH(QString, file);
        QFETCH(int, kind);
        const QImage icon = FileIcon::forFile(file, MediaKind(kind), 48);
        QCOMPARE(icon, FileIcon::glyph(MediaKind(kind), 48));
        QCOMPARE(icon.size(), QSize(48, 48));
        QVERIFY(qAlpha(icon.pixel(24, 24)) > 0); // something is drawn
    }

    void glyphsTellVideoFromPhoto() {
        QVERIFY(FileIcon::glyph(MediaKind::video, 48) != FileIcon::glyph(MediaKind::image, 48));
    }

    // The main thread blocks on the worker, so it cannot take the lookup the worker hands it:
    // the worker must still come back, with the glyph.
    void workerComesBackWhileTheMainThreadWaitsForIt() {
        QImage icon;
        std::unique_ptr<QThread> worker(QThread::create(
            [&icon] { icon = FileIcon::forFile("scan.tiff", MediaKind::image, 32); }));
        worker->start();
        QVERIFY(worker->wait(QDeadlineTimer(60000)));
        QCOMPARE(icon, FileIcon::glyph(MediaKind::image, 32));
    }
};

QTEST_MAIN(TestFileIcon)
#include "test_file_icon.moc"
