#include "CommandLine.h"
#include "OutputFolders.h"
#include "PlanReport.h"
#include "RunReport.h"
#include "Shard.h"
#include "SummaryMerge.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using namespace Qt::StringLiterals;
using TestSupport::row;
using TestSupport::words;
using In = QList<SummaryMerge::Input>;

namespace {

// A done item of 1000 bytes with outputs of the given sizes.
MediaItem item(const QString& path, QList<qint64> outputBytes) {
    MediaItem m;
    m.url = QUrl::fromLocalFile(path);
    m.status = ItemStatus::done();
    m.sourceBytes = 1000;
    for (qint64 b : outputBytes)
        m.outputs << ProducedFile{{}, u"JPEG"_s, QUrl::fromLocalFile(path + ".out.jpg"), b, {}};
    return m;
}

// A part's summary as --summary writes it, from "index:status:bytes" per item.
SummaryMerge::Input part(const QString& name, qint64 queueSize, const QString& shard,
                         const QString& entries) {
    QJsonArray items;
    QJsonObject totals{{"done", 0}, {"failed", 0}, {"sourceBytes", 0}};
    for (const QString& entry : words(entries)) {
        const QStringList f = entry.split(':');
        items.append(
            QJsonObject{{"index", f[0].toLongLong()}, {"source", "/m/" + f[0]}, {"status", f[1]}});
        const QString key = f[1] == "done"_L1 ? u"done"_s : u"failed"_s;
        totals[key] = totals[key].toInteger() + 1;
        totals["sourceBytes"] = totals["sourceBytes"].toInteger() + f[2].toLongLong();
    }
    QJsonObject summary{{"queueSize", queueSize}, {"items", items}, {"totals", totals}};
    if (!shard.isEmpty())
        summary["shard"] = shard;
    return {name, summary};
}

} // namespace

// The command line's pieces where the golden texts do not reach: strict values, where previous
// outputs lie, report lines, merging the parts' summaries.
class TestCliPieces : public QObject {
    Q_OBJECT

  private slots:
    void valuesAreReadStrictly_data() {
        TestSupport::columns<QStringList, QString>("args", "needle");
        row("switch with value", words("--json=1"), u"takes no value"_s);
        row("blank", QStringList{"--image-quality", " 80"}, u"from 0 to 100"_s);
        row("nan", words("--video-quality=nan"), u"0 to 100"_s);
        row("group separator", words("--image-max-width 1,200"), u"whole number"_s);
        row("shard, negative", words("--shard -1/4"), u"not K/N"_s);
        row("shard, no parts", words("--shard=1/0"), u"at least 1"_s);
        row("shard, sign", words("--shard=+1/2"), u"not K/N"_s);
        row("shard, too big", words("--shard=0/99999999999"), u"not K/N"_s);
        row("summary, no path", words("--summary="), u"needs a path"_s);
    }
    void valuesAreReadStrictly() {
        QFETCH(QStringList, args);
        QFETCH(QString, needle);
        const auto parsed = CommandLine::parse(args << u"dir"_s);
        TersioSettings s;
        const QString error =
            parsed.error.isEmpty() ? CommandLine::applyEdits(parsed.request, s) : parsed.error;
        QVERIFY2(error.contains(needle), qPrintable(error));
    }

    void validForms() {
        const auto p =
            CommandLine::parse(words("--shard=3/4 --output rel/../out --crops=4x5,1x1 d"));
        QCOMPARE(p.request.shard, (Shard{3, 4}));
        TersioSettings s;
        QCOMPARE(CommandLine::applyEdits(p.request, s), QString());
        QCOMPARE(s.customFolderPath, QDir::current().absoluteFilePath(u"out"_s));
        QCOMPARE(s.activeCrops().size(), 2);
        QCOMPARE(s.activeCrops()[0].ratioText() + s.activeCrops()[1].ratioText(), u"1x14x5"_s);
    }

    // Whether an item lies where an earlier run put the outputs of the folder it was found in.
    void outputFoldersAreRecognised() {
        // The chosen folder (none: a subfolder of the name), the file, the folder it was found
        // in (none: named outright), and whether it is taken for an output.
        const struct {
            const char *chosen, *subfolder, *file, *added;
            bool held;
        } cases[] = {{"", "", "/m/optimised/a.jpg", "/m", true},         // optimised beside
                     {"", "", "/m/x/optimised/a.jpg", "/m", true},       // optimised deeper
                     {"", "", "/m/a.jpg", "/m", false},                  // a source
                     {"", "", "/m/not-optimised/a.jpg", "/m", false},    // a similar name
                     {"", " web/min\t", "/m/web/min/a.jpg", "/m", true}, // a nested name
                     {"", "web/min", "/m/web/a.jpg", "/m", false},       // half the name
                     {"", ".", "/m/a.jpg", "/m", false},                 // beside the sources
                     {"", "", "/m/optimised/a.jpg", "", false},          // named outright
                     {"/out", "", "/out/m/a.jpg", "/m", true},           // the folder's copy
                     {"/out", "", "/out/m/d/a.jpg", "/m", true},         // deep in the copy
                     {"/m", "", "/m/a.jpg", "/m", false},       // chosen folder is the added one
                     {"/m", "", "/m/m/a.jpg", "/m", true},      // its copy inside it
                     {"/out", "", "/out/n/a.jpg", "/m", false}, // another folder's copy
                     {"/out", "", "/outside/m/a.jpg", "/m", false}}; // outside
        for (const auto& c : cases) {
            TersioSettings s;
            s.subfolderName = QString::fromUtf8(c.subfolder);
            if (*c.chosen) {
                s.outputMode = OutputMode::customFolder;
                s.customFolderPath = QString::fromUtf8(c.chosen);
            }
            MediaItem found;
            found.url = QUrl::fromLocalFile(QString::fromUtf8(c.file));
            found.addedFolder = QString::fromUtf8(c.added);
            QVERIFY2(OutputFolders::holds(found, s) == c.held, c.file);
        }
    }

    void reportAndProgressLines() {
        QVERIFY(RunReport::finishedLine(item("/a.jpg", {400, 100}))
                    .contains("/a.jpg -> /a.jpg.out.jpg  saved 1 KB"_L1));
        QVERIFY(RunReport::finishedLine(item("/b.jpg", {1200})).endsWith("1 KB larger"_L1));
        QCOMPARE(PlanReport::shellQuoted(u"it's here"_s), u"'it'\\''s here'"_s);
        QCOMPARE(PlanReport::shellQuoted(u"scale=720:-2"_s), u"scale=720:-2"_s);
    }

    // The merged queue indices, those no part reports, and the source bytes; or the error.
    void mergeSummaries_data() {
        TestSupport::columns<In, QString>("inputs", "merged");
        row("two parts, out of order",
            In{part("1.json", 4, "1/2", "1:done:10 3:failed:0"),
               part("0.json", 4, "0/2", "0:done:5 2:done:7")},
            u"0 1 2 3 / - / 22"_s);
        row("a part that has not reported",
            In{part("0.json", 5, "0/3", "0:done:1 3:done:1"), part("2.json", 5, "2/3", "2:done:1")},
            u"0 2 3 / 1 4 / 3"_s);
        row("empty part", In{part("0.json", 1, "0/2", "0:done:4"), part("1.json", 1, "1/2", {})},
            u"0 / - / 4"_s);
        row("different queues", In{part("0.json", 4, "0/2", {}), part("1.json", 5, "1/2", {})},
            u"different queues"_s);
        row("different splits", In{part("0.json", 4, "0/2", {}), part("1.json", 4, "1/3", {})},
            u"split the queue differently"_s);
        row("index beyond the queue", In{part("0.json", 2, "0/2", "2:done:1")},
            u"valid queue index"_s);
        row("not a summary", In{{u"plan.json"_s, QJsonObject{{"items", QJsonArray{}}}}},
            u"plan.json is not a run summary"_s);
    }
    void mergeSummaries() {
        QFETCH(In, inputs);
        QFETCH(QString, merged);
        const SummaryMerge::Result r = SummaryMerge::merge(inputs);
        if (!merged.contains('/')) {
            QVERIFY2(r.error.contains(merged), qPrintable(r.error));
            return;
        }
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QStringList indices, missing;
        for (const auto& item : r.summary["items"_L1].toArray())
            indices << QString::number(item["index"_L1].toInteger());
        for (qsizetype index : r.missing)
            missing << QString::number(index);
        const QJsonObject totals = r.summary["totals"_L1].toObject();
        QCOMPARE(
            u"%1 / %2 / %3"_s.arg(indices.join(' '), missing.isEmpty() ? u"-"_s : missing.join(' '))
                .arg(totals["sourceBytes"_L1].toInteger()),
            merged);
        QCOMPARE(totals["done"_L1].toInteger() + totals["failed"_L1].toInteger(),
                 qint64(indices.size()));
        QVERIFY(!r.summary.contains("shard"_L1));
    }
};

QTEST_GUILESS_MAIN(TestCliPieces)
#include "test_cli_pieces.moc"
