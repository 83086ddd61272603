#include "ViewText.h"

#include "TestSupport.h"
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTest>
#include <QTextLayout>

using TestSupport::row;

using namespace Qt::StringLiterals;

class TestViewText : public QObject {
    Q_OBJECT

  private slots:
    void statusPill_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<qint64>("source");
        QTest::addColumn<qint64>("primary");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tint");

        row("queued", u"queued"_s, 1000LL, -1LL, u"Queued"_s, u"textMuted"_s);
        row("reading", u"reading"_s, 1000LL, -1LL, u"Reading"_s, u"accent"_s);
        row("working", u"working"_s, 1000LL, -1LL, u"Optimising"_s, u"accent"_s);
        row("output at 40 %", u"done"_s, 1000LL, 400LL, u"60% smaller"_s, u"success"_s);
        row("truncated, not rounded", u"done"_s, 1000LL, 996LL, u"0% smaller"_s, u"success"_s);
        row("output grew", u"done"_s, 1000LL, 1200LL, u"Done"_s, u"warning"_s);
        row("same size", u"done"_s, 1000LL, 1000LL, u"Done"_s, u"warning"_s);
        row("no outputs", u"done"_s, 1000LL, -1LL, u"Done"_s, u"warning"_s);
        row("unknown source size", u"done"_s, 0LL, 10LL, u"Done"_s, u"warning"_s);
        row("empty output", u"done"_s, 1000LL, 0LL, u"100% smaller"_s, u"success"_s);
        row("cancelled", u"cancelled"_s, 1000LL, -1LL, u"Stopped"_s, u"warning"_s);
        row("failed", u"failed"_s, 1000LL, -1LL, u"Failed"_s, u"danger"_s);
    }
    void statusPill() {
        QFETCH(QString, status);
        QFETCH(qint64, source);
        QFETCH(qint64, primary);
        QFETCH(QString, text);
        QFETCH(QString, tint);
        QCOMPARE(ViewText::statusPill(status, source, primary), (ViewText::Pill{text, tint}));
    }

    void durationText_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        row("75.4 s", 75.4, u"1:15"_s);
        row("half rounds up", 59.5, u"1:00"_s);
        row("just under an hour", 3599.6, u"60:00"_s);
        row("no hour field", 7322.0, u"122:02"_s);
        row("short", 4.2, u"0:04"_s);
    }
    void durationText() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(ViewText::durationText(seconds), text);
    }

    void progressCaption() {
        QCOMPARE(ViewText::progressCaption(QString(), 0.5), u"Preparing"_s);
        QCOMPARE(ViewText::progressCaption(u"Reading"_s, 0), u"Reading \u00B7 0%"_s);
        QCOMPARE(ViewText::progressCaption(u"WebM"_s, 0.999), u"WebM \u00B7 99%"_s);
        QCOMPARE(ViewText::progressCaption(u"WebM"_s, 0.4), u"WebM \u00B7 40%"_s);
        QCOMPARE(ViewText::progressCaption(u"WebM"_s, 1), u"WebM \u00B7 100%"_s);
    }

    void metaLine() {
        const QString dot = u"  \u00B7  "_s;
        QCOMPARE(ViewText::metaLine(4'820'000, u"6000 \u00D7 4000"_s, u"image"_s, 12),
                 u"4.8 MB"_s + dot + u"6000 \u00D7 4000"_s);
        QCOMPARE(ViewText::metaLine(96'300'000, u"3840 \u00D7 2160"_s, u"video"_s, 3599.6),
                 u"96.3 MB"_s + dot + u"3840 \u00D7 2160"_s + dot + u"60:00"_s);
        QCOMPARE(ViewText::metaLine(0, u"\u2014"_s, u"video"_s, 0),
                 u"Zero KB"_s + dot + u"\u2014"_s);
    }

    // Earlier rules win over later ones.
    void headerRules() {
        QCOMPARE(ViewText::headline(false, 0), u"Ready when you are"_s);
        QCOMPARE(ViewText::headline(false, 1), u"1 file loaded"_s);
        QCOMPARE(ViewText::headline(false, 12), u"12 files loaded"_s);
        QCOMPARE(ViewText::headline(true, 12), u"Optimising"_s);
        QCOMPARE(ViewText::headline(true, 0), u"Optimising"_s);

        const QString missing = u"FFmpeg needs to be installed first."_s;
        const QString tagline = u"Images and video, compressed with settings you control."_s;
        QCOMPARE(ViewText::subhead(false, true, 3, 5'000'000), missing);
        QCOMPARE(ViewText::subhead(false, false, 0, 0), missing);
        QCOMPARE(ViewText::subhead(true, true, 3, 5'000'000), u"3 still to go"_s);
        QCOMPARE(ViewText::subhead(true, false, 3, 0), tagline);
        QCOMPARE(ViewText::subhead(true, false, 3, -200), tagline);
        QCOMPARE(ViewText::subhead(true, false, 3, 1), u"1 KB saved this session"_s);
        QCOMPARE(ViewText::subhead(true, false, 0, 5'400'000), u"5.4 MB saved this session"_s);
    }

    void runButton() {
        QCOMPARE(ViewText::runButtonLabel(0), u"Optimise"_s);
        QCOMPARE(ViewText::runButtonLabel(1), u"Optimise 1"_s);
        QCOMPARE(ViewText::runButtonLabel(4), u"Optimise 4"_s);
        QVERIFY(ViewText::canStart(true, 1));
        QVERIFY(!ViewText::canStart(true, 0));
        QVERIFY(!ViewText::canStart(false, 4));
    }

    void badgeOnlyOnMediaTabWithItems() {
        QCOMPARE(ViewText::badgeText(u"media"_s, 3), u"3"_s);
        QCOMPARE(ViewText::badgeText(u"media"_s, 0), QString());
        for (const QString& tab : {u"image"_s, u"video"_s, u"crops"_s, u"output"_s})
            QCOMPARE(ViewText::badgeText(tab, 3), QString());
    }

    void elideMiddleKeepsBothEnds() {
        QFont font(u"Inter"_s);
        font.setPixelSize(10);
        const QString shortNote = u"/usr/bin/ffmpeg"_s;
        QCOMPARE(ViewText::elideMiddle(shortNote, font, 170, 3), shortNote);

        const QString longPath = u"/home/someone/Applications/tools/"_s + QString(200, u'x') +
                                 u"/very/deep/folder/bin/ffmpeg"_s;
        const QString shown = ViewText::elideMiddle(longPath, font, 170, 3);
        QVERIFY(shown.size() < longPath.size());
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY(shown.startsWith(u"/home/someone"_s));
        QVERIFY(shown.endsWith(u"bin/ffmpeg"_s));

        // It really fits in three lines, and one more character would not.
        auto lines = [&](const QString& text) {
            QTextLayout layout(text, font);
            QTextOption option;
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            layout.setTextOption(option);
            layout.beginLayout();
            int count = 0;
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(170);
                ++count;
            }
            layout.endLayout();
            return count;
        };
        QVERIFY(lines(shown) <= 3);
        const qsizetype cut = shown.indexOf(QChar(0x2026));
        const QString longer = shown.left(cut) + longPath.at(cut) + shown.mid(cut);
        QCOMPARE(lines(longer), 4);
    }
};

QTEST_MAIN(TestViewText)
#include "test_view_text.moc"
