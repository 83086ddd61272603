#include "EngineSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace EngineSupport;

namespace {

// ffprobe's view of one file's streams.
QJsonArray streamsOf(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/ffprobe"),
                {"-v", "error", "-print_format", "json", "-show_streams", path});
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

    // A mixed folder with every video format on: each output is the codec its name says, the
    // reported sizes are the files', and the run leaves no hidden file behind.
    void defaultBatch() {
        QString error;
        const QString dir = path("batch");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY2(makeImage(dir + "/photo.jpg", "320x240", &error), qPrintable(error));
        QVERIFY2(makeImage(dir + "/picture.webp", "120x90", &error), qPrintable(error));
        QVERIFY(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=200x150", "-vf",
                                     "format=rgba", "-frames:v", "1", dir + "/graphic.png"}));
        QVERIFY(
            TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=15:duration=1",
                                 "-c:v", "libx264", "-pix_fmt", "yuv420p", dir + "/silent.mp4"}));
        QVERIFY(TestSupport::ffmpeg(
            {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=15:duration=1.5", "-f", "lavfi", "-i",
             "sine=frequency=440:duration=1.5", "-ac", "2", "-c:v", "libx264", "-pix_fmt",
             "yuv420p", "-c:a", "aac", "-shortest", dir + "/talk.mov"}));

        TersioSettings settings;
        settings.makeHEVC = true;
        settings.maxConcurrent = 3;
        auto model = modelWith(settings);
        model->add({QUrl::fromLocalFile(dir)});
        model->start();
        QVERIFY(waitForRunEnd(*model));

        const QMap<QString, QString> codecs{
            {"jpg", "mjpeg"}, {"png", "png"}, {"webp", "webp"}, {"mp4", "h264"}, {"webm", "vp9"}};
        qint64 expectedSaved = 0;
        for (const MediaItem& item : model->items()) {
            const QString name = item.url.fileName();
            QVERIFY2(item.status == ItemStatus::done(),
                     qPrintable(name + ": " + item.status.message));
            QCOMPARE(item.progress, 1.0);
            expectedSaved += item.sourceBytes - item.outputs.first().bytes;
            for (const ProducedFile& file : item.outputs) {
                const QString out = file.url.toLocalFile();
                const QString ext = QFileInfo(out).suffix();
                QCOMPARE(file.bytes, QFileInfo(out).size());
                const QJsonArray streams = streamsOf(out);
                const QJsonObject video = streamOfType(streams, "video");
                const bool hevc = out.endsWith("-hevc.mp4");
                QCOMPARE(video.value("codec_name").toString(), hevc ? "hevc" : codecs.value(ext));
                if (hevc)
                    QCOMPARE(video.value("codec_tag_string").toString(), QStringLiteral("hvc1"));
                if (item.kind == MediaKind::image)
                    QCOMPARE(video.value("width").toInt(), int(item.width)); // under the cap
                else if (ext != "jpg")
                    QCOMPARE(streamOfType(streams, "audio").value("channels").toInt(),
                             name == "talk.mov" ? 2 : 0);
            }
        }
        QCOMPARE(itemNamed(*model, "graphic.png")->hasAlpha, true);
        QCOMPARE(model->totalSaved(), expectedSaved);
        QCOMPARE(model->doneCount(), 5);
        QCOMPARE(hiddenFiles(dir), QStringList{});
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
