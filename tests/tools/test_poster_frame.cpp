#include "PosterClips.h"
#include "tools/PosterFrame.h"

#include "TestSupport.h"
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::row;

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");

// A 128 × 72 plane: `value` everywhere, the left half at `left` when given.
QByteArray plane(int value, int left = -1) {
    QByteArray bytes(128 * 72, char(value));
    if (left >= 0)
        for (int row = 0; row < 72; ++row)
            std::fill_n(bytes.begin() + row * 128, 64, char(left));
    return bytes;
}

} // namespace

class TestPosterFrame : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QUrl url(const QString& name) const { return QUrl::fromLocalFile(dir_.filePath(name)); }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        using namespace PosterClips;
        const Clip black{QStringLiteral("black.mp4"),
                         lavfi(QStringLiteral("color=black:s=160x120:r=10:d=10")), 1.0};
        const Clip grey{QStringLiteral("grey.mp4"),
                        lavfi(QStringLiteral("color=gray:s=160x120:r=10:d=10")), 1.0};
        QString error;
        for (const Clip& clip : {fadeIn, black, grey})
            QVERIFY2(make(dir_.path(), clip, QStringLiteral("yuv420p"), &error), qPrintable(error));
        // Coded on the full range, where black is 0 rather than 16.
        for (Clip clip : {fadeIn, card}) {
            clip.name.prepend(QStringLiteral("full-"));
            QVERIFY2(make(dir_.path(), clip, QStringLiteral("yuvj420p"), &error),
                     qPrintable(error));
        }
    }

    void verdicts_data() {
        QTest::addColumn<QByteArray>("grey");
        QTest::addColumn<bool>("picture");
        row("black", plane(0), false);
        row("flat mid grey", plane(128), false);
        row("flat white", plane(255), false);
        row("dark with an edge", plane(0, 28), false);
        row("dim with an edge", plane(0, 32), true);
        row("faint texture", plane(120, 126), false);
        row("clear texture", plane(120, 128), true);
        row("nothing read", QByteArray(), false);
    }
    void verdicts() {
        QFETCH(QByteArray, grey);
        QFETCH(bool, picture);
        QCOMPARE(PosterFrame::showsPicture(PosterFrame::measure(grey)), picture);
    }

    void candidates_data() {
        QTest::addColumn<double>("duration");
        QTest::addColumn<QList<double>>("times");
        row("10 s", 10.0, QList<double>{1, 2, 3, 4, 5});
        row("30 s: no time twice", 30.0, QList<double>{3, 6, 9, 12, 15});
        row("45 s: usual 3 s first", 45.0, QList<double>{3, 4.5, 9, 13.5, 18, 22.5});
        row("thirds to the millisecond", 3.3333, QList<double>{0.333, 0.667, 1.0, 1.333, 1.667});
        row("unknown", 0.0, QList<double>{});
        row("not a number", qQNaN(), QList<double>{});
    }
    void candidates() {
        QFETCH(double, duration);
        QFETCH(QList<double>, times);
        QCOMPARE(PosterFrame::candidateTimes(duration), times);
    }

    // Clips that open on the picture, fade in or show a card are run through the engine's tests.
    void chosenTime_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("time");
        row("full-range fade in", "full-fade.mp4", ffmpegPath, 10.0, 5.0);
        row("full-range title card", "full-card.mp4", ffmpegPath, 12.0, 2.4);
        row("black throughout", "black.mp4", ffmpegPath, 10.0, 1.0);
        row("blank throughout", "grey.mp4", ffmpegPath, 10.0, 1.0);
        row("missing file", "gone.mp4", ffmpegPath, 10.0, 1.0);
        row("no ffmpeg", "fade.mp4", QString(), 10.0, 1.0);
        row("ffmpeg not startable", "fade.mp4", "/nonexistent/ffmpeg", 10.0, 1.0);
        row("seeks past the end", "fade.mp4", ffmpegPath, 100.0, 3.0);
        row("unknown duration", "fade.mp4", ffmpegPath, 0.0, 0.0);
    }
    void chosenTime() {
        QFETCH(QString, name);
        QFETCH(QString, tool);
        QFETCH(double, duration);
        QFETCH(double, time);
        QCOMPARE(PosterFrame::choose(url(name), tool, duration), time);
    }
};

QTEST_GUILESS_MAIN(TestPosterFrame)
#include "test_poster_frame.moc"
