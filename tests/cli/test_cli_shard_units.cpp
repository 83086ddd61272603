#include "CliUnitSupport.h"
#include "CommandLine.h"
#include "RunReport.h"
#include "Shard.h"
#include "SummaryMerge.h"

#include "TestSupport.h"
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using TestSupport::row;

using namespace Qt::StringLiterals;

namespace {

// A part's summary as --summary writes it: "index:status:bytes" per item.
SummaryMerge::Input part(const QString& name, qint64 queueSize, const QString& shard,
                         const QStringList& entries) {
    QJsonArray items;
    QJsonObject totals{{u"done"_s, 0}, {u"failed"_s, 0}, {u"sourceBytes"_s, 0}};
    for (const QString& entry : entries) {
        const QStringList f = entry.split(u':');
        items.append(QJsonObject{
            {u"index"_s, f[0].toLongLong()}, {u"source"_s, u"/m/"_s + f[0]}, {u"status"_s, f[1]}});
        const QString key = f[1] == u"done"_s ? u"done"_s : u"failed"_s;
        totals[key] = totals[key].toInteger() + 1;
        totals[u"sourceBytes"_s] = totals[u"sourceBytes"_s].toInteger() + f[2].toLongLong();
    }
    QJsonObject summary{{u"queueSize"_s, queueSize}, {u"items"_s, items}, {u"totals"_s, totals}};
    if (!shard.isEmpty())
        summary[u"shard"_s] = shard;
    return {name, summary};
}

} // namespace

// Splitting a queue into parts and putting the parts' summaries back together.
class TestCliShardUnits : public QObject {
    Q_OBJECT

  private slots:
    void shardForms_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<qint64>("index"); // -1: a usage error naming `problem`
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("problem");
        row("first", QStringList{u"--shard"_s, u"0/4"_s}, 0ll, 4ll, QString());
        row("last, inline", QStringList{u"--shard=3/4"_s}, 3ll, 4ll, QString());
        row("whole", QStringList{u"--shard"_s, u"0/1"_s}, 0ll, 1ll, QString());
        row("K = N", QStringList{u"--shard=3/3"_s}, -1ll, 0ll, u"0 to 2"_s);
        row("negative", QStringList{u"--shard"_s, u"-1/4"_s}, -1ll, 0ll, u"not K/N"_s);
        row("letters", QStringList{u"--shard=a/b"_s}, -1ll, 0ll, u"not K/N"_s);
        row("no parts", QStringList{u"--shard=1/0"_s}, -1ll, 0ll, u"at least 1"_s);
        row("blank", QStringList{u"--shard= 1/2"_s}, -1ll, 0ll, u"not K/N"_s);
        row("sign", QStringList{u"--shard=+1/2"_s}, -1ll, 0ll, u"not K/N"_s);
        row("no count", QStringList{u"--shard=1"_s}, -1ll, 0ll, u"not K/N"_s);
        row("too big", QStringList{u"--shard=0/99999999999"_s}, -1ll, 0ll, u"not K/N"_s);
    }

    void shardForms() {
        QFETCH(QStringList, args);
        QFETCH(qint64, index);
        QFETCH(qint64, count);
        QFETCH(QString, problem);
        const auto p = CommandLine::parse(args + QStringList{u"dir"_s});
        if (index < 0) {
            QVERIFY2(p.error.contains(problem), qPrintable(p.error));
            return;
        }
        QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
        QCOMPARE(p.request.shard, (Shard{index, count}));
        QCOMPARE(p.request.paths, QStringList{u"dir"_s});
    }

    void summaryAndMergeFlags() {
        const auto p = CommandLine::parse(
            {u"--merge-summaries"_s, u"a.json"_s, u"--summary=s.json"_s, u"b.json"_s});
        QVERIFY(p.request.mergeSummaries);
        QCOMPARE(p.request.summaryFile, u"s.json"_s);
        QCOMPARE(p.request.paths, (QStringList{u"a.json"_s, u"b.json"_s}));
        QVERIFY(CommandLine::parse({u"--summary="_s}).error.contains(u"needs a path"_s));
    }

    void summaryOfOneShardCarriesQueueIndices() {
        const QList<MediaItem> queue{
            item(u"/a.jpg"_s, ItemStatus::done(), 1000, {400}),
            item(u"/b.jpg"_s, ItemStatus::done(), 2000, {500}),
            item(u"/c.jpg"_s, ItemStatus::queued()),
            item(u"/d.mov"_s, ItemStatus::failed(u"broken"_s), 5000),
            item(u"/e.jpg"_s, ItemStatus::queued()),
        };
        const QJsonObject s = RunReport::summary(queue, Shard{1, 2}).object();
        QCOMPARE(s[u"queueSize"_s].toInteger(), 5);
        QCOMPARE(s[u"shard"_s].toString(), u"1/2"_s);
        const QJsonArray items = s[u"items"_s].toArray();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0][u"index"_s].toInteger(), 1);
        QCOMPARE(items[0][u"source"_s].toString(), u"/b.jpg"_s);
        QCOMPARE(items[1][u"index"_s].toInteger(), 3);
        QCOMPARE(s[u"totals"_s][u"done"_s].toInt(), 1);
        QCOMPARE(s[u"totals"_s][u"failed"_s].toInt(), 1);
        QCOMPARE(s[u"totals"_s][u"sourceBytes"_s].toInteger(), 2000);
        QCOMPARE(RunReport::exitStatus(RunReport::part(queue, Shard{1, 4}), 0), 0);
        QVERIFY(!RunReport::summary(queue).object().contains(u"shard"_s));
    }

    void mergeSummaries_data() {
        using In = QList<SummaryMerge::Input>;
        QTest::addColumn<In>("inputs");
        QTest::addColumn<QList<qint64>>("order"); // merged item indices
        QTest::addColumn<QList<qsizetype>>("missing");
        QTest::addColumn<qint64>("sourceBytes");
        QTest::addColumn<QString>("error"); // non-empty: no merge, the message names this

        row("two parts, out of order",
            In{part(u"1.json"_s, 4, u"1/2"_s, {u"1:done:10"_s, u"3:failed:0"_s}),
               part(u"0.json"_s, 4, u"0/2"_s, {u"0:done:5"_s, u"2:done:7"_s})},
            QList<qint64>{0, 1, 2, 3}, QList<qsizetype>{}, 22ll, QString());
        row("a part that has not reported",
            In{part(u"0.json"_s, 5, u"0/3"_s, {u"0:done:1"_s, u"3:done:1"_s}),
               part(u"2.json"_s, 5, u"2/3"_s, {u"2:done:1"_s})},
            QList<qint64>{0, 2, 3}, QList<qsizetype>{1, 4}, 3ll, QString());
        row("empty part",
            In{part(u"0.json"_s, 1, u"0/2"_s, {u"0:done:4"_s}), part(u"1.json"_s, 1, u"1/2"_s, {})},
            QList<qint64>{0}, QList<qsizetype>{}, 4ll, QString());
        row("one item in two parts",
            In{part(u"0.json"_s, 4, u"0/2"_s, {u"0:done:1"_s, u"2:done:1"_s}),
               part(u"old.json"_s, 4, u"1/2"_s, {u"1:done:1"_s, u"2:done:1"_s})},
            QList<qint64>{}, QList<qsizetype>{}, 0ll, u"reported by both 0.json and old.json"_s);
        row("different queues",
            In{part(u"0.json"_s, 4, u"0/2"_s, {}), part(u"1.json"_s, 5, u"1/2"_s, {})},
            QList<qint64>{}, QList<qsizetype>{}, 0ll, u"different queues"_s);
        row("different splits",
            In{part(u"0.json"_s, 4, u"0/2"_s, {}), part(u"1.json"_s, 4, u"1/3"_s, {})},
            QList<qint64>{}, QList<qsizetype>{}, 0ll, u"split the queue differently"_s);
        row("index beyond the queue", In{part(u"0.json"_s, 2, u"0/2"_s, {u"2:done:1"_s})},
            QList<qint64>{}, QList<qsizetype>{}, 0ll, u"valid queue index"_s);
        row("not a summary", In{{u"plan.json"_s, QJsonObject{{u"items"_s, QJsonArray{}}}}},
            QList<qint64>{}, QList<qsizetype>{}, 0ll, u"plan.json is not a run summary"_s);
    }

    void mergeSummaries() {
        using In = QList<SummaryMerge::Input>;
        QFETCH(In, inputs);
        QFETCH(QList<qint64>, order);
        QFETCH(QList<qsizetype>, missing);
        QFETCH(qint64, sourceBytes);
        QFETCH(QString, error);
        const SummaryMerge::Result r = SummaryMerge::merge(inputs);
        if (!error.isEmpty()) {
            QVERIFY2(r.error.contains(error), qPrintable(r.error));
            return;
        }
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QList<qint64> indices;
        for (const auto& merged : r.summary[u"items"_s].toArray())
            indices << merged[u"index"_s].toInteger();
        QCOMPARE(indices, order);
        QCOMPARE(r.missing, missing);
        QCOMPARE(r.summary[u"totals"_s][u"sourceBytes"_s].toInteger(), sourceBytes);
        QCOMPARE(r.summary[u"totals"_s][u"done"_s].toInteger() +
                     r.summary[u"totals"_s][u"failed"_s].toInteger(),
                 qint64(order.size()));
        QVERIFY(!r.summary.contains(u"shard"_s));
    }
};

QTEST_GUILESS_MAIN(TestCliShardUnits)
#include "test_cli_shard_units.moc"
