#include "ViewTextObject.h"

#include "ViewText.h"
#include "model/ByteCount.h"

ViewTextObject::RowPhase ViewTextObject::rowPhase(const QString& status) const {
    return static_cast<RowPhase>(ViewText::rowPhase(status));
}

QVariantMap ViewTextObject::statusPill(const QString& status, qint64 sourceBytes,
                                       qint64 primaryOutputBytes) const {
    const auto pill = ViewText::statusPill(status, sourceBytes, primaryOutputBytes);
    return {{QStringLiteral("text"), pill.text}, {QStringLiteral("tint"), pill.tint}};
}

QString ViewTextObject::durationText(double seconds) const {
    return ViewText::durationText(seconds);
}

QString ViewTextObject::progressCaption(const QString& currentTask, double progress) const {
    return ViewText::progressCaption(currentTask, progress);
}

QString ViewTextObject::metaLine(qint64 sourceBytes, const QString& dimensionsLabel,
                                 const QString& kind, double duration) const {
    return ViewText::metaLine(sourceBytes, dimensionsLabel, kind, duration);
}

QString ViewTextObject::compareCaption(const QString& label, qint64 sourceBytes, qint64 outputBytes,
                                       double score) const {
    return ViewText::compareCaption(label, sourceBytes, outputBytes, score);
}

QString ViewTextObject::headline(bool isRunning, int itemCount) const {
    return ViewText::headline(isRunning, itemCount);
}

QString ViewTextObject::subhead(bool hasTools, bool isRunning, int pendingCount,
                                qint64 totalSaved) const {
    return ViewText::subhead(hasTools, isRunning, pendingCount, totalSaved);
}

QString ViewTextObject::runButtonLabel(int pendingCount) const {
    return ViewText::runButtonLabel(pendingCount);
}

bool ViewTextObject::canStart(bool hasTools, int pendingCount) const {
    return ViewText::canStart(hasTools, pendingCount);
}

QString ViewTextObject::badgeText(const QString& tab, int itemCount) const {
    return ViewText::badgeText(tab, itemCount);
}

QString ViewTextObject::byteText(qint64 bytes) const {
    return ByteCount::text(bytes);
}

QString ViewTextObject::scoreText(double ssim) const {
    return ViewText::scoreText(ssim);
}

QString ViewTextObject::elideMiddle(const QString& text, const QFont& font, qreal width,
                                    int maxLines) const {
    return ViewText::elideMiddle(text, font, width, maxLines);
}

QString ViewTextObject::localPath(const QUrl& url) const {
    return url.toLocalFile();
}
