#include "EngineSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace EngineSupport;

namespace {

// ffprobe's view of one file: its streams, and the decoded frame count of the first video one.
QJsonArray streamsOf(const QString& path, bool countFrames = false) {
    QProcess probe;
    QStringList arguments{"-v", "error", "-print_format", "json", "-show_streams"};
    if (countFrames)
        arguments << "-count_frames";
    probe.start(QStringLiteral("/usr/bin/ffprobe"), arguments << path);
    probe.waitForFinished(60000);
    return QJsonDocument::fromJson(probe.readAllStandardOutput())
        .object()
        .value("streams")
        .toArray();
}

QJsonObject streamOfType(const QJsonArray& streams, const QString& type) {
    for (const QJsonValue& stream : streams)
        if (stream.toObject().value("codec_type").toString() == type)
            return stream.toObject();
    return {};
}

} // namespace

// Whole batches through Debian's ffmpeg on media made here.
class TestEngineBatch : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    std::unique_ptr<AppModel> modelWith(const TersioSettings& settings) {
        auto model = makeModel(settings);
        model->setTools(realTools(), debianCaps());
        return model;
    }

  private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void defaultBatch() {
        QString error;
        QVERIFY(QDir().mkpath(path("batch")));
        QVERIFY2(makeImage(path("batch/photo.jpg"), "320x240", &error), qPrintable(error));
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=200x150:rate=1", "-vf",
                                      "format=rgba", "-frames:v", "1", path("batch/graphic.png")},
                                     &error),
                 qPrintable(error));
        QVERIFY2(makeImage(path("batch/picture.webp"), "120x90", &error), qPrintable(error));
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i",
                                      "testsrc=size=320x240:rate=15:duration=1", "-c:v", "libx264",
                                      "-pix_fmt", "yuv420p", path("batch/silent.mp4")},
                                     &error),
                 qPrintable(error));
        QVERIFY2(
            TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=15:duration=1.5",
                                 "-f", "lavfi", "-i", "sine=frequency=440:duration=1.5", "-ac", "2",
                                 "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
                                 "-shortest", path("batch/talk.mov")},
                                &error),
            qPrintable(error));

        TersioSettings settings;
        settings.makeHEVC = true;
        settings.maxConcurrent = 3;
        auto model = modelWith(settings);
        model->add({QUrl::fromLocalFile(path("batch"))});
        QCOMPARE(model->itemCount(), 5);
        model->start();
        QVERIFY(model->isRunning());
        QVERIFY(waitForRunEnd(*model));

        qint64 expectedSaved = 0;
        for (const MediaItem& item : model->items()) {
            const QString name = item.url.fileName();
            QVERIFY2(item.status == ItemStatus::done(),
                     qPrintable(name + ": " + item.status.message));
            QCOMPARE(item.progress, 1.0);
            QVERIFY(!item.outputs.isEmpty());
            QVERIFY(item.width > 0 && item.height > 0);
            expectedSaved += item.sourceBytes - item.outputs.first().bytes;

            for (const ProducedFile& file : item.outputs) {
                const QString out = file.url.toLocalFile();
                const QString what = name + " -> " + QFileInfo(out).fileName();
                QCOMPARE(QFileInfo(out).dir().dirName(), QStringLiteral("optimised"));
                QCOMPARE(file.bytes, QFileInfo(out).size());
                QVERIFY2(file.bytes > 0, qPrintable(what));
                const QString ext = QFileInfo(out).suffix();
                const bool poster = item.kind == MediaKind::video && ext == QLatin1String("jpg");
                const QJsonArray streams = streamsOf(out, poster);
                const QJsonObject video = streamOfType(streams, "video");
                const QString codec = video.value("codec_name").toString();
                const int width = video.value("width").toInt();
                const int height = video.value("height").toInt();
                QVERIFY2(width > 0 && height > 0, qPrintable(what));

                if (item.kind == MediaKind::image) {
                    const QMap<QString, QString> codecs{
                        {"jpg", "mjpeg"}, {"png", "png"}, {"webp", "webp"}};
                    QCOMPARE(codec, codecs.value(ext));
                    QCOMPARE(width, int(item.width)); // under the cap: not scaled
                    continue;
                }
                QVERIFY2(width % 2 == 0 && height % 2 == 0, qPrintable(what));
                QVERIFY2(width <= 1920, qPrintable(what));
                const QJsonObject audio = streamOfType(streams, "audio");
                if (poster) {
                    QCOMPARE(codec, QStringLiteral("mjpeg"));
                    QCOMPARE(video.value("nb_read_frames").toString(), QStringLiteral("1"));
                    QVERIFY(audio.isEmpty());
                    continue;
                }
                if (ext == QLatin1String("webm")) {
                    QCOMPARE(codec, QStringLiteral("vp9"));
                } else if (file.label.contains("HEVC") || out.contains("hevc")) {
                    QCOMPARE(codec, QStringLiteral("hevc"));
                    QCOMPARE(video.value("codec_tag_string").toString(), QStringLiteral("hvc1"));
                } else {
                    QCOMPARE(ext, QStringLiteral("mp4"));
                    QCOMPARE(codec, QStringLiteral("h264"));
                }
                if (name == QLatin1String("talk.mov"))
                    QCOMPARE(audio.value("channels").toInt(), 2);
                else
                    QVERIFY2(audio.isEmpty(), qPrintable(what));
            }
        }
        const MediaItem* talk = itemNamed(*model, "talk.mov");
        QVERIFY(talk->hasAudio);
        QVERIFY(talk->duration > 1.0);
        QCOMPARE(itemNamed(*model, "graphic.png")->hasAlpha, true);
        QCOMPARE(model->totalSaved(), expectedSaved);
        QCOMPARE(model->doneCount(), 5);
        QCOMPARE(model->pendingCount(), 0);
        QCOMPARE(hiddenFiles(path("batch")), QStringList{});

        // Adding the folder again never picks up a hidden work file of the run.
        model->add({QUrl::fromLocalFile(path("batch"))});
        for (const MediaItem& item : model->items())
            QVERIFY(!item.url.fileName().startsWith(QLatin1Char('.')));
    }

    void badInputs() {
        QString error;
        const QString in = path("bad");
        QVERIFY(QDir().mkpath(in));
        QVERIFY2(
            TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1",
                                 "-c:v", "libx264", "-pix_fmt", "yuv420p", in + "/whole.mp4"},
                                &error),
            qPrintable(error));
        QFile whole(in + "/whole.mp4");
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QVERIFY(TestSupport::writeFile(in + "/truncated.mp4", whole.read(whole.size() / 2)));
        QVERIFY(TestSupport::writeFile(in + "/zero.mp4", {}));
        QVERIFY(
            TestSupport::writeFile(in + "/letter.jpg", "Dear reader,\nthis is not a picture.\n"));
        QVERIFY(TestSupport::writeFile(in + "/gone.jpg", "soon gone"));
        const QStringList odd{"with space.jpg", "quote\"and'apostrophe.jpg",
                              "-dash.jpg",      "\u00FCber \u00E9t\u00E9.jpg",
                              "new\nline.jpg",  "50%.jpg"};
        for (const QString& name : odd)
            QVERIFY2(makeImage(in + "/" + name, "64x48", &error), qPrintable(error));

        // A folder whose "optimised" is a file, and a folder nothing can be written in.
        QVERIFY(QDir().mkpath(path("blocked")));
        QVERIFY(makeImage(path("blocked/b.jpg")));
        QVERIFY(TestSupport::writeFile(path("blocked/optimised"), "in the way"));

        auto model = modelWith(TersioSettings{});
        model->add({QUrl::fromLocalFile(in), QUrl::fromLocalFile(path("blocked"))});
        QCOMPARE(model->itemCount(), 12);
        QVERIFY(QFile::remove(in + "/gone.jpg"));
        model->start();
        QVERIFY(waitForRunEnd(*model));

        auto failedWith = [&](const QString& name) {
            const MediaItem* item = itemNamed(*model, name);
            return item && item->status.value == ItemStatus::Case::failed ? item->status.message
                                                                          : QString();
        };
        QCOMPARE(failedWith("gone.jpg"), QStringLiteral("The file is no longer there."));
        QCOMPARE(failedWith("zero.mp4"), QStringLiteral("The file is empty."));
        for (const QString& name : {"truncated.mp4", "letter.jpg", "b.jpg"})
            QVERIFY2(!failedWith(name).isEmpty(), qPrintable(name + " " + statusOf(*model, name)));
        QVERIFY(!failedWith("letter.jpg").contains(".tersio-"));
        QCOMPARE(statusOf(*model, "whole.mp4"), QStringLiteral("done"));
        for (const QString& name : odd) {
            const MediaItem* item = itemNamed(*model, name);
            QVERIFY2(item && item->status == ItemStatus::done(),
                     qPrintable(name + ": " + statusOf(*model, name) + " " +
                                (item ? item->status.message : QString())));
            for (const ProducedFile& file : item->outputs)
                QVERIFY(QFileInfo(file.url.toLocalFile()).size() > 0);
        }
        QCOMPARE(hiddenFiles(in), QStringList{});
    }

    void unwritableFolder() {
        // As root a mode-0555 folder is still writable, so take one the kernel refuses.
        QString folder = path("readonly");
        if (::geteuid() == 0) {
            folder = QStringLiteral("/sys");
        } else {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        QVERIFY(makeImage(path("r.jpg")));
        TersioSettings settings;
        settings.outputMode = OutputMode::customFolder;
        settings.customFolderPath = folder;
        auto model = modelWith(settings);
        model->add({QUrl::fromLocalFile(path("r.jpg"))});
        model->start();
        QVERIFY(waitForRunEnd(*model));
        const MediaItem& item = model->items().first();
        QCOMPARE(item.status.value, ItemStatus::Case::failed);
        QVERIFY2(item.status.message.contains(folder), qPrintable(item.status.message));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_GUILESS_MAIN(TestEngineBatch)
#include "test_engine_batch.moc"
