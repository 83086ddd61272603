#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <ctime>

inline qint64 threadCpuUs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Gaps between the ticks of a 16 ms timer on the main thread: a frame the window would miss.
// The main thread's own CPU time within each gap tells work on it from a busy machine's
// scheduler keeping it waiting.
class FrameWatch {
  public:
    FrameWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(16);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            gaps_ << clock_.restart();
            const qint64 cpu = threadCpuUs();
            busiest_ = qMax(busiest_, cpu - cpu_);
            cpu_ = cpu;
        });
        clock_.start();
        cpu_ = threadCpuUs();
        timer_.start();
    }
    QString summary() {
        timer_.stop();
        std::sort(gaps_.begin(), gaps_.end());
        if (gaps_.isEmpty())
            return QStringLiteral("no frames");
        const auto over =
            std::count_if(gaps_.begin(), gaps_.end(), [](qint64 g) { return g > 50; });
        return QStringLiteral("%1 frames, median %2 ms, p99 %3 ms, longest %4 ms, %5 over 50 ms; "
                              "most main-thread CPU within one frame %6 ms")
            .arg(gaps_.size())
            .arg(gaps_.at(gaps_.size() / 2))
            .arg(gaps_.at(qMin(gaps_.size() - 1, gaps_.size() * 99 / 100)))
            .arg(gaps_.last())
            .arg(over)
            .arg(QString::number(busiest_ / 1000.0, 'f', 1));
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    QList<qint64> gaps_;
    qint64 cpu_ = 0;
    qint64 busiest_ = 0;
};
