#include "PanelRules.h"
#include "ViewText.h"
#include "ViewTextObject.h"

#include "engine/AppModel.h"
#include "planning/CommandBuilder.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// The inspector's rules against the planner's: a control is greyed out exactly when the plan
// leaves its output out, and the CRF it shows is the one the H.264 encode gets.
class TestPanelRules : public QObject {
    Q_OBJECT

    static EncoderCaps caps(const QStringList& names) {
        EncoderCaps result;
        for (const QString& name : names)
            result.names.insert(name);
        return result;
    }

    static std::unique_ptr<AppModel> model(const EncoderCaps& caps, const TersioSettings& s) {
        AppModelOptions options;
        options.searchToolsAtStart = false;
        options.settings = s;
        auto m = std::make_unique<AppModel>(options);
        m->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, u"/usr/bin/ffprobe"_s}, caps);
        return m;
    }

    static MediaItem source(const QString& path, MediaKind kind) {
        MediaItem item;
        item.url = QUrl::fromLocalFile(path);
        item.kind = kind;
        item.width = 640;
        item.height = 360;
        item.duration = kind == MediaKind::video ? 4 : 0;
        return item;
    }

    static QStringList labels(const QList<PlannedOutput>& outputs) {
        QStringList list;
        for (const auto& output : outputs)
            list << output.label;
        return list;
    }

  private slots:
    void availabilityMatchesThePlan_data() {
        QTest::addColumn<QStringList>("encoders");
        QTest::newRow("everything") << QStringList{u"libwebp"_s, u"libsvtav1"_s, u"libaom-av1"_s,
                                                   u"libx264"_s, u"libx265"_s,   u"libvpx-vp9"_s};
        QTest::newRow("nothing extra") << QStringList{};
        QTest::newRow("aom only") << QStringList{u"libaom-av1"_s, u"libx265"_s};
        QTest::newRow("svt only") << QStringList{u"libsvtav1"_s, u"libvpx-vp9"_s};
        QTest::newRow("webp, h264") << QStringList{u"libwebp"_s, u"libx264"_s};
    }
    void availabilityMatchesThePlan() {
        QFETCH(QStringList, encoders);
        const EncoderCaps found = caps(encoders);
        const QUrl out = QUrl::fromLocalFile(u"/out/"_s);
        const MediaItem photo = source(u"/in/photo.png"_s, MediaKind::image);
        const MediaItem clip = source(u"/in/clip.mov"_s, MediaKind::video);

        for (const ImageFormat format : {ImageFormat::webp, ImageFormat::avif}) {
            TersioSettings s;
            s.imageFormat = format;
            auto m = model(found, s);
            PanelRules rules;
            rules.setModel(m.get());
            const bool planned = !CommandBuilder::imagePlan(photo, s, found, out).isEmpty();
            const bool missing =
                format == ImageFormat::webp ? rules.webpMissing() : rules.avifMissing();
            QCOMPARE(missing, !planned);
            if (format == ImageFormat::webp)
                QCOMPARE(rules.webpAvailable(), planned);
        }

        TersioSettings all;
        all.makeH264 = all.makeHEVC = all.makeWebM = true;
        all.makePoster = false;
        all.cropVariants.clear();
        auto m = model(found, all);
        PanelRules rules;
        rules.setModel(m.get());
        const QStringList planned = labels(CommandBuilder::videoPlan(clip, all, found, out));
        QCOMPARE(rules.h264Available(), planned.contains(u"MP4 · H.264"_s));
        QCOMPARE(rules.hevcAvailable(), planned.contains(u"MP4 · HEVC"_s));
        QCOMPARE(rules.webmAvailable(), planned.contains(u"WebM · VP9"_s));
    }

    void crfShownIsTheOneEncoded_data() {
        QTest::addColumn<double>("quality");
        QTest::addColumn<int>("crf");
        QTest::newRow("worst") << 0.0 << 34;
        QTest::newRow("best") << 100.0 << 18;
        QTest::newRow("default") << 62.0 << 24;
        QTest::newRow("half rounds away") << 50.0 << 26;
        QTest::newRow("beyond the slider") << 140.0 << 18;
    }
    void crfShownIsTheOneEncoded() {
        QFETCH(double, quality);
        QFETCH(int, crf);
        TersioSettings s;
        s.videoQuality = quality;
        s.makeHEVC = s.makeWebM = s.makePoster = false;
        s.cropVariants.clear();
        const EncoderCaps found = caps({u"libx264"_s});
        auto m = model(found, s);
        PanelRules rules;
        rules.setModel(m.get());
        QCOMPARE(rules.videoCrf(), crf);
        QVERIFY(rules.crfBest() <= crf && crf <= rules.crfWorst());
        const auto plan = CommandBuilder::videoPlan(source(u"/in/c.mov"_s, MediaKind::video), s,
                                                    found, QUrl::fromLocalFile(u"/out/"_s));
        const QStringList args = plan.value(0).arguments;
        QCOMPARE(args.value(args.indexOf(u"-crf"_s) + 1), QString::number(crf));
    }

    void followsTheModel() {
        auto m = model(caps({}), TersioSettings{});
        PanelRules rules;
        QSignalSpy changed(&rules, &PanelRules::changed);
        rules.setModel(m.get());
        m->setTab(u"crops"_s);
        QCOMPARE(rules.tabTitle(), u"Mobile crops"_s);
        m->settingsModel()->setVideoQuality(100);
        QCOMPARE(rules.videoCrf(), 18);
        m->settingsModel()->setAudio(u"remove"_s);
        QVERIFY(!rules.audioBitrateShown());
        m->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, u"/usr/bin/ffprobe"_s}, caps({u"libx265"_s}));
        QVERIFY(rules.hevcAvailable());
        QCOMPARE(changed.count(), 5);
    }

    void rowPhase_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("phase");
        QTest::newRow("queued") << u"queued"_s << int(ViewTextObject::Waiting);
        QTest::newRow("reading") << u"reading"_s << int(ViewTextObject::Active);
        QTest::newRow("working") << u"working"_s << int(ViewTextObject::Active);
        QTest::newRow("done") << u"done"_s << int(ViewTextObject::Done);
        QTest::newRow("failed") << u"failed"_s << int(ViewTextObject::Failed);
        QTest::newRow("cancelled") << u"cancelled"_s << int(ViewTextObject::Waiting);
    }
    void rowPhase() {
        QFETCH(QString, status);
        QFETCH(int, phase);
        QCOMPARE(int(ViewTextObject().rowPhase(status)), phase);
    }
};

QTEST_GUILESS_MAIN(TestPanelRules)
#include "test_panel_rules.moc"
