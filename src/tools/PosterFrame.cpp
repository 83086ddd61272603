#include "PosterFrame.h"

#include "Shell.h"

#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cmath>

namespace {

// Small enough to read through a pipe at once, large enough to keep a title's edges.
constexpr int lookWidth = 128;
constexpr int lookHeight = 72;

double toMillisecond(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

} // namespace

namespace PosterFrame {

double usualTime(double duration) {
    return duration > 0 ? std::min(3.0, 0.1 * duration) : 0.0;
}

QList<double> candidateTimes(double duration) {
    if (!(duration > 0))
        return {};
    const double usual = toMillisecond(usualTime(duration));
    QList<double> times{usual};
    for (int tenth = 1; tenth <= 5; ++tenth) {
        const double t = toMillisecond(duration * tenth / 10.0);
        if (t > times.last())
            times << t;
    }
    return times;
}

LumaStats measure(const QByteArray& grey) {
    if (grey.isEmpty())
        return {};
    double sum = 0;
    double squares = 0;
    for (const char byte : grey) {
        const double v = double(quint8(byte));
        sum += v;
        squares += v * v;
    }
    const double n = double(grey.size());
    const double mean = sum / n;
    return {mean, std::sqrt(std::max(0.0, squares / n - mean * mean))};
}

bool showsPicture(const LumaStats& stats) {
    return stats.mean >= 0.06 * 255.0 && stats.deviation >= 4.0;
}

std::optional<LumaStats> look(const QUrl& source, const QString& ffmpeg, double seconds) {
    if (ffmpeg.isEmpty() || !source.isLocalFile())
        return std::nullopt;
    const QString path = QFileInfo(source.toLocalFile()).absoluteFilePath();
    QStringList arguments{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                          QStringLiteral("-loglevel"), QStringLiteral("error")};
    // The same seek text as the poster's own, so both land on the same frame.
    if (seconds > 0)
        arguments << QStringLiteral("-ss") << QString::number(seconds, 'f', 3);
    // Grey before scaling: the conversion stretches limited-range luma to 0–255 exactly, while
    // scaling first would dither black.
    arguments << QStringLiteral("-i") << path << QStringLiteral("-an") << QStringLiteral("-sn")
              << QStringLiteral("-dn") << QStringLiteral("-frames:v") << QStringLiteral("1")
              << QStringLiteral("-vf")
              << QStringLiteral("format=gray,scale=%1:%2:flags=area").arg(lookWidth).arg(lookHeight)
              << QStringLiteral("-f") << QStringLiteral("rawvideo") << QStringLiteral("pipe:1");
    QProcess process;
    process.setProgram(ffmpeg);
    process.setArguments(arguments);
    // Errors are not needed, only whether a whole frame came out.
    process.setStandardErrorFile(QProcess::nullDevice());
    if (Shell::launch(process))
        return std::nullopt;
    process.waitForFinished(-1);
    const QByteArray grey = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 ||
        grey.size() != lookWidth * lookHeight)
        return std::nullopt;
    return measure(grey);
}

double choose(const QUrl& source, const QString& ffmpeg, double duration) {
    const QList<double> times = candidateTimes(duration);
    if (times.isEmpty())
        return 0;
    for (const double t : times) {
        const std::optional<LumaStats> stats = look(source, ffmpeg, t);
        if (!stats && t == times.first())
            break; // the tool or the file cannot give a frame; later seeks would not either
        if (stats && showsPicture(*stats))
            return t;
    }
    return times.first();
}

} // namespace PosterFrame
