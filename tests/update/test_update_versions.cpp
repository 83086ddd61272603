#include "update/UpdateChecker.h"

#include <QtTest>

#include "TestSupport.h"
#include <optional>

using TestSupport::row;

Q_DECLARE_METATYPE(std::optional<VersionManifest>)
Q_DECLARE_METATYPE(std::optional<UpdateAlert>)

char* toString(const UpdateAlert& alert) {
    return QTest::toString(QStringList{alert.kind, alert.title, alert.informativeText,
                                       alert.buttons.join(QLatin1Char('|')), alert.downloadUrl}
                               .join(QLatin1String(" / ")));
}

char* toString(const std::optional<UpdateAlert>& alert) {
    return alert ? toString(*alert) : qstrdup("no alert");
}

char* toString(const std::optional<VersionManifest>& manifest) {
    return manifest ? QTest::toString(manifest->version + " / " + manifest->downloadUrl + " / " +
                                      manifest->notes)
                    : qstrdup("unreadable");
}

class TestUpdateVersions : public QObject {
    Q_OBJECT
  private slots:
    void isNewer_data() {
        QTest::addColumn<QString>("published");
        QTest::addColumn<QString>("running");
        QTest::addColumn<bool>("newer");
        row("numeric, not textual", "1.10", "1.9", true);
        row("older", "1.9", "1.10", false);
        row("equal", "1.4.2", "1.4.2", false);
        row("leading zero", "010", "9", true);
        row("missing place is 0", "2.0", "2", false);
        row("extra positive place", "2.0.1", "2", true);
        row("suffix piece dropped", "1.2.3-beta", "1.2", false);
        row("dropped piece moves the rest up", "1.2.beta.3", "1.2.2", true);
        row("running without version", "0.0.1", "0", true);
        row("empty piece skipped", "1..2", "1.2", false);
        row("leading and trailing dots", ".1.2.", "1.2", false);
        row("plus sign", "+1.0", "1", false);
        row("minus sign below zero", "-1", "0", false);
        row("bare sign dropped", "1.+", "1", false);
        row("20 digits dropped", "1.99999999999999999999", "1.5", false);
        row("20 digits dropped, rest moves up", "1.99999999999999999999.6", "1.5", true);
        row("largest 64-bit piece", "9223372036854775807", "9223372036854775806", true);
        row("one past 64 bits dropped", "9223372036854775808", "1", false);
        row("words only", "alpha", "0", false);
        row("blank inside piece", "1. 2", "1.1", false);
        row("non-ASCII digits", "1.\u0662", "1.1", false);
        row("empty published", "", "0", false);
        row("empty running", "0.1", "", true);
    }

    void isNewer() {
        QFETCH(QString, published);
        QFETCH(QString, running);
        QFETCH(bool, newer);
        QCOMPARE(UpdateChecker::isNewer(published, running), newer);
    }

    void decodesManifest_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<std::optional<VersionManifest>>("manifest");

        const VersionManifest full{"1.4.2", "https://updates.veltrane.app/tersio/1.4.2", "Notes"};
        row("all three",
            QByteArray("{\"version\":\"1.4.2\",\"downloadUrl\":\"https://updates.veltrane.app/"
                       "tersio/1.4.2\",\"notes\":\"Notes\"}"),
            std::optional(full));
        row("extra keys ignored",
            QByteArray("{\"notes\":\"Notes\",\"build\":7,\"extra\":null,\"version\":\"1.4.2\","
                       "\"downloadUrl\":\"https://updates.veltrane.app/tersio/1.4.2\"}"),
            std::optional(full));
        row("empty strings", QByteArray("{\"version\":\"\",\"downloadUrl\":\"\",\"notes\":\"\"}"),
            std::optional(VersionManifest{}));

        const std::optional<VersionManifest> unreadable;
        row("missing notes",
            QByteArray("{\"version\":\"1.4.2\",\"downloadUrl\":\"https://x.example/\"}"),
            unreadable);
        row("null url", QByteArray("{\"version\":\"1.4.2\",\"downloadUrl\":null,\"notes\":\"\"}"),
            unreadable);
        row("number version",
            QByteArray("{\"version\":2,\"downloadUrl\":\"https://x.example/\",\"notes\":\"\"}"),
            unreadable);
        row("object notes",
            QByteArray("{\"version\":\"2\",\"downloadUrl\":\"https://x.example/\",\"notes\":{}}"),
            unreadable);
        row("array", QByteArray("[{\"version\":\"2\"}]"), unreadable);
        row("string", QByteArray("\"2.0\""), unreadable);
        row("empty body", QByteArray(), unreadable);
        row("web page", QByteArray("<html><body>Not Found</body></html>"), unreadable);
        row("trailing garbage",
            QByteArray("{\"version\":\"1\",\"downloadUrl\":\"\",\"notes\":\"\"} trailing"),
            unreadable);
    }

    void decodesManifest() {
        QFETCH(QByteArray, body);
        QFETCH(std::optional<VersionManifest>, manifest);
        QCOMPARE(VersionManifest::decode(body), manifest);
    }

    void decidesAlert_data() {
        QTest::addColumn<std::optional<VersionManifest>>("remote");
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<std::optional<UpdateAlert>>("alert");

        const VersionManifest newer{"1.5", "https://updates.veltrane.app/tersio/1.5", "Faster."};
        const UpdateAlert update{"update",
                                 "Update Available",
                                 "Version 1.5 is available.\n\nFaster.",
                                 {"Download", "Later"},
                                 "https://updates.veltrane.app/tersio/1.5"};
        const UpdateAlert upToDate{"upToDate",
                                   "You're up to date",
                                   "Tersio is already at the latest version.",
                                   {"OK"},
                                   {}};
        const UpdateAlert error{"error",
                                "Update Check Failed",
                                "Could not connect to the update server. Please try again later.",
                                {"OK"},
                                {}};
        const std::optional<UpdateAlert> silence;

        row("newer, asked", std::optional(newer), true, std::optional(update));
        row("newer, at launch", std::optional(newer), false, std::optional(update));
        row("same, asked", std::optional(VersionManifest{"1.4.0", "", "x"}), true,
            std::optional(upToDate));
        row("same, at launch", std::optional(VersionManifest{"1.4.0", "", "x"}), false, silence);
        row("no numbers, asked", std::optional(VersionManifest{"beta", "", ""}), true,
            std::optional(upToDate));
        row("unreadable, asked", std::optional<VersionManifest>(), true, std::optional(error));
        row("unreadable, at launch", std::optional<VersionManifest>(), false, silence);

        auto noNotes = update;
        noNotes.informativeText = "Version 1.5 is available.\n\n";
        row("empty notes keep both line breaks",
            std::optional(VersionManifest{newer.version, newer.downloadUrl, ""}), false,
            std::optional(noNotes));
    }

    void decidesAlert() {
        QFETCH(std::optional<VersionManifest>, remote);
        QFETCH(bool, userInitiated);
        QFETCH(std::optional<UpdateAlert>, alert);
        QCOMPARE(UpdateChecker::alertFor(remote, "1.4", userInitiated), alert);
    }

    void manifestAddressIsFixedHttps() {
        const QUrl url = UpdateChecker::defaultManifestUrl();
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QCOMPARE(url.path(), QStringLiteral("/version.json"));
        QVERIFY(!url.hasQuery());
        QVERIFY(!UpdateChecker::applicationVersion().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestUpdateVersions)
#include "test_update_versions.moc"
