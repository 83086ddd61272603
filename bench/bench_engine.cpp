// Engine measurements: batch overhead against a plain loop, add() of a large tree, facts read in
// the background after add(), and the delay from a progress line to the queue's dataChanged.
// Prints one line per figure.
#include "FrameWatch.h"
#include "ProcStatus.h"
#include "engine/AppModel.h"
#include "engine/BatchRun.h"
#include "engine/FactReader.h"
#include "engine/ProgressRelay.h"
#include "planning/CommandBuilder.h"
#include "tools/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <cstdio>
#include <ctime>

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");
const QString ffprobePath = QStringLiteral("/usr/bin/ffprobe");

bool ffmpeg(const QStringList& arguments) {
    return Shell::run(ffmpegPath,
                      QStringList{"-hide_banner", "-loglevel", "error", "-nostdin", "-y"} +
                          arguments)
               .status == 0;
}

EncoderCaps caps() {
    return EncoderCaps::detect(ffmpegPath);
}

std::unique_ptr<AppModel> makeModel(const TersioSettings& settings, const QString& ffmpeg) {
    AppModelOptions options;
    options.searchToolsAtStart = false;
    options.settings = settings;
    auto model = std::make_unique<AppModel>(options);
    model->setTools(FFmpegTools{ffmpeg, ffprobePath}, caps());
    return model;
}

void waitForRun(AppModel& model) {
    if (!model.isRunning())
        return;
    QEventLoop loop;
    QObject::connect(&model, &AppModel::runFinished, &loop, &QEventLoop::quit);
    loop.exec();
}

// (1) The same encodes through the engine and through a plain loop of the same width.
void batchOverhead(QTextStream& out) {
    QTemporaryDir dir;
    const QString src = dir.filePath("src");
    QDir().mkpath(src);
    for (int i = 0; i < 40; ++i)
        ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=1", "-frames:v", "1",
                QStringLiteral("%1/photo%2.jpg").arg(src).arg(i)});
    for (int i = 0; i < 2; ++i)
        ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=24:duration=1", "-f", "lavfi",
                "-i", "sine=duration=1", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
                "-shortest", QStringLiteral("%1/clip%2.mp4").arg(src).arg(i)});

    // Outputs outside the source folder, so a later round never queues an earlier one's files.
    TersioSettings settings;
    settings.outputMode = OutputMode::customFolder;
    settings.customFolderPath = dir.filePath("out");
    const int limit = BatchRun::concurrencyLimit(settings.maxConcurrent);
    QList<QList<QStringList>> plans; // per item, its outputs' argument lists

    auto engineRun = [&] {
        auto model = makeModel(settings, ffmpegPath);
        model->add({QUrl::fromLocalFile(src)});
        QElapsedTimer timer;
        timer.start();
        model->start();
        waitForRun(*model);
        const qint64 ms = timer.elapsed();
        if (plans.isEmpty()) {
            for (const MediaItem& done : model->items()) {
                MediaItem item = done;
                item.outputs.clear();
                const QUrl directory = CommandBuilder::outputDirectory(item, settings);
                const auto plan =
                    item.kind == MediaKind::image
                        ? CommandBuilder::imagePlan(item, settings, model->caps(), directory)
                        : CommandBuilder::videoPlan(item, settings, model->caps(), directory);
                QList<QStringList> lists;
                for (const PlannedOutput& output : plan)
                    lists << output.arguments;
                plans << lists;
            }
        }
        return ms;
    };
    auto plainRun = [&] {
        QThreadPool pool;
        pool.setMaxThreadCount(limit);
        QElapsedTimer timer;
        timer.start();
        QtConcurrent::blockingMap(&pool, plans, [](const QList<QStringList>& lists) {
            for (const QStringList& arguments : lists)
                if (const ShellResult result = Shell::run(ffmpegPath, arguments);
                    result.status != 0)
                    qWarning("plain run failed (%d): %s", result.status,
                             qPrintable(result.stderrText.left(300)));
        });
        return timer.elapsed();
    };

    engineRun(); // warm-up, and the plans
    qint64 engine = std::numeric_limits<qint64>::max(), plain = engine;
    for (int round = 0; round < 3; ++round) {
        plain = qMin(plain, plainRun());
        engine = qMin(engine, engineRun());
    }
    int encodes = 0;
    for (const auto& lists : plans)
        encodes += int(lists.size());
    out << "batch overhead: " << plans.size() << " items, " << encodes << " encodes, limit "
        << limit << ": engine " << engine << " ms, plain loop " << plain << " ms, ratio "
        << QString::number(double(engine) / double(plain), 'f', 3)
        << " (best of 3, goal <= 1.03)\n";
}

// (2) add() of a tree of 10,000 files.
void addLargeTree(QTextStream& out) {
    QTemporaryDir dir;
    for (int d = 0; d < 100; ++d) {
        const QString folder = dir.filePath(QStringLiteral("d%1/sub").arg(d));
        QDir().mkpath(folder);
        for (int f = 0; f < 100; ++f) {
            QFile file(
                QStringLiteral("%1/frame%2.%3").arg(folder).arg(f).arg(f % 10 ? "jpg" : "mov"));
            file.open(QIODevice::WriteOnly);
        }
    }
    auto model = makeModel(TersioSettings{}, ffmpegPath);
    const qint64 rssBefore = procStatusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    model->add({QUrl::fromLocalFile(dir.path())});
    const qint64 ms = timer.elapsed();
    const qint64 rssAfter = procStatusKb("VmRSS:");
    out << "add(): " << model->itemCount() << " files in " << ms << " ms, RSS +"
        << (rssAfter - rssBefore) / 1024.0 << " MB (VmHWM " << procStatusKb("VmHWM:") / 1024.0
        << " MB) (goal < 500 ms, < 50 MB)\n";
}

void waitForFacts(AppModel& model) {
    QEventLoop loop;
    QObject::connect(model.factReader(), &FactReader::idle, &loop, &QEventLoop::quit);
    if (model.factReader()->outstanding() > 0)
        loop.exec();
}

void idleFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString samplePictures() {
    QProcess fetch;
    fetch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fetch.start(QStringLiteral(TERSIO_BENCH_DIR "/fetch-sample-media.sh"), {});
    fetch.waitForFinished(600000);
    return fetch.exitCode() == 0 ? QString::fromLocal8Bit(fetch.readAllStandardOutput()).trimmed()
                                 : QString();
}

// (4) Facts read in the background after add(): real pictures from Debian packages, four copies
// each, and a few clips; how long until every row has its size, and the main thread's frames
// meanwhile. Then 10,000 empty files, the most results a second the reader can hand back.
void factsRead(QTextStream& out) {
    const QString pictures = samplePictures();
    if (pictures.isEmpty()) {
        out << "facts read: no sample pictures (bench/fetch-sample-media.sh failed)\n";
        return;
    }
    QTemporaryDir dir;
    const QStringList names = QDir(pictures).entryList(QDir::Files);
    qint64 bytes = 0;
    for (int copy = 0; copy < 4; ++copy) {
        const QString folder = dir.filePath(QStringLiteral("copy%1").arg(copy));
        QDir().mkpath(folder);
        for (const QString& name : names) {
            QFile::copy(QDir(pictures).filePath(name), folder + u'/' + name);
            bytes += QFileInfo(folder + u'/' + name).size();
        }
        ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=30:duration=3", "-f", "lavfi",
                "-i", "sine=duration=3", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                "-shortest", folder + QStringLiteral("/clip.mp4")});
    }
    {
        auto model = makeModel(TersioSettings{}, ffmpegPath);
        FrameWatch idle;
        idleFor(10000);
        out << "facts read, idle main thread for comparison: " << idle.summary() << "\n";

        FrameWatch frames;
        QElapsedTimer timer;
        timer.start();
        model->add({QUrl::fromLocalFile(dir.path())});
        const qint64 addMs = timer.elapsed();
        waitForFacts(*model);
        const qint64 readMs = timer.elapsed();
        const auto known = std::count_if(model->items().begin(), model->items().end(),
                                         [](const MediaItem& item) { return item.width > 0; });
        out << "facts read: " << model->itemCount() << " files (" << bytes / 1000000
            << " MB of pictures, 4 clips), add() " << addMs << " ms, every fact in " << readMs
            << " ms, " << known << " with a size; main thread: " << frames.summary()
            << " (goal: none over 50 ms)\n";
    }
    {
        QTemporaryDir empty;
        for (int d = 0; d < 100; ++d) {
            const QString folder = empty.filePath(QStringLiteral("d%1").arg(d));
            QDir().mkpath(folder);
            for (int f = 0; f < 100; ++f)
                QFile(QStringLiteral("%1/frame%2.jpg").arg(folder).arg(f))
                    .open(QIODevice::WriteOnly);
        }
        auto model = makeModel(TersioSettings{}, ffmpegPath);
        QElapsedTimer timer;
        timer.start();
        model->add({QUrl::fromLocalFile(empty.path())});
        const qint64 addMs = timer.elapsed();
        FrameWatch frames; // from here on only the reader is at work
        waitForFacts(*model);
        out << "facts read, 10,000 empty files: add() " << addMs << " ms, then done in "
            << timer.elapsed() - addMs << " ms; main thread after add(): " << frames.summary()
            << "\n";
    }
}

qint64 realtimeNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// (3) From a progress line leaving a stand-in ffmpeg to the row's dataChanged.
void progressLatency(QTextStream& out) {
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1", "-c:v", "libx264",
            "-pix_fmt", "yuv420p", clip});
    const QString stamps = dir.filePath("stamps");
    const QString fake = dir.filePath("ffmpeg");
    QFile script(fake);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\nfor last; do :; done\nk=1\nwhile [ $k -le 60 ]; do\n"
                 "  echo \"$k $(date +%s%N)\" >> '" +
                 stamps.toUtf8() +
                 "'\n"
                 "  printf 'out_time_us=%d\\n' $((k * 10000))\n"
                 "  sleep 0.02\n  k=$((k + 1))\ndone\nprintf x > \"$last\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    TersioSettings settings;
    settings.makeWebM = false;
    settings.makePoster = false;
    settings.cropVariants.clear();
    auto model = makeModel(settings, fake);
    model->add({QUrl::fromLocalFile(clip)});
    QHash<int, qint64> changedAt;
    QObject::connect(model->queue(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& index) {
                         const double progress = index.data(QueueModel::ProgressRole).toDouble();
                         const double duration = index.data(QueueModel::DurationRole).toDouble();
                         const int k = qRound(progress * duration * 100);
                         if (progress > 0 && progress < 1 && !changedAt.contains(k))
                             changedAt.insert(k, realtimeNs());
                     });
    model->start();
    waitForRun(*model);

    QList<double> delays;
    QFile file(stamps);
    file.open(QIODevice::ReadOnly);
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2 && changedAt.contains(parts[0].toInt()))
            delays << (changedAt.value(parts[0].toInt()) - parts[1].toLongLong()) / 1e6;
    }
    std::sort(delays.begin(), delays.end());
    if (delays.isEmpty()) {
        out << "progress latency: no reports seen\n";
        return;
    }
    out << "progress latency: " << delays.size() << " reports, median "
        << QString::number(delays.at(delays.size() / 2), 'f', 2) << " ms, max "
        << QString::number(delays.last(), 'f', 2) << " ms (goal < 10 ms)\n";
}

// (3b) The engine's own share: a job callback on a worker thread to the row's dataChanged,
// through the relay and the queue update the pipeline uses.
void relayLatency(QTextStream& out) {
    QueueModel queue;
    MediaItem item;
    queue.append(item);
    qint64 changedAt = 0;
    QObject::connect(&queue, &QAbstractItemModel::dataChanged, [&] { changedAt = realtimeNs(); });
    const auto callback = ProgressRelay::toThreadOf(&queue, [&](double fraction) {
        queue.update(item.id, [fraction](MediaItem& it) { it.progress = fraction; });
    });
    QList<double> delays;
    for (int k = 1; k <= 200; ++k) {
        changedAt = 0;
        qint64 sentAt = 0;
        auto sent = QtConcurrent::run([&] {
            sentAt = realtimeNs();
            callback(k / 1000.0);
        });
        while (changedAt == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        sent.waitForFinished();
        delays << (changedAt - sentAt) / 1e6;
    }
    std::sort(delays.begin(), delays.end());
    out << "progress relay (callback to dataChanged): " << delays.size() << " reports, median "
        << QString::number(delays.at(delays.size() / 2), 'f', 3) << " ms, max "
        << QString::number(delays.last(), 'f', 3) << " ms (goal < 10 ms)\n";
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // the batch saves settings: never the user's
    QTextStream out(stdout);
    const QStringList only = app.arguments().mid(1);
    if (only.isEmpty() || only.contains("add"))
        addLargeTree(out), out.flush();
    if (only.isEmpty() || only.contains("facts"))
        factsRead(out), out.flush();
    if (only.isEmpty() || only.contains("progress"))
        progressLatency(out), relayLatency(out), out.flush();
    if (only.isEmpty() || only.contains("batch"))
        batchOverhead(out), out.flush();
    return 0;
}
