#include "EngineSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using TestSupport::row;

using namespace EngineSupport;

class TestEngineAdd : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& relative) const { return dir_.filePath(relative); }
    void touch(const QString& relative, const QByteArray& bytes = "x") {
        QVERIFY(TestSupport::writeFile(path(relative), bytes));
    }
    static QStringList queuedPaths(const AppModel& model) {
        QStringList paths;
        for (const MediaItem& item : model.items())
            paths << item.url.toLocalFile();
        return paths;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        touch("loose.jpg");
        touch("tree/a.jpg", "12345");
        touch("tree/PHOTO.JPG");
        touch("tree/clip.MOV");
        touch("tree/notes.txt");
        touch("tree/noextension");
        touch("tree/.hidden.jpg");
        touch("tree/.secret/inside.jpg");
        touch("tree/sub/deep/b.heic");
        touch("tree/sub/c.m2ts");
        touch("tree/sub/d.gif");
        QVERIFY(QDir().mkpath(path("tree/emptyfolder")));
        // A link back to the tree's root: following it would never end.
        QVERIFY(QFile::link(path("tree"), path("tree/sub/loop")));
        QVERIFY(QFile::link(path("tree/a.jpg"), path("tree/sub/alias.jpg")));
    }

    void folderIsWalked() {
        auto model = makeModel();
        model->add({QUrl::fromLocalFile(path("tree"))});
        // In byte order of the path below the folder, whatever order the disk lists them in.
        const QStringList expected{path("tree/PHOTO.JPG"),      path("tree/a.jpg"),
                                   path("tree/clip.MOV"),       path("tree/sub/alias.jpg"),
                                   path("tree/sub/c.m2ts"),     path("tree/sub/d.gif"),
                                   path("tree/sub/deep/b.heic")};
        QCOMPARE(queuedPaths(*model), expected);
        for (const MediaItem& item : model->items())
            QCOMPARE(item.addedFolder, path("tree"));
        model->add({QUrl::fromLocalFile(path("loose.jpg"))});
        QCOMPARE(model->items().last().addedFolder, QString());

        const MediaItem* photo = itemNamed(*model, "PHOTO.JPG");
        QVERIFY(photo);
        QCOMPARE(photo->kind, MediaKind::image);
        QCOMPARE(photo->status, ItemStatus::queued());
        QCOMPARE(itemNamed(*model, "clip.MOV")->kind, MediaKind::video);
        QCOMPARE(itemNamed(*model, "c.m2ts")->kind, MediaKind::video);
        QCOMPARE(itemNamed(*model, "b.heic")->kind, MediaKind::image);
        QCOMPARE(itemNamed(*model, "a.jpg")->sourceBytes, 5);
    }

    void duplicatesAreDropped_data() {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::addColumn<int>("count");
        row("same file twice in one call", QStringList{}, QStringList{"tree/a.jpg", "tree/a.jpg"},
            1);
        row("folder and a file inside it", QStringList{},
            QStringList{"tree/sub", "tree/sub/c.m2ts"}, 4);
        row("again later", QStringList{"tree/a.jpg"}, QStringList{"tree/a.jpg"}, 1);
        row("through ..", QStringList{"tree/a.jpg"},
            QStringList{"tree/sub/../a.jpg", "tree/./a.jpg"}, 1);
        row("missing and unsupported", QStringList{},
            QStringList{"tree/nothing.jpg", "tree/notes.txt", "tree/noextension"}, 0);
        row("hidden file named outright", QStringList{}, QStringList{"tree/.hidden.jpg"}, 1);
        row("empty folder", QStringList{}, QStringList{"tree/emptyfolder"}, 0);
    }

    void duplicatesAreDropped() {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        auto toUrls = [this](const QStringList& relative) {
            QList<QUrl> urls;
            for (const QString& r : relative)
                urls << QUrl::fromLocalFile(path(r));
            return urls;
        };
        auto model = makeModel();
        model->add(toUrls(first));
        model->add(toUrls(second));
        QTEST(model->itemCount(), "count");
        const QStringList paths = queuedPaths(*model);
        for (const QString& queued : paths) {
            QVERIFY2(!queued.contains(QLatin1String("/./")) &&
                         !queued.contains(QLatin1String("/../")),
                     qPrintable(queued));
            QCOMPARE(paths.count(queued), 1);
        }
    }

    void nonFileUrlsAndFifosAreIgnored() {
        const QString fifo = path("pipe.mp4");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        auto model = makeModel();
        model->add(
            {QUrl(QStringLiteral("https://example.invalid/a.jpg")), QUrl::fromLocalFile(fifo)});
        QCOMPARE(model->itemCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEngineAdd)
#include "test_engine_add.moc"
