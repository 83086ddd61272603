#pragma once

#include "TestSupport.h"
#include "engine/AppModel.h"

#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Shared by the engine tests: a model that never searches for tools, fake ffmpeg scripts that
// log their runs, and waiting for a run to end.
namespace EngineSupport {

inline std::unique_ptr<AppModel> makeModel(const TersioSettings& settings = {}) {
    AppModelOptions options;
    options.searchToolsAtStart = false;
    options.settings = settings;
    return std::make_unique<AppModel>(options);
}

inline EncoderCaps debianCaps() {
    EncoderCaps caps;
    for (const char* name : {"mjpeg", "png", "libwebp", "libsvtav1", "libaom-av1", "libx264",
                             "libx265", "libvpx-vp9", "aac", "libopus", "libvorbis"})
        caps.names.insert(QLatin1String(name));
    return caps;
}

inline FFmpegTools realTools() {
    return {QStringLiteral("/usr/bin/ffmpeg"), QStringLiteral("/usr/bin/ffprobe")};
}

// A stand-in ffmpeg: logs "start <pid> <last argument>" and "end <pid>" to `log`, prints three
// progress lines, writes part of every output (each absolute path not read with "-i"), waits
// while `hold` exists, then finishes them. A look at a poster frame (written to a pipe) fails
// at once and is not logged, as does a score (which leaves the output unscored).
inline QString writeFakeFFmpeg(const QString& dir, const QString& log, const QString& hold) {
    const QByteArray body =
        "log='" + log.toUtf8() + "'\nhold='" + hold.toUtf8() +
        "'\n"
        "outs=; prev=\n"
        "for a; do\n"
        "  case \"$a\" in /*) [ \"$prev\" = -i ] || outs=\"$outs\n$a\" ;; esac\n"
        "  prev=$a; last=$a\n"
        "done\n"
        "case \"$last\" in pipe:*) exit 1 ;; esac\n"
        "case \"$*\" in *ssim=stats_file*) exit 1 ;; esac\n"
        "echo \"start $$ $last\" >> \"$log\"\n"
        "echo \"$outs\" | while read -r o; do [ -n \"$o\" ] && printf partial > \"$o\"; done\n"
        "for us in 250000 500000 750000; do\n"
        "  printf 'frame=1\\nout_time_us=%s\\nprogress=continue\\n' $us\n"
        "done\n"
        "while [ -e \"$hold\" ]; do sleep 0.05; done\n"
        "echo \"$outs\" | while read -r o; do\n"
        "  [ -n \"$o\" ] && printf 'finished output %s' $$ > \"$o\"\n"
        "done\n"
        "echo \"end $$\" >> \"$log\"\n";
    return TestSupport::writeScript(dir + QStringLiteral("/ffmpeg"), body);
}

inline QStringList logLines(const QString& log) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline int countPrefix(const QStringList& lines, const QString& prefix) {
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QString& line) { return line.startsWith(prefix); }));
}

// Waits for the run to end; false when it did not end in time.
inline bool waitForRunEnd(AppModel& model, int timeoutMs = 120000) {
    if (!model.isRunning())
        return true;
    QSignalSpy ended(&model, &AppModel::runFinished);
    return ended.wait(timeoutMs);
}

// Every entry under `dir`, hidden ones included, relative to it.
inline QStringList allFiles(const QString& dir) {
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(dir).relativeFilePath(it.next());
    found.sort();
    return found;
}

inline QStringList hiddenFiles(const QString& dir) {
    QStringList hidden;
    for (const QString& path : allFiles(dir))
        if (QFileInfo(path).fileName().startsWith(QLatin1Char('.')))
            hidden << path;
    return hidden;
}

inline const MediaItem* itemNamed(const AppModel& model, const QString& fileName) {
    for (const MediaItem& item : model.items())
        if (item.url.fileName() == fileName)
            return &item;
    return nullptr;
}

inline QString statusOf(const AppModel& model, const QString& fileName) {
    const MediaItem* item = itemNamed(model, fileName);
    return item ? item->status.name() : QStringLiteral("absent");
}

// Small real images made by ffmpeg's test source; false with `error` set when ffmpeg fails.
inline bool makeImage(const QString& path, const QString& size = QStringLiteral("64x48"),
                      QString* error = nullptr) {
    return TestSupport::ffmpeg(
        {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=1", "-frames:v", "1", path}, error);
}

} // namespace EngineSupport
