#include "EngineSupport.h"
#include "engine/CropListModel.h"
#include "engine/QueueModel.h"

#include "model/Preferences.h"

#include <QAbstractItemModelTester>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using TestSupport::row;

Q_DECLARE_METATYPE(MediaItem)

using namespace EngineSupport;

namespace {

MediaItem itemWith(ItemStatus status, qint64 sourceBytes, QList<qint64> outputBytes) {
    MediaItem item;
    item.url = QUrl::fromLocalFile(QStringLiteral("/media/") + item.id.toString() + ".jpg");
    item.status = status;
    item.sourceBytes = sourceBytes;
    for (qint64 bytes : outputBytes)
        item.outputs.append({QUuid::createUuid(), QStringLiteral("JPEG"), QUrl(), bytes});
    return item;
}

} // namespace

class TestEngineModels : public QObject {
    Q_OBJECT

  private slots:
    void queueRowsAndRoles() {
        QueueModel queue;
        QAbstractItemModelTester tester(&queue,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&queue, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&queue, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&queue, &QAbstractItemModel::dataChanged);

        MediaItem a = itemWith(ItemStatus::queued(), 1000, {});
        a.url = QUrl::fromLocalFile(QStringLiteral("/media/holiday clip.mov"));
        a.kind = MediaKind::video;
        a.height = 480; // a height alone is no size
        MediaItem b = itemWith(ItemStatus::queued(), 10, {});
        queue.append(a);
        queue.append(b);
        QCOMPARE(inserted.count(), 2);

        const QModelIndex first = queue.index(0);
        QCOMPARE(first.data(QueueModel::FileNameRole).toString(),
                 QStringLiteral("holiday clip.mov"));
        QCOMPARE(first.data(QueueModel::PrimaryOutputBytesRole).toLongLong(), -1);
        QCOMPARE(first.data(QueueModel::DimensionsLabelRole).toString(), QStringLiteral("\u2014"));

        // One changed item: one dataChanged, for its own row only.
        QVERIFY(queue.update(b.id, [](MediaItem& it) {
            it.width = 640;
            it.height = 480;
            it.status = ItemStatus::failed(QStringLiteral("broken"));
            it.outputs.append({QUuid::createUuid(), QStringLiteral("WebP"),
                               QUrl::fromLocalFile(QStringLiteral("/out/b.webp")), 77});
        }));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
        QCOMPARE(changed.first().at(1).toModelIndex().row(), 1);
        QCOMPARE(reset.count(), 0);

        const QModelIndex second = queue.index(1);
        QCOMPARE(second.data(QueueModel::StatusRole).toString(), QStringLiteral("failed"));
        QCOMPARE(second.data(QueueModel::StatusMessageRole).toString(), QStringLiteral("broken"));
        QCOMPARE(second.data(QueueModel::DimensionsLabelRole).toString(),
                 QStringLiteral("640 \u00D7 480"));
        QCOMPARE(second.data(QueueModel::PrimaryOutputBytesRole).toLongLong(), 77);
        const QVariantMap output = second.data(QueueModel::OutputsRole).toList().value(0).toMap();
        QCOMPARE(output.value("label").toString(), QStringLiteral("WebP"));
        QCOMPARE(output.value("path").toString(), QStringLiteral("/out/b.webp"));
        QCOMPARE(output.value("bytes").toLongLong(), 77);

        QVERIFY(!queue.update(QUuid::createUuid(), [](MediaItem& it) { it.width = 1; }));
        QCOMPARE(changed.count(), 1);
    }

    void totals_data() {
        QTest::addColumn<QList<MediaItem>>("items");
        QTest::addColumn<int>("pending");
        QTest::addColumn<qint64>("saved");
        QTest::addColumn<qint64>("source");

        row("first output counts", QList<MediaItem>{itemWith(ItemStatus::done(), 1000, {400, 100})},
            0, qint64(600), qint64(1000));
        row("larger output lowers",
            QList<MediaItem>{itemWith(ItemStatus::done(), 1000, {400}),
                             itemWith(ItemStatus::done(), 1000, {1200})},
            0, qint64(400), qint64(2000));
        row("unknown source size", QList<MediaItem>{itemWith(ItemStatus::done(), 0, {50})}, 0,
            qint64(0), qint64(0));
        row("only done counts",
            QList<MediaItem>{
                itemWith(ItemStatus::failed("x"), 500, {}),
                itemWith(ItemStatus::failed("y"), 500, {}),
                itemWith(ItemStatus::cancelled(), 5, {}), itemWith(ItemStatus::done(), 300, {100}),
                itemWith(ItemStatus::working(), 9, {}), itemWith(ItemStatus::queued(), 9, {})},
            4, qint64(200), qint64(300));
    }

    void totals() {
        QFETCH(QList<MediaItem>, items);
        auto model = makeModel();
        QueueModel* queue = model->queue();
        QSignalSpy totals(model.get(), &AppModel::totalsChanged);
        for (const MediaItem& item : items)
            queue->append(item);
        QCOMPARE(totals.count(), items.size());
        QTEST(model->pendingCount(), "pending");
        QTEST(model->totalSaved(), "saved");
        QTEST(model->totalSource(), "source");
        QCOMPARE(model->itemCount(), items.size());

        const int doneBefore = model->doneCount();
        model->clearFinished();
        QCOMPARE(model->doneCount(), 0);
        QCOMPARE(model->itemCount(), items.size() - doneBefore);
        QTEST(model->pendingCount(), "pending");
    }

    void cropListEditing() {
        CropListModel crops;
        QAbstractItemModelTester tester(&crops,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        crops.setCrops(CropVariant::starters());
        QSignalSpy edited(&crops, &CropListModel::cropsEdited);
        const QModelIndex first = crops.index(0);

        QVERIFY(crops.setData(first, QStringLiteral("Story"), CropListModel::NameRole));
        QVERIFY(crops.setData(first, 1080.0, CropListModel::TargetWidthRole));
        QVERIFY(crops.setData(first, QStringLiteral("bottom"), CropListModel::AnchorRole));
        QVERIFY(crops.setData(first, false, CropListModel::EnabledRole));
        QVERIFY(!crops.setData(first, QStringLiteral("middle"), CropListModel::AnchorRole));
        QVERIFY(!crops.setData(first, 2.5, CropListModel::AspectWRole));
        QVERIFY(!crops.setData(first, QStringLiteral("wide"), CropListModel::AspectHRole));
        QCOMPARE(edited.count(), 4);
        const CropVariant& crop = crops.crops().first();
        QCOMPARE(crop.name, QStringLiteral("Story"));
        QCOMPARE(crop.targetWidth, 1080);
        QCOMPARE(crop.anchor, CropAnchor::bottom);
        QCOMPARE(crop.enabled, false);
        QCOMPARE(crop.aspectW, 9);
        QCOMPARE(first.data(CropListModel::AnchorRole).toString(), QStringLiteral("bottom"));

        crops.addCrop();
        QCOMPARE(crops.rowCount(), 4);
        QCOMPARE(crops.crops().last().name, CropVariant::newCrop().name);

        // Every crop carrying the id goes, however many there are.
        QList<CropVariant> twins = crops.crops();
        twins.append(twins.at(1));
        crops.setCrops(twins);
        crops.removeCrop(twins.at(1).id.toString(QUuid::WithoutBraces));
        QCOMPARE(crops.rowCount(), 3);
        for (const CropVariant& left : crops.crops())
            QVERIFY(left.id != twins.at(1).id);
        crops.removeCrop(QStringLiteral("not an id"));
        QCOMPARE(crops.rowCount(), 3);
    }

    // Every stored key but the crops is a QML property whose write lands in that key and
    // signals once.
    void everySettingIsAProperty() {
        SettingsModel model{TersioSettings{}};
        const QJsonObject before = model.settings().toJson();
        QCOMPARE(before.size(), TersioSettings::keyCount);
        for (auto it = before.begin(); it != before.end(); ++it) {
            const QString key = it.key();
            if (key == QLatin1String("cropVariants"))
                continue;
            const QMetaObject* meta = model.metaObject();
            const QMetaProperty property = meta->property(meta->indexOfProperty(qPrintable(key)));
            QVERIFY2(property.isValid() && property.hasNotifySignal(), qPrintable(key));
            QVariant changed;
            const QVariantList choices = SettingsModel::choices(key);
            if (!choices.isEmpty())
                changed = choices.last().toMap().value(QStringLiteral("value"));
            else if (it->isBool())
                changed = !it->toBool();
            else if (it->isString())
                changed = it->toString() + QStringLiteral("x");
            else
                changed = it->toDouble() + 3;
            QSignalSpy notify(&model, property.notifySignal());
            QVERIFY2(property.write(&model, changed), qPrintable(key));
            QCOMPARE(notify.count(), 1);
            QCOMPARE(model.settings().toJson().value(key).toVariant(), changed);
        }
    }

    void toolsTabAndHelpers() {
        auto model = makeModel();
        QCOMPARE(model->toolNote(), QStringLiteral("Looking for FFmpeg\u2026"));
        QCOMPARE(model->tab(), QStringLiteral("media"));
        QSignalSpy tab(model.get(), &AppModel::tabChanged);
        model->setTab(QStringLiteral("crops"));
        model->setTab(QStringLiteral("nowhere"));
        QCOMPARE(model->tab(), QStringLiteral("crops"));
        QCOMPARE(tab.count(), 1);

        QSignalSpy tools(model.get(), &AppModel::toolsChanged);
        model->setTools(realTools(), debianCaps());
        QVERIFY(model->hasTools());
        QCOMPARE(model->ffmpegPath(), QStringLiteral("/usr/bin/ffmpeg"));
        QCOMPARE(model->toolNote(), QStringLiteral("/usr/bin/ffmpeg"));
        QVERIFY(model->caps().has("libx264"));
        QVERIFY(model->encoders().contains(QStringLiteral("libvpx-vp9")));
        model->setTools(std::nullopt, debianCaps());
        QCOMPARE(tools.count(), 2);
        QVERIFY(!model->hasTools());
        QVERIFY(model->encoders().isEmpty());
        QCOMPARE(
            model->toolNote(),
            QStringLiteral("FFmpeg not found. Install it with apt, or point the app at a copy."));
    }

    void customFFmpegIsStoredThenSearched() {
        QTemporaryDir dir;
        const QString fake = TestSupport::writeScript(dir.filePath("ffmpeg"), "exit 0\n");
        auto model = makeModel();
        QSignalSpy refreshed(model.get(), &AppModel::toolsRefreshed);
        model->setCustomFFmpeg(QUrl::fromLocalFile(fake));
        QCOMPARE(Preferences::storedFFmpegPath(), fake);
        QVERIFY(refreshed.wait(30000));
        QVERIFY(model->toolNote() != QStringLiteral("Looking for FFmpeg\u2026"));
    }
};

QTEST_GUILESS_MAIN(TestEngineModels)
#include "test_engine_models.moc"
