#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the main thread through a self-pipe: the
// handler only writes one byte. A second signal ends the process at once.
class StopSignals : public QObject {
    Q_OBJECT
  public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

  signals:
    void stopRequested(int signalNumber);

  private:
    void drain();
    QSocketNotifier* notifier_ = nullptr;
};
