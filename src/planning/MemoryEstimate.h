#pragma once

#include "planning/CommandBuilder.h"

#include <QList>
#include <QSize>

// Rough peak memory of the ffmpeg processes a run starts, so that several large items never
// ask more of the machine than it can give. Figures come from measured peaks of each encoder
// at its default look-ahead (bench/README.md); they err on the high side.
namespace MemoryEstimate {

// The frame size an output's filters leave (crop and scale, as planned); `source` when no
// filter changes it or the source size is unknown.
QSize outputSize(const PlannedOutput& output, QSize source);

// The encoder and filter branch of one output.
qint64 outputBytes(const PlannedOutput& output, QSize source);

// One process: the program and its decoder, plus every output it writes.
qint64 processBytes(const QList<PlannedOutput>& outputs, QSize source);

// Half the physical memory, and never less than 2 GB.
qint64 budget(qint64 physicalBytes);

// sysconf's view of the installed memory; 0 when it cannot tell.
qint64 physicalMemory();

// A process may start when nothing else is running or all of them stay within the budget, so
// an item larger than the budget still runs, only on its own.
bool mayStart(qint64 runningBytes, qint64 nextBytes, qint64 budgetBytes);

} // namespace MemoryEstimate
