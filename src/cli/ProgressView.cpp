#include "ProgressView.h"

#include "engine/TimeLeft.h"

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

double batchFraction(const QList<MediaItem>& items) {
    return TimeLeft::batchFraction(items);
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

QStringList lines(const QList<MediaItem>& items, double elapsedSeconds, int columns,
                  std::optional<double> left) {
    QStringList out;
    qsizetype finishedCount = 0;
    for (const auto& item : items) {
        if (item.status.isActive())
            out << cut(percent(item.progress) + u"  "_s +
                           QFileInfo(item.url.toLocalFile()).fileName() + u"  "_s +
                           item.currentTask,
                       columns);
        finishedCount += !item.status.isActive() && item.status.value != ItemStatus::Case::queued;
    }
    const double fraction = batchFraction(items);
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
