#include "planning/CommandBuilder.h"
#include "planning/OutputNames.h"
#include "planning/SourceSet.h"

#include <QTemporaryDir>
#include <QtTest>

#include "TestSupport.h"
#include <unistd.h>

using TestSupport::row;

using OutputNames::Slot;
using Queue = QList<QList<Slot>>;

Q_DECLARE_METATYPE(Queue)

// Short form: "dir/name" per output.
static QList<Slot> outputs(const QStringList& paths) {
    QList<Slot> result;
    for (const QString& path : paths) {
        const qsizetype slash = path.lastIndexOf('/');
        result.append({"/o/" + path.left(slash), path.mid(slash + 1)});
    }
    return result;
}

class TestOutputNames : public QObject {
    Q_OBJECT

  private slots:
    void namesAreClaimedInQueueOrder_data() {
        QTest::addColumn<Queue>("queue");
        QTest::addColumn<QStringList>("reserved");
        QTest::addColumn<QList<QStringList>>("names");
        row("different extensions, one target",
            Queue{outputs({"x/photo.jpg"}), outputs({"x/photo.jpg"})}, QStringList{},
            QList<QStringList>{{"photo.jpg"}, {"photo-2.jpg"}});
        row("same name in two folders stays",
            Queue{outputs({"a/DSC_0001.jpg"}), outputs({"b/DSC_0001.jpg"})}, QStringList{},
            QList<QStringList>{{"DSC_0001.jpg"}, {"DSC_0001.jpg"}});
        row("third of a kind",
            Queue{outputs({"x/clip.mp4", "x/clip-poster.jpg"}),
                  outputs({"x/clip.mp4", "x/clip-poster.jpg"}), outputs({"x/clip.mp4"})},
            QStringList{},
            QList<QStringList>{{"clip.mp4", "clip-poster.jpg"},
                               {"clip-2.mp4", "clip-poster-2.jpg"},
                               {"clip-3.mp4"}});
        row("two crops of one ratio in one item",
            Queue{outputs(
                {"x/clip-9x16.mp4", "x/clip-9x16.webm", "x/clip-9x16.mp4", "x/clip-9x16.webm"})},
            QStringList{},
            QList<QStringList>{
                {"clip-9x16.mp4", "clip-9x16.webm", "clip-9x16-2.mp4", "clip-9x16-2.webm"}});
        row("a numbered name taken later",
            Queue{outputs({"x/p.jpg"}), outputs({"x/p.jpg"}), outputs({"x/p-2.jpg"})},
            QStringList{}, QList<QStringList>{{"p.jpg"}, {"p-2.jpg"}, {"p-2-2.jpg"}});
        row("numbering skips a queued original", Queue{outputs({"x/p.jpg"}), outputs({"x/p.jpg"})},
            QStringList{"/o/x/p-2.jpg"}, QList<QStringList>{{"p.jpg"}, {"p-3.jpg"}});
        row("dots in the stem", Queue{outputs({"x/a.b.mp4"}), outputs({"x/a.b.mp4"})},
            QStringList{}, QList<QStringList>{{"a.b.mp4"}, {"a.b-2.mp4"}});
        row("an item without outputs claims nothing",
            Queue{outputs({}), outputs({"x/p.png"}), outputs({"x/p.png"})}, QStringList{},
            QList<QStringList>{{}, {"p.png"}, {"p-2.png"}});
    }

    void namesAreClaimedInQueueOrder() {
        QFETCH(Queue, queue);
        QFETCH(QStringList, reserved);
        QFETCH(QList<QStringList>, names);
        const QSet<QString> keys(reserved.begin(), reserved.end());
        QCOMPARE(OutputNames::assign(queue, keys), names);

        // Proposing does not claim: asking twice gives the same answer.
        OutputNames::Claims claims(keys);
        for (qsizetype i = 0; i < queue.size(); ++i) {
            QCOMPARE(claims.names(queue[i]), claims.names(queue[i]));
            QCOMPARE(claims.names(queue[i]), names[i]);
            claims.take(queue[i], names[i]);
        }
    }

    void renamedWritesTheNewName() {
        const PlannedOutput planned{"JPEG",
                                    QUrl::fromLocalFile("/o/x/photo.jpg"),
                                    {"-i", "/s/photo.png", "/o/x/photo.jpg"},
                                    0};
        const PlannedOutput moved = CommandBuilder::renamed(planned, "photo-2.jpg");
        QCOMPARE(moved.destination, QUrl::fromLocalFile("/o/x/photo-2.jpg"));
        QCOMPARE(moved.arguments, (QStringList{"-i", "/s/photo.png", "/o/x/photo-2.jpg"}));
        QCOMPARE(moved.label, planned.label);
    }

    // The same file reached through a symlinked folder or a hard link is still the original.
    void originalsAreKnownByIdentity() {
        QTemporaryDir tmp;
        const QString src = tmp.filePath("src");
        QVERIFY(QDir().mkpath(src));
        QFile file(src + "/a.jpg");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();
        QVERIFY(QFile::link(src, tmp.filePath("alias")));
        QVERIFY(::link(QFile::encodeName(src + "/a.jpg").constData(),
                       QFile::encodeName(tmp.filePath("hard.jpg")).constData()) == 0);

        SourceSet sources;
        sources.add(QUrl::fromLocalFile(src + "/a.jpg"));
        QVERIFY(sources.holds(src + "/a.jpg"));
        QVERIFY(sources.holds(tmp.filePath("alias/a.jpg")));
        QVERIFY(sources.holds(tmp.filePath("hard.jpg")));
        QVERIFY(sources.holds(src + "/./sub/../a.jpg"));
        QVERIFY(!sources.holds(src + "/a.png"));
        QVERIFY(!sources.holds(tmp.filePath("alias/new/a.jpg")));
        QCOMPARE(SourceSet::canonicalFolder(tmp.filePath("alias/new/deeper")),
                 QFileInfo(src).canonicalFilePath() + "/new/deeper");
    }
};

QTEST_GUILESS_MAIN(TestOutputNames)
#include "test_output_names.moc"
