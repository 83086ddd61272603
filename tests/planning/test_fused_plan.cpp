#include "PlanSamples.h"
#include "TestSupport.h"
#include "planning/FusedPlan.h"
#include "planning/MemoryEstimate.h"
#include "planning/ScoreReference.h"

#include <QtTest>

#include <algorithm>
#include <numeric>

using TestSupport::row;
using namespace PlanSamples;

namespace {

QString graphOf(const FusedPlan::Invocation& invocation) {
    return after(invocation.arguments, "-filter_complex");
}

} // namespace

// Shared processes: the outputs of one item fused into as few ffmpeg runs as memory allows.
class TestFusedPlan : public QObject {
    Q_OBJECT

  private slots:
    // Every output is written exactly once, at the slot the engine swaps for its staged file,
    // and expensive filters the outputs share run once.
    void oneProcessPerItem_data() {
        QTest::addColumn<Plan>("plan");
        QTest::addColumn<QString>("shared"); // a filter that must appear exactly once
        QTest::addColumn<int>("audioMaps");
        TersioSettings hevc;
        hevc.makeHEVC = true;
        row("4k defaults", videos(clip(3840, 2160, 20)), "scale=1920:-2:flags=lanczos", 6);
        row("hdr", videos(clip(3840, 2160, 20, true, true)), "tonemap=tonemap=hable:desat=0", 6);
        row("transparent image",
            images(photo("logo.png", 5000, 3000, true), format(ImageFormat::jpeg, true)),
            "scale=2400:-2:flags=lanczos", 0);
    }
    void oneProcessPerItem() {
        QFETCH(Plan, plan);
        QFETCH(QString, shared);
        QFETCH(int, audioMaps);
        const auto invocations = FusedPlan::group(plan);
        QCOMPARE(invocations.size(), 1);
        const FusedPlan::Invocation& fused = invocations.first();
        QCOMPARE(fused.outputs.size(), plan.size());
        QCOMPARE(fused.arguments.count("-i"), 1);
        QCOMPARE(fused.arguments.at(fused.inputSlot), after(plan.first().arguments, "-i"));
        for (int i = 0; i < plan.size(); ++i) {
            const QString path = plan.at(fused.outputs.at(i)).destination.toLocalFile();
            QCOMPARE(fused.arguments.at(fused.writeSlots.at(i)), path);
            QCOMPARE(fused.arguments.count(path), 1);
        }
        QCOMPARE(graphOf(fused).count(shared), 1);
        QCOMPARE(fused.arguments.count("0:a:0?"), audioMaps);
        QVERIFY(!fused.arguments.contains("-vf"));
    }

    // The poster keeps the frame at its seek time and stops after it; labels inside a filter's
    // own graph must not collide with the fused graph's.
    void fusedGraphDetails() {
        TersioSettings settings;
        settings.cropVariants.clear();
        const auto video = FusedPlan::group(videos(clip(3840, 2160, 20), settings)).first();
        QCOMPARE(video.arguments.indexOf("-ss"), -1);
        QVERIFY2(graphOf(video).contains("trim=start=2.000,trim=end_frame=1"),
                 qPrintable(graphOf(video)));
        QCOMPARE(video.progressDuration, 20.0);
        QVERIFY(video.arguments.mid(0, video.inputSlot).contains("-progress"));

        const QString graph = graphOf(FusedPlan::group(images(photo("logo.png", 500, 300, true),
                                                              format(ImageFormat::jpeg, true)))
                                          .first());
        QVERIFY2(!graph.contains("[bg]") && graph.count("_bg]") == 2, qPrintable(graph));
    }

    // A still's encode also writes its score's reference, once per look, before the outputs,
    // which stay at their slots and last; what lasts or seeks gets none, and neither does a JPEG
    // whose unfiltered JPEG source is its reference, unless another output writes it anyway.
    void scoreReferences_data() {
        QTest::addColumn<Plan>("plan");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<int>("references");
        QTest::addColumn<int>("without");
        QTest::addColumn<bool>("turned");
        row("jpeg and webp copy alike",
            images(photo("a.jpg", 5000, 3000), format(ImageFormat::jpeg, true)), false, 1, 0,
            false);
        row("flattened jpeg beside transparent webp",
            images(photo("logo.png", 5000, 3000, true), format(ImageFormat::jpeg, true)), true, 2,
            0, false);
        row("video and poster", videos(clip(1280, 720, 8)), false, 0, 7, false);
        row("unscaled jpeg from a jpeg", images(photo("a.jpg", 1600, 1200)), false, 0, 1, false);
        row("unscaled jpeg from a jpeg stored turned", images(photo("a.jpg", 1600, 1200)), false, 1,
            0, true);
        row("unscaled jpeg beside a webp copy",
            images(photo("a.jpg", 1600, 1200), format(ImageFormat::jpeg, true)), false, 1, 0,
            false);
        row("unscaled jpeg from a png", images(photo("a.png", 1600, 1200)), false, 1, 0, false);
    }
    void scoreReferences() {
        QFETCH(Plan, plan);
        QFETCH(bool, alpha);
        QFETCH(int, references);
        QFETCH(int, without);
        QFETCH(bool, turned);
        FusedPlan::Invocation invocation = FusedPlan::group(plan).first();
        const QStringList planned = invocation.arguments;
        ScoreReference::addAll(invocation, plan, alpha, turned);
        QCOMPARE(invocation.arguments.count("fits"), references);
        QCOMPARE(invocation.arguments.mid(invocation.arguments.size() - planned.size() +
                                          invocation.inputSlot + 1),
                 planned.mid(invocation.inputSlot + 1));
        QSet<qsizetype> written;
        for (qsizetype k = 0; k < invocation.outputs.size(); ++k) {
            const PlannedOutput& output = plan.at(invocation.outputs.at(k));
            QCOMPARE(invocation.arguments.at(invocation.writeSlots.at(k)),
                     output.destination.toLocalFile());
            if (const qsizetype slot = invocation.referenceSlots.at(k); slot >= 0) {
                written.insert(slot);
                QVERIFY(invocation.arguments.at(slot).endsWith(".reference.fits"));
                QVERIFY2(invocation.arguments.at(slot - 9).contains(
                             ScoreReference::filters(output, alpha)),
                         qPrintable(invocation.arguments.at(slot - 9)));
            }
        }
        QCOMPARE(written.size(), references);
        QCOMPARE(invocation.referenceSlots.count(-1), without);
    }

    // An output with its own input options runs alone, exactly as planned.
    void aloneWhenItCannotShare() {
        for (const auto& [extra, why] : {std::pair(QStringList{"-f", "image2"}, "input option -f"),
                                         std::pair(QStringList{"-ss", "00:01"}, "plain number")}) {
            Plan plan = videos(clip(1280, 720, 8));
            plan[1].arguments.insert(plan[1].arguments.indexOf("-i"), extra[1]);
            plan[1].arguments.insert(plan[1].arguments.indexOf("-i") - 1, extra[0]);
            QVERIFY(FusedPlan::aloneBecause(plan[1]).contains(QLatin1String(why)));
            const auto invocations = FusedPlan::group(plan);
            QCOMPARE(invocations.size(), 2);
            QCOMPARE(invocations[1].arguments, plan[1].arguments);
            QCOMPARE(invocations[1].outputs, QList<int>{1});
            QCOMPARE(invocations[0].outputs.size(), plan.size() - 1);
        }
    }

    // Under a tight memory limit the item is written by several processes, in plan order,
    // none above the limit unless it holds a single output.
    void memoryLimitSplitsTheItem() {
        TersioSettings settings;
        settings.makeHEVC = true;
        const Plan plan = videos(clip(3840, 2160, 20), settings);
        const QSize size(3840, 2160);
        const qint64 whole = MemoryEstimate::processBytes(plan, size);
        const auto invocations = FusedPlan::group(plan, whole / 2, 3840, 2160);
        QVERIFY(invocations.size() >= 2);
        QList<int> seen;
        for (const auto& invocation : invocations) {
            seen << invocation.outputs;
            Plan members;
            for (const int index : invocation.outputs)
                members << plan.at(index);
            QVERIFY(members.size() == 1 ||
                    MemoryEstimate::processBytes(members, size) <= whole / 2);
        }
        std::sort(seen.begin(), seen.end());
        QList<int> all(plan.size());
        std::iota(all.begin(), all.end(), 0);
        QCOMPARE(seen, all);
    }

    void memoryFigures() {
        const qint64 gb = qint64(1) << 30;
        QCOMPARE(MemoryEstimate::budget(2 * gb), 2 * gb);
        QCOMPARE(MemoryEstimate::budget(16 * gb), 8 * gb);
        QCOMPARE(MemoryEstimate::budget(0), 2 * gb);
        QVERIFY(MemoryEstimate::mayStart(0, 9000, 1000)); // alone, too big
        QVERIFY(MemoryEstimate::mayStart(400, 600, 1000));
        QVERIFY(!MemoryEstimate::mayStart(600, 600, 1000));
        // The seven 4K outputs come to about what one such process peaked at.
        const Plan plan = videos(clip(3840, 2160, 10));
        const double bytes = double(MemoryEstimate::processBytes(plan, QSize(3840, 2160))) / 1e9;
        QVERIFY2(bytes > 1.2 && bytes < 2.5, qPrintable(QString::number(bytes)));
        QCOMPARE(FusedPlan::taskText({"JPEG"}), QStringLiteral("JPEG"));
        QCOMPARE(FusedPlan::taskText({"JPEG", "WebP"}), QStringLiteral("JPEG, WebP"));
        QCOMPARE(FusedPlan::taskText({"A", "B", "C", "D", "E", "F", "G"}),
                 QStringLiteral("A, B +5"));
    }
};

QTEST_GUILESS_MAIN(TestFusedPlan)
#include "test_fused_plan.moc"
