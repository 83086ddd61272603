#pragma once

#include "model/MediaItem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The live block a terminal shows during a run: one line per running item, then the batch.
namespace ProgressView {

QString clock(double seconds); // "0:07", "12:03", "1:02:03"

// Finished items count as whole, running ones by their progress.
double batchFraction(const QList<MediaItem>& items);

// Lines are cut to `columns` - 1 characters so the terminal never wraps them. `left` is the
// batch's time left (TimeLeft), shown as "–:––" while there is none.
QStringList lines(const QList<MediaItem>& items, double elapsedSeconds, int columns,
                  std::optional<double> left);

} // namespace ProgressView

// Redraws the live block in place with ANSI escapes; finished lines scroll above it.
class TerminalFrame {
  public:
    // Lines to print once, then the new live block, replacing the previous block.
    QByteArray next(const QStringList& permanent, const QStringList& live);

  private:
    qsizetype liveLines_ = 0;
};
