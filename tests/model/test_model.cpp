#include "TestSupport.h"
#include "model/ByteCount.h"
#include "model/Preferences.h"
#include "model/TersioSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::row;

// Settings as stored (strict, all-or-nothing) and byte counts as shown.
class TestModel : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<QSettings> store() {
        return std::make_unique<QSettings>(dir.filePath("prefs.conf"), QSettings::IniFormat);
    }
    TersioSettings loadBytes(const QByteArray& bytes) {
        auto s = store();
        s->setValue(Preferences::settingsKey, bytes);
        return TersioSettings::load(*s);
    }
    // The default document with `key` (a crop's as "cropVariants/1/id") set, or removed when
    // `value` is undefined.
    static QByteArray withKey(const QString& key, const QJsonValue& value) {
        QJsonObject o = TersioSettings{}.toJson();
        o["imageFormat"] = "png"; // so that a partial read would show
        const QStringList parts = key.split('/');
        const auto set = [&](QJsonObject& object, const QString& name) {
            value.isUndefined() ? object.remove(name) : void(object[name] = value);
        };
        if (parts.size() == 3) {
            QJsonArray crops = o["cropVariants"].toArray();
            QJsonObject crop = crops[parts[1].toInt()].toObject();
            set(crop, parts[2]);
            crops[parts[1].toInt()] = crop;
            o["cropVariants"] = crops;
        } else {
            set(o, key);
        }
        return QJsonDocument(o).toJson();
    }

  private slots:
    void byteCounts() {
        for (const auto& [bytes, text] : {std::pair(qint64(0), "Zero KB"),
                                          {12, "1 KB"},
                                          {640500, "641 KB"},
                                          {999600, "1 MB"},
                                          {1500000, "1.5 MB"},
                                          {1234567890, "1.23 GB"},
                                          {5000000000000, "5000 GB"},
                                          {-200000, "-200 KB"}})
            QCOMPARE(ByteCount::text(bytes), QLatin1String(text));
    }

    void cropsAndRawValues() {
        const TersioSettings a;
        QCOMPARE(a.cropVariants, TersioSettings{}.cropVariants); // starters keep their ids
        auto some = a;
        some.cropVariants[0].enabled = false;
        QCOMPARE(some.activeCrops(), a.activeCrops().mid(1));
        QVERIFY(!Options::fromRaw<ImageFormat>("MatchSource"));
        QVERIFY(!Options::fromRaw<CropAnchor>("centre"));
    }

    void roundTripsThroughTheStore() {
        TersioSettings s;
        s.imageFormat = ImageFormat::avif;
        s.imageQuality = 55.5;
        s.speed = SpeedPreset::slow;
        s.maxConcurrent = 0;
        s.imageMaxWidth = -4;
        s.customFolderPath = "/tmp/out ünï";
        s.cropVariants.append(CropVariant::newCrop());
        s.cropVariants[0].enabled = false;
        s.save(*store());
        auto loaded = store();
        QCOMPARE(loaded->value(Preferences::settingsKey).typeId(), QMetaType::QByteArray);
        QCOMPARE(TersioSettings::load(*loaded), s);
        QCOMPARE(TersioSettings::load(QSettings(dir.filePath("none.conf"), QSettings::IniFormat)),
                 TersioSettings{});
    }

    void anyBadKeyFallsBackToTheDefaults_data() {
        QTest::addColumn<QByteArray>("bytes");
        row("missing key", withKey("overwriteExisting", QJsonValue::Undefined));
        row("null", withKey("makeH264", QJsonValue::Null));
        row("unknown speed", withKey("speed", "fast"));
        row("fractional int", withKey("imageMaxWidth", 2400.5));
        row("bool as string", withKey("stripMetadata", "true"));
        row("number as string", withKey("imageQuality", "80"));
        row("anchor as label", withKey("cropVariants/0/anchor", "Centre"));
        row("bad uuid", withKey("cropVariants/1/id", "not-a-uuid"));
        row("crop missing key", withKey("cropVariants/2/enabled", QJsonValue::Undefined));
        row("truncated", withKey("speed", "slow").left(40));
        row("not json", QByteArray("imageFormat=jpeg"));
    }
    void anyBadKeyFallsBackToTheDefaults() {
        QFETCH(QByteArray, bytes);
        QCOMPARE(loadBytes(bytes), TersioSettings{});
    }

    // Number spellings the JSON reader lets through, written into the raw text.
    void numbersOutsideJsonFallBack_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("loads");
        row("leading dot", "imageQuality", ".5", false);
        row("below 64 bits", "imageMaxWidth", "-9223372036854775809", false);
        row("64-bit minimum", "imageMaxWidth", "-9223372036854775808", true);
    }
    void numbersOutsideJsonFallBack() {
        QFETCH(QString, key);
        QFETCH(QString, token);
        QFETCH(bool, loads);
        QString text = QString::fromUtf8(withKey("imageQuality", 70));
        text.replace(QRegularExpression("\"" + key + "\": *[^,\n}]*"), "\"" + key + "\":" + token);
        QVERIFY(text.contains(token));
        QCOMPARE(loadBytes(text.toUtf8()).imageFormat,
                 loads ? ImageFormat::png : TersioSettings{}.imageFormat);
    }

    void lenientWhereTheFormatAllows() {
        QJsonObject o = TersioSettings{}.toJson();
        o["imageMaxWidth"] = 3000.0;
        o["somethingElse"] = "ignored";
        o["cropVariants"] = QJsonArray{};
        const auto s = loadBytes(QJsonDocument(o).toJson());
        QCOMPARE(s.imageMaxWidth, 3000);
        QVERIFY(s.cropVariants.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "test_model.moc"
