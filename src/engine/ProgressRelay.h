#pragma once

#include "tools/FFmpegJob.h"

#include <QObject>

#include <functional>

namespace ProgressRelay {

// A job callback that hands each fraction to `apply` on `context`'s thread, queued. The context
// must outlive the job's run (a pipeline does: it ends only after its encode has returned).
inline FFmpegJob::ProgressCallback toThreadOf(QObject* context, std::function<void(double)> apply) {
    return [context, apply = std::move(apply)](double fraction) {
        QMetaObject::invokeMethod(
            context, [apply, fraction] { apply(fraction); }, Qt::QueuedConnection);
    };
}

} // namespace ProgressRelay
