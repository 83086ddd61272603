// One process per item: the fused command built from the real planners' argument lists.
#include "PlanTestSupport.h"

#include "planning/FusedPlan.h"
#include "planning/MemoryEstimate.h"

#include <QtTest>

using namespace PlanTestSupport;

namespace {

const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/out"));

MediaItem clip(qint64 width, qint64 height, double duration, bool audio, bool hdr = false) {
    MediaItem result = item(QStringLiteral("/v/clip.mov"), width, height);
    result.kind = MediaKind::video;
    result.duration = duration;
    result.hasAudio = audio;
    result.hdr = hdr;
    return result;
}

QString graphOf(const FusedPlan::Invocation& invocation) {
    return valueAfter(invocation.arguments, "-filter_complex");
}

} // namespace

class TestFusedPlan : public QObject {
    Q_OBJECT
  private slots:
    // Every output is written exactly once, at the slot the engine swaps for its staged file,
    // and expensive filters the outputs share run once.
    void oneProcessPerItem_data() {
        QTest::addColumn<QList<PlannedOutput>>("plan");
        QTest::addColumn<QString>("shared"); // a filter that must appear exactly once
        QTest::addColumn<int>("audioMaps");

        TersioSettings defaults;
        QTest::newRow("4k defaults")
            << CommandBuilder::videoPlan(clip(3840, 2160, 20, true), defaults, allCaps(), folder)
            << "scale=1920:-2:flags=lanczos" << 6;
        TersioSettings hevc;
        hevc.makeHEVC = true;
        QTest::newRow("hevc, no audio")
            << CommandBuilder::videoPlan(clip(3840, 2160, 20, false), hevc, allCaps(), folder)
            << "scale=1920:-2:flags=lanczos" << 0;
        QTest::newRow("hdr") << CommandBuilder::videoPlan(clip(3840, 2160, 20, true, true),
                                                          defaults, allCaps(), folder)
                             << "tonemap=tonemap=hable:desat=0" << 6;
        TersioSettings withWebp;
        withWebp.alsoEmitWebP = true;
        withWebp.imageFormat = ImageFormat::jpeg;
        MediaItem logo = item("/p/logo.png", 5000, 3000);
        logo.hasAlpha = true;
        QTest::newRow("transparent image")
            << CommandBuilder::imagePlan(logo, withWebp, allCaps(), folder)
            << "scale=2400:-2:flags=lanczos" << 0;
    }
    void oneProcessPerItem() {
        QFETCH(QList<PlannedOutput>, plan);
        QFETCH(QString, shared);
        QFETCH(int, audioMaps);
        const auto invocations = FusedPlan::group(plan);
        QCOMPARE(invocations.size(), 1);
        const FusedPlan::Invocation& fused = invocations.first();
        QCOMPARE(fused.outputs.size(), plan.size());
        QCOMPARE(fused.arguments.count("-i"), 1);
        QCOMPARE(fused.arguments.at(fused.inputSlot),
                 plan.first().arguments.at(plan.first().arguments.indexOf("-i") + 1));
        for (int i = 0; i < plan.size(); ++i) {
            const QString path = plan.at(fused.outputs.at(i)).destination.toLocalFile();
            QCOMPARE(fused.arguments.at(fused.writeSlots.at(i)), path);
            QCOMPARE(fused.arguments.count(path), 1);
        }
        QCOMPARE(graphOf(fused).count(shared), 1);
        QCOMPARE(fused.arguments.count("0:a:0?"), audioMaps);
        QCOMPARE(fused.arguments.contains("-vf"), false);
    }

    // The poster keeps the frame at its seek time and stops after it; its seek leaves the input.
    void posterPicksItsFrame() {
        TersioSettings settings;
        settings.cropVariants.clear();
        const auto plan =
            CommandBuilder::videoPlan(clip(3840, 2160, 20, true), settings, allCaps(), folder);
        const auto fused = FusedPlan::group(plan).first();
        QCOMPARE(fused.arguments.indexOf("-ss"), -1);
        QVERIFY2(graphOf(fused).contains("trim=start=2.000,trim=end_frame=1"),
                 qPrintable(graphOf(fused)));
        QCOMPARE(fused.progressDuration, 20.0);
        QVERIFY(fused.arguments.mid(0, fused.inputSlot).contains("-progress"));
    }

    // Labels inside a filter's own graph must not collide with the fused graph's labels.
    void flatteningLabelsStayLocal() {
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        settings.alsoEmitWebP = true;
        MediaItem logo = item("/p/logo.png", 500, 300);
        logo.hasAlpha = true;
        const QString graph = graphOf(
            FusedPlan::group(CommandBuilder::imagePlan(logo, settings, allCaps(), folder)).first());
        QVERIFY2(!graph.contains("[bg]") && graph.count("_bg]") == 2, qPrintable(graph));
    }

    void aloneWhenItCannotShare_data() {
        QTest::addColumn<QStringList>("extra"); // spliced in before "-i"
        QTest::addColumn<QString>("why");
        QTest::newRow("input format") << QStringList{"-f", "image2"} << "input option -f";
        QTest::newRow("clock seek") << QStringList{"-ss", "00:01"} << "plain number";
    }
    void aloneWhenItCannotShare() {
        QFETCH(QStringList, extra);
        QFETCH(QString, why);
        auto plan = CommandBuilder::videoPlan(clip(1280, 720, 8, true), {}, allCaps(), folder);
        const qsizetype input = plan[1].arguments.indexOf("-i");
        for (qsizetype k = 0; k < extra.size(); ++k)
            plan[1].arguments.insert(input + k, extra.at(k));
        QVERIFY(FusedPlan::aloneBecause(plan[1]).contains(why));
        const auto invocations = FusedPlan::group(plan);
        QCOMPARE(invocations.size(), 2);
        QCOMPARE(invocations[1].arguments, plan[1].arguments);
        QCOMPARE(invocations[1].outputs, QList<int>{1});
        QCOMPARE(invocations[0].outputs.size(), plan.size() - 1);
    }

    // A lone output runs exactly as planned.
    void singleOutputUnchanged() {
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        const auto plan =
            CommandBuilder::imagePlan(item("/p/a.jpg", 800, 600), settings, allCaps(), folder);
        const auto invocations = FusedPlan::group(plan);
        QCOMPARE(invocations.size(), 1);
        QCOMPARE(invocations[0].arguments, plan[0].arguments);
        QCOMPARE(invocations[0].writeSlots, QList<qsizetype>{plan[0].arguments.size() - 1});
        QCOMPARE(invocations[0].arguments.at(invocations[0].inputSlot), "/p/a.jpg");
    }

    // Under a tight memory limit the item is written by several processes, in plan order,
    // none above the limit unless it holds a single output.
    void memoryLimitSplitsTheItem() {
        TersioSettings settings;
        settings.makeHEVC = true;
        const MediaItem source = clip(3840, 2160, 20, true);
        const auto plan = CommandBuilder::videoPlan(source, settings, allCaps(), folder);
        const QSize size(3840, 2160);
        const qint64 whole = MemoryEstimate::processBytes(plan, size);
        const auto invocations = FusedPlan::group(plan, whole / 2, 3840, 2160);
        QVERIFY(invocations.size() >= 2);
        QList<int> seen;
        for (const auto& invocation : invocations) {
            seen << invocation.outputs;
            QList<PlannedOutput> members;
            for (const int index : invocation.outputs)
                members << plan.at(index);
            QVERIFY(members.size() == 1 ||
                    MemoryEstimate::processBytes(members, size) <= whole / 2);
        }
        std::sort(seen.begin(), seen.end());
        QCOMPARE(seen.size(), plan.size());
        QCOMPARE(seen.last(), plan.size() - 1);
        QCOMPARE(seen.first(), 0);
    }

    void memoryFigures_data() {
        QTest::addColumn<qint64>("physical");
        QTest::addColumn<qint64>("budget");
        const qint64 gb = qint64(1) << 30;
        QTest::newRow("small laptop") << 2 * gb << 2 * gb;
        QTest::newRow("16 GB") << 16 * gb << 8 * gb;
        QTest::newRow("unknown") << qint64(0) << 2 * gb;
    }
    void memoryFigures() {
        QFETCH(qint64, physical);
        QFETCH(qint64, budget);
        QCOMPARE(MemoryEstimate::budget(physical), budget);
    }

    void startRule_data() {
        QTest::addColumn<qint64>("running");
        QTest::addColumn<qint64>("next");
        QTest::addColumn<bool>("starts");
        QTest::newRow("alone, too big") << qint64(0) << qint64(9000) << true;
        QTest::newRow("fits") << qint64(400) << qint64(600) << true;
        QTest::newRow("would pass") << qint64(600) << qint64(600) << false;
    }
    void startRule() {
        QFETCH(qint64, running);
        QFETCH(qint64, next);
        QFETCH(bool, starts);
        QCOMPARE(MemoryEstimate::mayStart(running, next, 1000), starts);
    }

    // The seven 4K outputs the budget must reckon with come to about what one process peaked at.
    void fourKItemEstimate() {
        const auto plan =
            CommandBuilder::videoPlan(clip(3840, 2160, 10, true), {}, allCaps(), folder);
        const double gb = double(MemoryEstimate::processBytes(plan, QSize(3840, 2160))) / 1e9;
        QVERIFY2(gb > 1.2 && gb < 2.5, qPrintable(QString::number(gb)));
        QCOMPARE(MemoryEstimate::outputSize(plan[3], QSize(3840, 2160)), QSize(720, 1281));
    }

    void taskText_data() {
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << QStringList{"JPEG"} << "JPEG";
        QTest::newRow("two") << QStringList{"JPEG", "WebP"} << "JPEG, WebP";
        QTest::newRow("seven") << QStringList{"A", "B", "C", "D", "E", "F", "G"} << "A, B +5";
    }
    void taskText() {
        QFETCH(QStringList, labels);
        QFETCH(QString, text);
        QCOMPARE(FusedPlan::taskText(labels), text);
    }
};

QTEST_GUILESS_MAIN(TestFusedPlan)
#include "test_fused_plan.moc"
