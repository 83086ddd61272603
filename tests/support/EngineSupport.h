#pragma once

#include "TestSupport.h"
#include "engine/AppModel.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSignalSpy>

#include <memory>

// Shared by the engine tests: a model that never searches for tools, a stand-in ffmpeg, and
// waiting for a run to end.
namespace EngineSupport {

inline EncoderCaps debianCaps() {
    EncoderCaps caps;
    for (const char* name : {"mjpeg", "png", "libwebp", "libsvtav1", "libaom-av1", "libx264",
                             "libx265", "libvpx-vp9", "aac", "libopus", "libvorbis"})
        caps.names.insert(QLatin1String(name));
    return caps;
}

inline FFmpegTools realTools() {
    return {QStringLiteral("/usr/bin/ffmpeg"), QStringLiteral("/usr/bin/ffprobe"), {}};
}

inline QList<QUrl> urls(const QStringList& paths) {
    QList<QUrl> list;
    for (const QString& path : paths)
        list << QUrl::fromLocalFile(path);
    return list;
}

// A model with `settings` and `tools` (none: not set), holding `paths`.
inline std::unique_ptr<AppModel> makeModel(const TersioSettings& settings = {},
                                           const std::optional<FFmpegTools>& tools = {},
                                           const QStringList& paths = {}) {
    AppModelOptions options;
    options.searchToolsAtStart = false;
    options.settings = settings;
    options.readFactsAtLowestPriority = false;
    auto model = std::make_unique<AppModel>(options);
    if (tools)
        model->setTools(tools, debianCaps());
    model->add(urls(paths));
    return model;
}

// A stand-in ffmpeg: logs "start <pid> <last argument>" and "end <pid>" to `log`, prints three
// progress lines, writes part of every output (each absolute path not read with "-i"), waits
// while `hold` exists, then finishes them. A look at a poster frame (written to a pipe) fails
// at once and is not logged, as does a score (which leaves the output unscored).
inline QString writeFakeFFmpeg(const QString& dir, const QString& log, const QString& hold) {
    return TestSupport::writeScript(dir + QStringLiteral("/ffmpeg"),
                                    "log='" + log.toUtf8() + "'\nhold='" + hold.toUtf8() + "'\n" +
                                        R"(outs=; prev=
for a; do
  case "$a" in /*) [ "$prev" = -i ] || outs="$outs
$a" ;; esac
  prev=$a; last=$a
done
case "$last" in pipe:*) exit 1 ;; esac
case "$*" in *ssim=stats_file*) exit 1 ;; esac
echo "start $$ $last" >> "$log"
echo "$outs" | while read -r o; do [ -n "$o" ] && printf partial > "$o"; done
for us in 250000 500000 750000; do printf 'frame=1\nout_time_us=%s\nprogress=continue\n' $us; done
while [ -e "$hold" ]; do sleep 0.05; done
echo "$outs" | while read -r o; do [ -n "$o" ] && printf 'finished output %s' $$ > "$o"; done
echo "end $$" >> "$log"
)");
}

inline QStringList logLines(const QString& log) {
    return QString::fromUtf8(TestSupport::readFile(log))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline bool waitForRunEnd(AppModel& model, int timeoutMs = 120000) {
    QSignalSpy ended(&model, &AppModel::runFinished);
    return !model.isRunning() || ended.wait(timeoutMs);
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
    return allFiles(dir).filter(QRegularExpression(QStringLiteral("(^|/)\\.[^/]*$")));
}

inline const MediaItem* itemNamed(const AppModel& model, const QString& fileName) {
    for (const MediaItem& item : model.items())
        if (item.url.fileName() == fileName)
            return &item;
    return nullptr;
}

// Every item's status in queue order: "done failed …".
inline QString statuses(const AppModel& model) {
    QStringList names;
    for (const MediaItem& item : model.items())
        names << item.status.name();
    return names.join(QLatin1Char(' '));
}

// Small real images made by ffmpeg's test source; false with `error` set when ffmpeg fails.
inline bool makeImage(const QString& path, const QString& size = QStringLiteral("64x48"),
                      QString* error = nullptr) {
    return TestSupport::lavfi("testsrc=size=" + size + ":rate=1", "-frames:v 1", path, error);
}

} // namespace EngineSupport
