#include "model/Preferences.h"
#include "model/TersioSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<QSettings> store() {
        return std::make_unique<QSettings>(dir.filePath(QStringLiteral("prefs.conf")),
                                           QSettings::IniFormat);
    }
    static QByteArray bytesWith(const std::function<void(QJsonObject&)>& change) {
        QJsonObject object = TersioSettings{}.toJson();
        change(object);
        return QJsonDocument(object).toJson();
    }
    TersioSettings loadBytes(const QByteArray& bytes) {
        auto s = store();
        s->setValue(Preferences::settingsKey, bytes);
        return TersioSettings::load(*s);
    }
    static TersioSettings changed() {
        TersioSettings s;
        s.imageFormat = ImageFormat::avif;
        s.imageQuality = 55.5;
        s.speed = SpeedPreset::slow;
        s.audio = AudioMode::mono;
        s.maxConcurrent = 0;
        s.imageMaxWidth = -4;
        s.customFolderPath = QStringLiteral("/tmp/out ünï");
        s.cropVariants.append(CropVariant::newCrop());
        s.cropVariants[0].enabled = false;
        return s;
    }

  private slots:
    void startersKeepTheirIdsAndActiveCropsFollowEnabled() {
        const TersioSettings a, b;
        QCOMPARE(a.cropVariants, b.cropVariants);
        const auto active = a.activeCrops();
        QCOMPARE(active.size(), 2);
        QCOMPARE(active[0].name, QStringLiteral("Phone portrait"));
        QCOMPARE(active[1].name, QStringLiteral("Square"));
        TersioSettings none;
        for (auto& c : none.cropVariants)
            c.enabled = false;
        QVERIFY(none.activeCrops().isEmpty());

        const auto added = CropVariant::newCrop();
        QVERIFY(added.id != a.cropVariants[0].id);
        QCOMPARE(added.ratioText(), QStringLiteral("3x4"));
        auto twin = a.cropVariants[0];
        twin.id = QUuid::createUuid();
        QVERIFY(!(twin == a.cropVariants[0]));
    }

    void rawValuesAreExactAndOrdered() {
        QCOMPARE(Options::fromRaw<ImageFormat>(QStringLiteral("matchSource")),
                 ImageFormat::matchSource);
        QVERIFY(!Options::fromRaw<ImageFormat>(QStringLiteral("MatchSource")));
        QVERIFY(!Options::fromRaw<ImageFormat>(QStringLiteral("match_source")));
        QVERIFY(!Options::fromRaw<CropAnchor>(QStringLiteral("centre")));
        QCOMPARE(Options::allLabels<SpeedPreset>(),
                 (QStringList{"Fastest", "Fast", "Balanced", "Smallest files"}));
        QCOMPARE(Options::allRawValues<InspectorTab>(),
                 (QStringList{"media", "image", "video", "crops", "output"}));
        QCOMPARE(Options::label(InspectorTab::crops), QStringLiteral("Mobile crops"));
        QCOMPARE(Options::label(CropAnchor::center), QStringLiteral("Centre"));
        QCOMPARE(Options::label(OutputMode::customFolder), QStringLiteral("Chosen folder"));
        QCOMPARE(Options::allCases<AudioMode>().back(), AudioMode::remove);
    }

    void roundTripsThroughTheStore() {
        const auto original = changed();
        {
            auto s = store();
            original.save(*s);
        }
        auto s = store();
        QCOMPARE(s->value(Preferences::settingsKey).typeId(), QMetaType::QByteArray);
        QCOMPARE(TersioSettings::load(*s), original);
        QVERIFY(TersioSettings::load(*s) != TersioSettings{});
    }

    void anyBadKeyFallsBackToTheWholeDefaultRecord_data() {
        QTest::addColumn<QByteArray>("bytes");
        auto with = [](auto change) { return bytesWith(change); };
        QTest::newRow("missing key") << with([](QJsonObject& o) { o.remove("overwriteExisting"); });
        QTest::newRow("null") << with([](QJsonObject& o) { o["makeH264"] = QJsonValue::Null; });
        QTest::newRow("unknown speed") << with([](QJsonObject& o) { o["speed"] = "fast"; });
        QTest::newRow("fractional int")
            << with([](QJsonObject& o) { o["imageMaxWidth"] = 2400.5; });
        QTest::newRow("int too large") << with([](QJsonObject& o) { o["audioKbps"] = 1e30; });
        QTest::newRow("bool as string")
            << with([](QJsonObject& o) { o["stripMetadata"] = "true"; });
        QTest::newRow("number as string") << with([](QJsonObject& o) { o["imageQuality"] = "80"; });
        QTest::newRow("crops not array")
            << with([](QJsonObject& o) { o["cropVariants"] = QJsonObject{}; });
        QTest::newRow("anchor as label") << with([](QJsonObject& o) {
            auto crops = o["cropVariants"].toArray();
            auto c = crops[0].toObject();
            c["anchor"] = "Centre";
            crops[0] = c;
            o["cropVariants"] = crops;
        });
        QTest::newRow("bad uuid") << with([](QJsonObject& o) {
            auto crops = o["cropVariants"].toArray();
            auto c = crops[1].toObject();
            c["id"] = "not-a-uuid";
            crops[1] = c;
            o["cropVariants"] = crops;
        });
        QTest::newRow("crop missing key") << with([](QJsonObject& o) {
            auto crops = o["cropVariants"].toArray();
            auto c = crops[2].toObject();
            c.remove("enabled");
            crops[2] = c;
            o["cropVariants"] = crops;
        });
        QTest::newRow("truncated") << changed().toJsonBytes().left(40);
        QTest::newRow("not json") << QByteArray("imageFormat=jpeg");
        QTest::newRow("array") << QByteArray("[1,2,3]");
        QTest::newRow("empty") << QByteArray();
    }

    void anyBadKeyFallsBackToTheWholeDefaultRecord() {
        QFETCH(QByteArray, bytes);
        // Start from a non-default document so a partial read would be visible.
        auto object = QJsonDocument::fromJson(bytes).object();
        if (!object.isEmpty())
            object["imageFormat"] = "png";
        const QByteArray stored = object.isEmpty() ? bytes : QJsonDocument(object).toJson();
        QCOMPARE(loadBytes(stored), TersioSettings{});
    }

    // Number spellings the JSON reader lets through, written into the raw text.
    void numbersOutsideJsonFallBack_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("loads");
        QTest::newRow("leading dot") << "imageQuality"
                                     << ".5" << false;
        QTest::newRow("trailing dot") << "imageQuality"
                                      << "80." << false;
        QTest::newRow("below 64 bits") << "imageMaxWidth"
                                       << "-9223372036854775809" << false;
        QTest::newRow("above 64 bits") << "videoMaxWidth"
                                       << "9223372036854775808" << false;
        QTest::newRow("64-bit minimum") << "imageMaxWidth"
                                        << "-9223372036854775808" << true;
        QTest::newRow("exponent") << "imageQuality"
                                  << "7.5e1" << true;
    }

    void numbersOutsideJsonFallBack() {
        QFETCH(QString, key);
        QFETCH(QString, token);
        QFETCH(bool, loads);
        TersioSettings png;
        png.imageFormat = ImageFormat::png;
        QString text = QString::fromUtf8(png.toJsonBytes());
        text.replace(QRegularExpression("\"" + key + "\":[^,}]*"), "\"" + key + "\":" + token);
        QVERIFY(text.contains(token));
        const TersioSettings loaded = loadBytes(text.toUtf8());
        QCOMPARE(loaded.imageFormat, loads ? ImageFormat::png : TersioSettings{}.imageFormat);
    }

    void lenientWhereTheFormatAllows() {
        auto s = loadBytes(bytesWith([](QJsonObject& o) {
            o["imageQuality"] = 80;
            o["imageMaxWidth"] = 3000.0;
            o["cropVariants"] = QJsonArray{};
            o["maxConcurrent"] = -3;
        }));
        QCOMPARE(s.imageQuality, 80.0);
        QCOMPARE(s.imageMaxWidth, 3000);
        QVERIFY(s.cropVariants.isEmpty());
        QCOMPARE(s.maxConcurrent, -3);
    }

    void cropIdsAreTheStandardText() {
        const auto json = CropJson::toJson(CropVariant::starters()[0]);
        const QString id = json["id"].toString();
        QCOMPARE(id.size(), 36);
        QVERIFY(!id.contains('{'));
        QCOMPARE(CropJson::fromJson(json)->id, CropVariant::starters()[0].id);
    }

    void nothingStoredGivesDefaults() {
        QSettings empty(dir.filePath(QStringLiteral("empty.conf")), QSettings::IniFormat);
        QCOMPARE(TersioSettings::load(empty), TersioSettings{});
    }

    void defaultStoreLivesUnderTheConfigHome() {
        // CTest points XDG_CONFIG_HOME at a scratch folder; the real user's store is never touched.
        const auto path = Preferences::openStore()->fileName();
        QVERIFY2(path.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")), qPrintable(path));
        QVERIFY(path.endsWith(QStringLiteral("Veltrane/Tersio.conf")));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
