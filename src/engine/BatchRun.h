#pragma once

#include "engine/RunControl.h"
#include "engine/RunNames.h"

#include <QList>
#include <QObject>
#include <QThreadPool>
#include <QUuid>

#include <memory>

class QueueModel;

// The scheduler of one run: starts one pipeline per id, in order, each exactly once, with at
// most `limit` in progress. It never looks at the stop flag itself: after a stop the remaining
// pipelines start and return at once, leaving their items untouched.
class BatchRun : public QObject {
    Q_OBJECT

  public:
    static int concurrencyLimit(qint64 maxConcurrent);

    BatchRun(QList<QUuid> ids, std::shared_ptr<const RunSnapshot> run, QueueModel* queue,
             RunControl* control, QThreadPool* workers, QObject* parent = nullptr);

    void start();

  signals:
    void finished();

  private:
    void fill();

    QList<QUuid> ids_;
    std::shared_ptr<const RunSnapshot> run_;
    QueueModel* queue_;
    RunControl* control_;
    RunNames names_;
    QThreadPool* workers_;
    int limit_;
    int next_ = 0;
    int live_ = 0;
    bool filling_ = false;
    bool finished_ = false;
};
