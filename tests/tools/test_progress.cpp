#include "tools/NumberText.h"
#include "tools/ProgressParser.h"

#include "TestSupport.h"
#include <QtTest>

using TestSupport::row;

using Chunks = QList<QByteArray>;
using Fractions = QList<double>;

class TestProgress : public QObject {
    Q_OBJECT
  private slots:
    void parsesDecimals_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("value");
        row("integer", "2500000", true, 2500000.0);
        row("fraction", "12.480000", true, 12.48);
        row("exponent", "1.5e3", true, 1500.0);
        row("plus", "+4", true, 4.0);
        row("minus", "-90", true, -90.0);
        row("empty", "", false, 0.0);
        row("N/A", "N/A", false, 0.0);
        row("leading blank", " 12", false, 0.0);
        row("carriage return", "12\r", false, 0.0);
        row("comma", "12,5", false, 0.0);
        row("trailing text", "12s", false, 0.0);
        row("infinity", "inf", false, 0.0);
        row("nan", "nan", false, 0.0);
        row("arabic digits", QString::fromUtf8("\u0661\u0662"), false, 0.0);
    }

    void parsesDecimals() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, value);
        const auto parsed = NumberText::parseDecimal(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(*parsed, value);
    }

    void reportsFractions_data() {
        QTest::addColumn<double>("duration");
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Fractions>("expected");

        row("a quarter", 10.0, Chunks{"frame=3\nout_time_us=2500000\n"}, Fractions{0.25});
        row("beyond the end clamps", 10.0, Chunks{"out_time_us=12000000\n"}, Fractions{1.0});
        row("N/A", 10.0, Chunks{"out_time_us=N/A\nprogress=continue\n"}, Fractions{});
        row("negative", 10.0, Chunks{"out_time_us=-5000\n"}, Fractions{});
        row("carriage return", 10.0, Chunks{"out_time_us=5000000\r\n"}, Fractions{});
        row("key split over chunks", 10.0,
            Chunks{"frame=1\nout_t", "ime_us=5000000\nprogress=continue\n"}, Fractions{0.5});
        row("digits split over chunks", 4.0,
            Chunks{"out_time_us=10", "00000\nout_time_us=2000000\n"}, Fractions{0.25, 0.5});
        row("other keys ignored", 10.0,
            Chunks{"out_time_ms=5000000\nout_time=00:00:05.0\n out_time_us=1\n"}, Fractions{});
        row("zero duration", 0.0, Chunks{"out_time_us=5000000\n"}, Fractions{});
        row("invalid UTF-8 chunk dropped", 10.0,
            Chunks{"out_time_us=1000000\n\xff\xfe\n", "out_time_us=3000000\n"}, Fractions{0.3});
        row("dropped chunk leaves the partial line waiting", 10.0,
            Chunks{"out_time_us=1000000\nout_ti", "me_us=\xff\n", "me_us=2000000\n"},
            Fractions{0.1, 0.2});
        row("character split over chunks", 10.0, Chunks{"x=\xc3", "\xa9\nout_time_us=7000000\n"},
            Fractions{0.7});
    }

    void reportsFractions() {
        QFETCH(double, duration);
        QFETCH(Chunks, chunks);
        QFETCH(Fractions, expected);
        ProgressParser parser(duration);
        Fractions reported;
        for (const QByteArray& chunk : chunks)
            reported += parser.feed(chunk);
        QCOMPARE(reported, expected);
    }

    void overlongLineIsNeverTakenForItsTail() {
        ProgressParser parser(10);
        for (int i = 0; i < 64; ++i)
            QVERIFY(parser.feed(QByteArray(1000, 'x')).isEmpty());
        QCOMPARE(parser.feed("out_time_us=1000000\nout_time_us=2000000\n"), Fractions{0.2});
    }
};

QTEST_GUILESS_MAIN(TestProgress)
#include "test_progress.moc"
