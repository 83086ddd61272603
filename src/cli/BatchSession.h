#pragma once

#include "ProgressView.h"
#include "Shard.h"
#include "engine/TimeLeft.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <optional>

class AppModel;

// Runs one batch on the model, or on one shard of its queue, and reports it: live lines on a
// terminal, a line per finished item otherwise, a JSON summary, or failures only; the summary
// can also go to a file. Ends the event loop with the exit status.
class BatchSession : public QObject {
    Q_OBJECT
  public:
    enum class Output { live, lines, json, quiet };

    struct Scope {
        std::optional<Shard> shard; // absent: the whole queue
        QString summaryFile;        // empty: none
    };

    BatchSession(AppModel* model, Output output, Scope scope = {}, QObject* parent = nullptr);

    // Call from inside the event loop.
    void start();

    // SIGINT or SIGTERM: stop like the Stop button; the exit status tells which signal it was.
    void stop(int signalNumber);

  private:
    QList<MediaItem> ownItems() const;
    void sweep();
    void redraw(const QStringList& permanent);
    void finished();

    AppModel* model_;
    Output output_;
    Scope scope_;
    QSet<QUuid> reported_;
    QStringList pending_; // finished lines not yet drawn above the live block
    QStringList lastLive_;
    int stopSignal_ = 0;
    QElapsedTimer clock_;
    QTimer ticker_;
    TerminalFrame frame_;
    TimeLeft timeLeft_;
};
