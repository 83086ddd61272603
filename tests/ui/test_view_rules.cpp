#include "FileReveal.h"
#include "PanelRules.h"
#include "UiFixture.h"
#include "ViewText.h"
#include "planning/CommandBuilder.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>

using namespace Qt::StringLiterals;

// The interface's rules in C++: its texts, the inspector's CRF and revealing a file.
class TestViewRules : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { UiFixture::prepareApplication(); }

    // What the window shows for every status is checked in test_window; these are the edge cases.
    void statusPill() {
        const auto pill = [](qint64 source, qint64 primary) {
            const ViewText::Pill p = ViewText::statusPill(u"done"_s, source, primary);
            return p.text + u' ' + p.tint;
        };
        QCOMPARE(pill(1000, 400), u"60% smaller success"_s);
        QCOMPARE(pill(1000, 996), u"0% smaller success"_s); // truncated, not rounded
        QCOMPARE(pill(1000, 0), u"100% smaller success"_s);
        QCOMPARE(pill(1000, 1000), u"Done warning"_s);
        QCOMPARE(pill(1000, 1200), u"Done warning"_s);
        QCOMPARE(pill(1000, -1), u"Done warning"_s); // no outputs
        QCOMPARE(pill(0, 10), u"Done warning"_s);    // unknown source size
        QCOMPARE(ViewText::statusPill(u"failed"_s, 1000, -1),
                 (ViewText::Pill{u"Failed"_s, u"danger"_s}));
        QCOMPARE(ViewText::statusPill(u"reading"_s, 1000, -1),
                 (ViewText::Pill{u"Reading"_s, u"accent"_s}));
    }

    // Rounding and precedence: earlier header rules win over later ones.
    void texts() {
        QCOMPARE(ViewText::durationText(59.5), u"1:00"_s);   // half rounds up
        QCOMPARE(ViewText::durationText(7322), u"122:02"_s); // no hour field
        QCOMPARE(ViewText::progressCaption(QString(), 0.5), u"Preparing"_s);
        QCOMPARE(ViewText::progressCaption(u"WebM"_s, 0.999), u"WebM \u00B7 99%"_s);
        QCOMPARE(ViewText::metaLine(0, u"\u2014"_s, u"image"_s, 12), u"Zero KB  \u00B7  \u2014"_s);
        QCOMPARE(ViewText::subhead(false, true, 3, 5'000'000),
                 ViewText::subhead(false, false, 0, 0));
        QCOMPARE(ViewText::subhead(true, true, 3, 5'000'000), u"3 still to go"_s);
        QCOMPARE(ViewText::subhead(true, false, 3, -200), ViewText::subhead(true, false, 3, 0));
    }

    void elideMiddleKeepsBothEnds() {
        QFont font(u"Inter"_s);
        font.setPixelSize(10);
        QCOMPARE(ViewText::elideMiddle(u"/usr/bin/ffmpeg"_s, font, 170, 3), u"/usr/bin/ffmpeg"_s);
        const QString longPath = u"/home/someone/Applications/tools/"_s + QString(200, u'x') +
                                 u"/very/deep/folder/bin/ffmpeg"_s;
        const QString shown = ViewText::elideMiddle(longPath, font, 170, 3);
        QVERIFY(shown.startsWith(u"/home/someone"_s) && shown.endsWith(u"bin/ffmpeg"_s));
        // It really fits in three lines, and one more character would not.
        const auto lines = [&](const QString& text) {
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
        QVERIFY(cut > 0);
        QCOMPARE(lines(shown.left(cut) + longPath.at(cut) + shown.mid(cut)), 4);
    }

    // The CRF the inspector shows is the one the H.264 encode gets.
    void crfShownIsTheOneEncoded() {
        MediaItem clip = UiFixture::everyStatus().at(2);
        for (const double quality : {0.0, 100.0, 62.0, 50.0, 140.0}) {
            TersioSettings s;
            s.videoQuality = quality;
            s.makeHEVC = s.makeWebM = s.makePoster = false;
            s.cropVariants.clear();
            auto m = UiFixture::makeModel(true);
            m->setSettings(s);
            PanelRules rules;
            rules.setModel(m.get());
            const QStringList args = CommandBuilder::videoPlan(clip, s, UiFixture::debianCaps(),
                                                               QUrl::fromLocalFile(u"/out/"_s))
                                         .value(0)
                                         .arguments;
            QCOMPARE(QString::number(rules.videoCrf()), args.value(args.indexOf(u"-crf"_s) + 1));
            QVERIFY(rules.crfBest() <= rules.videoCrf() && rules.videoCrf() <= rules.crfWorst());
        }
    }

    // Without a file manager on the bus the containing folder opens instead, once.
    void revealFallsBackToTheFolder() {
        QCOMPARE(FileReveal::containingFolder(u"/srv/a b/clip #1.mp4"_s),
                 QUrl::fromLocalFile(u"/srv/a b"_s));
        if (QDBusConnection::sessionBus().isConnected())
            QSKIP("a session bus is present; the fallback only runs without one");
        FileReveal reveal;
        QList<QUrl> opened;
        reveal.setFolderOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        QSignalSpy handled(&reveal, &FileReveal::handled);
        reveal.show(u"/srv/shoot/optimised/hero.webm"_s);
        QVERIFY(handled.count() == 1 || handled.wait());
        QCOMPARE(handled.count(), 1);
        QCOMPARE(handled.at(0).at(1).toBool(), false);
        QCOMPARE(opened, QList<QUrl>{QUrl(u"file:///srv/shoot/optimised"_s)});
    }
};

QTEST_MAIN(TestViewRules)
#include "test_view_rules.moc"
