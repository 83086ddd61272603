#pragma once

#include "ProgressView.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUuid>

class AppModel;

// Runs one batch on the model and reports it: live lines on a terminal, a line per finished
// item otherwise, a JSON summary, or failures only. Ends the event loop with the exit status.
class BatchSession : public QObject {
    Q_OBJECT
  public:
    enum class Output { live, lines, json, quiet };

    BatchSession(AppModel* model, Output output, QObject* parent = nullptr);

    // Call from inside the event loop.
    void start();

    // SIGINT or SIGTERM: stop like the Stop button; the exit status tells which signal it was.
    void stop(int signalNumber);

  private:
    void sweep();
    void redraw(const QStringList& permanent);
    void finished();

    AppModel* model_;
    Output output_;
    QSet<QUuid> reported_;
    QStringList pending_; // finished lines not yet drawn above the live block
    QStringList lastLive_;
    int stopSignal_ = 0;
    QElapsedTimer clock_;
    QTimer ticker_;
    TerminalFrame frame_;
};
