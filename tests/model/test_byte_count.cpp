#include "model/ByteCount.h"

#include "TestSupport.h"
#include <QtTest>

using TestSupport::row;

class TestByteCount : public QObject {
    Q_OBJECT
  private slots:
    void unitsAreKilobytesToGigabytes_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        row("zero", qint64(0), "Zero KB");
        row("under a kilobyte", qint64(12), "1 KB");
        row("kilobytes", qint64(1234), "1 KB");
        row("rounded kilobytes", qint64(640500), "641 KB");
        row("almost a megabyte", qint64(999600), "1 MB");
        row("megabytes", qint64(1500000), "1.5 MB");
        row("whole megabytes", qint64(10000000), "10 MB");
        row("gigabytes", qint64(1234567890), "1.23 GB");
        row("terabytes stay gigabytes", qint64(5000000000000), "5000 GB");
        row("negative", qint64(-200000), "-200 KB");
    }
    void unitsAreKilobytesToGigabytes() {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(ByteCount::text(bytes), text);
    }
};

QTEST_GUILESS_MAIN(TestByteCount)
#include "test_byte_count.moc"
