#pragma once

#include <QFont>
#include <QString>

// The texts the window derives from model values. Pure functions, so the rules are tested
// without a window; QML reaches them through the ViewText singleton.
namespace ViewText {

// A status pill: its text and the name of the Theme colour it is tinted with
// ("textMuted", "accent", "success", "warning" or "danger").
struct Pill {
    QString text;
    QString tint;
    friend bool operator==(const Pill&, const Pill&) = default;
};

// What a queue row shows below its name: progress while it is read or encoded, the failure, or
// the outputs of a finished file.
enum class RowPhase { waiting, active, failed, done };
RowPhase rowPhase(const QString& status);

// status is the item's status name ("queued", "reading", …); primaryOutputBytes < 0 means the
// item has no output yet.
Pill statusPill(const QString& status, qint64 sourceBytes, qint64 primaryOutputBytes);

// Whole seconds (halves away from zero) as "m:ss"; there is no hour field.
QString durationText(double seconds);

// "Preparing" before the first task, then "Task · 42%".
QString progressCaption(const QString& currentTask, double progress);

// Source size, pixel size and, for a video of known length, its duration.
QString metaLine(qint64 sourceBytes, const QString& dimensionsLabel, const QString& kind,
                 double duration);

// The compare view's caption: both sizes, the saving and, when `score` is a number of 0 or more,
// the output's SSIM.
QString compareCaption(const QString& label, qint64 sourceBytes, qint64 outputBytes, double score);

QString headline(bool isRunning, int itemCount);
QString subhead(bool hasTools, bool isRunning, int pendingCount, qint64 totalSaved);

QString runButtonLabel(int pendingCount);

// What follows an output's size on its result line: "· SSIM 0.962", cut to three decimals;
// empty for a negative score, which stands for none.
QString scoreText(double ssim);
bool canStart(bool hasTools, int pendingCount);

// The navigation badge: the queue length on the media tab, nothing elsewhere or when empty.
QString badgeText(const QString& tab, int itemCount);

// Shortens text in the middle with "…" until it wraps into at most maxLines lines of width.
QString elideMiddle(const QString& text, const QFont& font, qreal width, int maxLines);

} // namespace ViewText
