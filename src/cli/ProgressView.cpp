#include "ProgressView.h"

#include <QFileInfo>

#include <cmath>

using namespace Qt::StringLiterals;

namespace ProgressView {

QString clock(double seconds) {
    const qint64 total = std::isfinite(seconds) ? std::max<qint64>(0, std::llround(seconds)) : 0;
    const qint64 h = total / 3600, m = (total / 60) % 60, s = total % 60;
    const QString mmss = QString::number(m).rightJustified(h > 0 ? 2 : 1, u'0') + u':' +
                         QString::number(s).rightJustified(2, u'0');
    return h > 0 ? QString::number(h) + u':' + mmss : mmss;
}

std::optional<double> remaining(double fraction, double elapsedSeconds) {
    // Below 2 % or in the first two seconds the estimate is noise.
    if (!(fraction >= 0.02) || elapsedSeconds < 2.0)
        return std::nullopt;
    if (fraction >= 1.0)
        return 0.0;
    return elapsedSeconds * (1.0 - fraction) / fraction;
}

// One run takes every item once, so a failed or cancelled item has finished its turn.
static bool finished(const MediaItem& item) {
    return !item.status.isActive() && item.status.value != ItemStatus::Case::queued;
}

double batchFraction(const QList<MediaItem>& items) {
    if (items.isEmpty())
        return 0;
    double sum = 0;
    for (const auto& item : items)
        sum += finished(item) ? 1.0 : std::clamp(item.progress, 0.0, 1.0);
    return sum / static_cast<double>(items.size());
}

static QString bar(double fraction, int width) {
    const int filled = static_cast<int>(std::floor(std::clamp(fraction, 0.0, 1.0) * width));
    return u'[' + QString(filled, u'#') + QString(width - filled, u'-') + u']';
}

static QString percent(double fraction) {
    return QString::number(static_cast<int>(std::floor(std::clamp(fraction, 0.0, 1.0) * 100)))
               .rightJustified(3) +
           u'%';
}

static QString cut(const QString& line, int columns) {
    const qsizetype room = std::max(columns - 1, 10);
    return line.size() <= room ? line : line.left(room - 1) + u"…"_s;
}

QStringList lines(const QList<MediaItem>& items, double elapsedSeconds, int columns) {
    QStringList out;
    qsizetype finishedCount = 0;
    for (const auto& item : items) {
        if (item.status.isActive())
            out << cut(percent(item.progress) + u"  "_s +
                           QFileInfo(item.url.toLocalFile()).fileName() + u"  "_s +
                           item.currentTask,
                       columns);
        finishedCount += finished(item) ? 1 : 0;
    }
    const double fraction = batchFraction(items);
    const auto left = remaining(fraction, elapsedSeconds);
    out << cut(bar(fraction, 24) + percent(fraction) + u"  "_s + QString::number(finishedCount) +
                   u'/' + QString::number(items.size()) + u" files  "_s + clock(elapsedSeconds) +
                   u" elapsed, "_s + (left ? u"about "_s + clock(*left) : u"–:––"_s) + u" left"_s,
               columns);
    return out;
}

} // namespace ProgressView

QByteArray TerminalFrame::next(const QStringList& permanent, const QStringList& live) {
    QByteArray out;
    if (liveLines_ > 0)
        out += "\x1b[" + QByteArray::number(liveLines_) + "A";
    out += "\r";
    for (const auto* group : {&permanent, &live})
        for (const auto& line : *group)
            out += "\x1b[2K" + line.toUtf8() + "\n";
    out += "\x1b[J"; // whatever the previous, taller block left below
    liveLines_ = live.size();
    return out;
}
