// The batch's time left, fed a synthetic run second by second as the window and the terminal
// feed it.
#include "engine/TimeLeft.h"

#include <QTest>

namespace {

// Twelve items, two at a time, each taking `seconds[i]`: the queue as it stands at time t.
QList<MediaItem> queueAt(double t, const QList<double>& seconds) {
    QList<MediaItem> items(seconds.size());
    double lane[2] = {0, 0};
    for (qsizetype i = 0; i < seconds.size(); ++i) {
        double& free = lane[lane[0] <= lane[1] ? 0 : 1];
        const double start = free;
        free += seconds.at(i);
        if (t >= free) {
            items[i].status = ItemStatus::done();
        } else if (t > start) {
            items[i].status = ItemStatus::working();
            items[i].progress = (t - start) / seconds.at(i);
        }
    }
    return items;
}

} // namespace

class TestTimeLeft : public QObject {
    Q_OBJECT

  private slots:
    void steadyRunCountsDownWithoutGoingBack() {
        const QList<double> seconds(12, 20.0); // 120 s in all
        TimeLeft estimator;
        std::optional<double> previous;
        for (double t = 0; t <= 125; t += 1) {
            const auto left = estimator.update(TimeLeft::batchFraction(queueAt(t, seconds)), t);
            if (t * 50 < 120) { // under 2 % done: nothing to go on yet
                QVERIFY(!left);
                continue;
            }
            QVERIFY(left && *left >= 0);
            if (previous)
                QVERIFY2(*left <= *previous + 1e-9, qPrintable(QString::number(t)));
            if (t >= 10 && t <= 110)
                QVERIFY2(std::abs(*left - (120 - t)) <= 6, qPrintable(QString::number(t)));
            previous = left;
        }
        QCOMPARE(*previous, 0.0);
    }

    void unevenRunNeverGoesNegative() {
        // A long item among short ones: the raw figure swings as they finish.
        const QList<double> seconds{2, 3, 90, 1, 1, 2, 40, 1, 5, 1, 1, 30};
        TimeLeft estimator;
        for (double t = 0; t <= 140; t += 0.5) {
            const auto left = estimator.update(TimeLeft::batchFraction(queueAt(t, seconds)), t);
            QVERIFY(!left || *left >= 0);
        }
        QCOMPARE(estimator.current().value_or(-1), 0.0);
    }

    void texts_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << -1.0 << "";
        QTest::newRow("seconds") << 59.0 << "Less than a minute left";
        QTest::newRow("minutes") << 170.0 << "About 3 min left";
        QTest::newRow("hours") << 7200.0 << "About 2.0 h left";
    }
    void texts() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(TimeLeft::text(seconds < 0 ? std::nullopt : std::optional(seconds)), text);
    }
};

QTEST_GUILESS_MAIN(TestTimeLeft)
#include "test_time_left.moc"
