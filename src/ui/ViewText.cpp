#include "ViewText.h"

#include "engine/QualityScore.h"
#include "model/ByteCount.h"

#include <QTextLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace ViewText {

RowPhase rowPhase(const QString& status) {
    if (status == "reading"_L1 || status == "working"_L1)
        return RowPhase::active;
    if (status == "failed"_L1)
        return RowPhase::failed;
    if (status == "done"_L1)
        return RowPhase::done;
    return RowPhase::waiting;
}

Pill statusPill(const QString& status, qint64 sourceBytes, qint64 primaryOutputBytes) {
    if (status == "reading"_L1)
        return {u"Reading"_s, u"accent"_s};
    if (status == "working"_L1)
        return {u"Optimising"_s, u"accent"_s};
    if (status == "cancelled"_L1)
        return {u"Stopped"_s, u"warning"_s};
    if (status == "failed"_L1)
        return {u"Failed"_s, u"danger"_s};
    if (status == "done"_L1) {
        if (primaryOutputBytes >= 0 && sourceBytes > 0) {
            const double ratio = double(primaryOutputBytes) / double(sourceBytes);
            if (ratio < 1) {
                const auto percent = static_cast<long long>(std::trunc((1 - ratio) * 100));
                return {QString::number(percent) + "% smaller"_L1, u"success"_s};
            }
        }
        return {u"Done"_s, u"warning"_s};
    }
    return {u"Queued"_s, u"textMuted"_s};
}

QString durationText(double seconds) {
    const auto whole = static_cast<long long>(std::round(seconds));
    return QString::asprintf("%d:%02d", int(whole / 60), int(whole % 60));
}

QString progressCaption(const QString& currentTask, double progress) {
    if (currentTask.isEmpty())
        return u"Preparing"_s;
    const auto percent = static_cast<long long>(std::trunc(progress * 100));
    return currentTask + u" \u00B7 "_s + QString::asprintf("%lld", percent) + u'%';
}

QString metaLine(qint64 sourceBytes, const QString& dimensionsLabel, const QString& kind,
                 double duration) {
    QStringList parts{ByteCount::text(sourceBytes), dimensionsLabel};
    if (kind == "video"_L1 && duration > 0)
        parts << durationText(duration);
    return parts.join(u"  \u00B7  "_s);
}

QString compareCaption(const QString& label, qint64 sourceBytes, qint64 outputBytes, double score) {
    QStringList parts{u"Original "_s + ByteCount::text(sourceBytes),
                      label + u' ' + ByteCount::text(outputBytes)};
    if (sourceBytes > 0 && outputBytes >= 0) {
        // Rounded towards the output's disadvantage: a saving down, a growth up.
        const double ratio = double(outputBytes) / double(sourceBytes);
        if (ratio < 1)
            parts << QString::number(qint64(std::trunc((1 - ratio) * 100))) + "% smaller"_L1;
        else if (ratio > 1)
            parts << QString::number(qint64(std::ceil((ratio - 1) * 100))) + "% larger"_L1;
        else
            parts << u"Same size"_s;
    }
    if (std::isfinite(score) && score >= 0)
        parts << u"SSIM "_s + QString::number(score, 'f', 3);
    return parts.join(u"  \u00B7  "_s);
}

QString headline(bool isRunning, int itemCount) {
    if (isRunning)
        return u"Optimising"_s;
    if (itemCount > 0)
        return QString::number(itemCount) +
               (itemCount == 1 ? " file loaded"_L1 : " files loaded"_L1);
    return u"Ready when you are"_s;
}

QString subhead(bool hasTools, bool isRunning, int pendingCount, qint64 totalSaved) {
    if (!hasTools)
        return u"FFmpeg needs to be installed first."_s;
    if (isRunning)
        return QString::number(pendingCount) + " still to go"_L1;
    if (totalSaved < 1)
        return u"Images and video, compressed with settings you control."_s;
    return ByteCount::text(totalSaved) + " saved this session"_L1;
}

QString scoreText(double ssim) {
    if (!(ssim >= 0))
        return {};
    return QStringLiteral("\u00B7 SSIM ") + QualityScore::text(ssim);
}

QString runButtonLabel(int pendingCount) {
    if (pendingCount > 0)
        return QString::asprintf("Optimise %lld", static_cast<long long>(pendingCount));
    return u"Optimise"_s;
}

bool canStart(bool hasTools, int pendingCount) {
    return hasTools && pendingCount > 0;
}

QString badgeText(const QString& tab, int itemCount) {
    if (tab != "media"_L1 || itemCount <= 0)
        return {};
    return QString::asprintf("%lld", static_cast<long long>(itemCount));
}

namespace {

int lineCount(const QString& text, const QFont& font, qreal width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        ++lines;
    }
    layout.endLayout();
    return lines;
}

QString keepEnds(const QString& text, qsizetype kept) {
    const qsizetype head = (kept + 1) / 2;
    return text.left(head) + QChar(0x2026) + text.right(kept - head);
}

} // namespace

QString elideMiddle(const QString& text, const QFont& font, qreal width, int maxLines) {
    if (width <= 0 || maxLines <= 0 || lineCount(text, font, width) <= maxLines)
        return text;
    // The longest middle cut that still fits.
    qsizetype low = 0;
    qsizetype high = text.size() - 1;
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (lineCount(keepEnds(text, mid), font, width) <= maxLines)
            low = mid;
        else
            high = mid - 1;
    }
    return keepEnds(text, low);
}

} // namespace ViewText
