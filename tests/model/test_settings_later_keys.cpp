// Keys added to the stored document after its first version: older documents still load.
#include "model/TersioSettings.h"

#include <QJsonDocument>
#include <QTest>

namespace {

QByteArray bytesWith(const std::function<void(QJsonObject&)>& change) {
    TersioSettings changed;
    changed.imageQuality = 55;
    changed.imageQualityAuto = true;
    changed.imageQualityTarget = QualityTarget::small;
    changed.measureVideoQuality = true;
    QJsonObject object = changed.toJson();
    change(object);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class TestSettingsLaterKeys : public QObject {
    Q_OBJECT

  private slots:
    void documentsWithoutTheLaterKeysLoad() {
        const auto old = TersioSettings::fromJsonBytes(bytesWith([](QJsonObject& o) {
            for (const char* key :
                 {"imageQualityAuto", "imageQualityTarget", "measureVideoQuality"})
                o.remove(QLatin1String(key));
        }));
        QVERIFY(old);
        QCOMPARE(old->imageQuality, 55.0); // the keys it has are read
        QCOMPARE(old->imageQualityAuto, false);
        QCOMPARE(old->imageQualityTarget, QualityTarget::close);
        QCOMPARE(old->measureVideoQuality, false);
        QCOMPARE(TersioSettings::keyCount - TersioSettings::laterKeyCount, 22);

        // A later version's key is ignored, as any unknown key.
        const auto full = TersioSettings::fromJsonBytes(
            bytesWith([](QJsonObject& o) { o["imageQualityMode"] = 1; }));
        QVERIFY(full && full->imageQualityAuto);
        QCOMPARE(full->imageQualityTarget, QualityTarget::small);
    }

    void otherFaultsStillFail_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("first key missing") << bytesWith([](QJsonObject& o) { o.remove("speed"); });
        QTest::newRow("later key mistyped")
            << bytesWith([](QJsonObject& o) { o["measureVideoQuality"] = "yes"; });
        QTest::newRow("later key null")
            << bytesWith([](QJsonObject& o) { o["imageQualityAuto"] = QJsonValue::Null; });
        QTest::newRow("unknown target")
            << bytesWith([](QJsonObject& o) { o["imageQualityTarget"] = "Close"; });
    }
    void otherFaultsStillFail() {
        QFETCH(QByteArray, bytes);
        QVERIFY(!TersioSettings::fromJsonBytes(bytes));
    }
};

QTEST_GUILESS_MAIN(TestSettingsLaterKeys)
#include "test_settings_later_keys.moc"
