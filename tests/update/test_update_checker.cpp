#include "ManifestServer.h"
#include "TestSupport.h"
#include "update/UpdateChecker.h"

#include <QDesktopServices>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using TestSupport::row;

Q_DECLARE_METATYPE(std::optional<UpdateAlert>)

namespace {

QByteArray manifestJson(const QByteArray& version, const QByteArray& notes) {
    return "{\"version\":\"" + version +
           "\",\"downloadUrl\":\"https://updates.veltrane.app/tersio/Tersio-" + version +
           ".tar.gz\",\"notes\":\"" + notes + "\"}";
}

// A valid, newer manifest of exactly `size` bytes.
QByteArray paddedManifest(qsizetype size) {
    const qsizetype padding = size - manifestJson("9.0", {}).size();
    return manifestJson("9.0", QByteArray(padding, 'x'));
}

UpdateAlert updateFor(const QByteArray& body) {
    return UpdateAlert::update(*VersionManifest::decode(body));
}

std::optional<UpdateAlert> alertFrom(const QList<QVariant>& arguments) {
    return UpdateAlert{arguments.at(0).toString(), arguments.at(1).toString(),
                       arguments.at(2).toString(), arguments.at(3).toStringList(),
                       arguments.at(4).toString()};
}

} // namespace

char* toString(const std::optional<UpdateAlert>& alert) {
    if (!alert)
        return qstrdup("no alert");
    return QTest::toString(alert->kind + " / " + alert->title + " / " +
                           alert->informativeText.left(80) + " / " + alert->buttons.join('|') +
                           " / " + alert->downloadUrl);
}

// Stands in for the browser: records what would have been opened.
class UrlRecorder : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class TestUpdateChecker : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QSslCertificate certificate_;
    std::unique_ptr<ManifestServer> secure_;
    std::unique_ptr<ManifestServer> plain_;

    UpdateChecker::Endpoint trusting(const QUrl& url) const {
        UpdateChecker::Endpoint endpoint;
        endpoint.manifestUrl = url;
        endpoint.runningVersion = QStringLiteral("1.4.2");
        endpoint.ssl.setCaCertificates({certificate_});
        return endpoint;
    }

    // Runs checks to their end and returns every alert they raised, in order.
    static QList<std::optional<UpdateAlert>> run(UpdateChecker& checker,
                                                 const QList<bool>& userInitiated) {
        QSignalSpy alerts(&checker, &UpdateChecker::alertRequested);
        QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
        for (bool user : userInitiated)
            checker.checkForUpdates(user);
        const bool returnedAtOnce = finished.isEmpty();
        while (finished.size() < userInitiated.size() && finished.wait(20000)) {
        }
        QList<std::optional<UpdateAlert>> result;
        if (!returnedAtOnce || finished.size() != userInitiated.size())
            return {std::nullopt, std::nullopt, std::nullopt}; // never what a test expects
        for (const auto& arguments : alerts)
            result.append(alertFrom(arguments));
        return result;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        const QString cert = dir_.filePath("cert.pem");
        const QString key = dir_.filePath("key.pem");
        QString error;
        QVERIFY2(TestSupport::runTool("openssl",
                                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                       key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1",
                                       "-addext", "subjectAltName=IP:127.0.0.1"},
                                      &error),
                 qPrintable(error));
        QFile certFile(cert), keyFile(key);
        QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
        certificate_ = QSslCertificate(&certFile, QSsl::Pem);
        const QSslKey privateKey(&keyFile, QSsl::Rsa, QSsl::Pem);
        QVERIFY(!certificate_.isNull() && !privateKey.isNull());

        secure_ = std::make_unique<ManifestServer>(certificate_, privateKey);
        plain_ = std::make_unique<ManifestServer>();
        QVERIFY(secure_->start() && plain_->start());

        const QByteArray newer = manifestJson("1.10.0", "Faster WebP.");
        plain_->route("/version.json", 200, newer);
        secure_->route("/version.json", 200, newer);
        secure_->route("/same.json", 200, manifestJson("1.4.2", "Nothing new."));
        secure_->route("/manifest-404.json", 404, newer);
        secure_->route("/manifest-500.json", 500, newer);
        secure_->route("/page.html", 404, "<!DOCTYPE html><html><body>Not Found</body></html>");
        secure_->route("/to-http.json", 302, {}, plain_->url("/version.json").toEncoded());
        secure_->route("/to-https.json", 301, {}, secure_->url("/version.json").toEncoded());
        secure_->route("/64k.json", 200, paddedManifest(65536));
        secure_->route("/over-64k.json", 200, paddedManifest(65537));
        secure_->route("/over-64k-unsized.json", 200, paddedManifest(200000), {},
                       ManifestServer::Framing::untilClose);
        // Only stopping early ends this one before the transfer time-out.
        secure_->route("/over-64k-endless.json", 200, QByteArray(100000, ' '), {},
                       ManifestServer::Framing::endless);
    }

    void check_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<std::optional<UpdateAlert>>("alert");

        const auto update = std::optional(updateFor(manifestJson("1.10.0", "Faster WebP.")));
        const auto error = std::optional(UpdateAlert::error());

        row("newer, asked", QByteArray("/version.json"), true, update);
        row("same, asked", QByteArray("/same.json"), true, std::optional(UpdateAlert::upToDate()));
        row("manifest under 404", QByteArray("/manifest-404.json"), true, update);
        row("manifest under 500", QByteArray("/manifest-500.json"), false, update);
        row("404 page, asked", QByteArray("/page.html"), true, error);
        row("redirect to http, asked", QByteArray("/to-http.json"), true, error);
        row("redirect within https", QByteArray("/to-https.json"), false, update);
        row("exactly 64 KiB", QByteArray("/64k.json"), true,
            std::optional(updateFor(paddedManifest(65536))));
        row("over 64 KiB", QByteArray("/over-64k.json"), true, error);
        row("over 64 KiB, no length", QByteArray("/over-64k-unsized.json"), true, error);
        row("over 64 KiB, endless", QByteArray("/over-64k-endless.json"), true, error);
    }

    void check() {
        QFETCH(QByteArray, path);
        QFETCH(bool, userInitiated);
        QFETCH(std::optional<UpdateAlert>, alert);

        const int plainRequests = plain_->requests();
        UpdateChecker checker(trusting(secure_->url(path)));
        const auto alerts = run(checker, {userInitiated});
        QCOMPARE(alerts.size(), alert ? 1 : 0);
        if (alert)
            QCOMPARE(alerts.first(), alert);
        QCOMPARE(plain_->requests(), plainRequests);
    }

    void refusesUnsafeTransport_data() {
        QTest::addColumn<bool>("trustCertificate");
        QTest::addColumn<bool>("plainAddress");
        QTest::addColumn<bool>("userInitiated");

        row("untrusted certificate, asked", false, false, true);
        row("untrusted certificate, at launch", false, false, false);
        row("http address, asked", true, true, true);
        row("http address, at launch", true, true, false);
    }

    void refusesUnsafeTransport() {
        QFETCH(bool, trustCertificate);
        QFETCH(bool, plainAddress);
        QFETCH(bool, userInitiated);

        auto endpoint =
            trusting(plainAddress ? plain_->url("/version.json") : secure_->url("/version.json"));
        if (!trustCertificate)
            endpoint.ssl = QSslConfiguration::defaultConfiguration();
        const int plainRequests = plain_->requests();
        UpdateChecker checker(endpoint);
        const auto alerts = run(checker, {userInitiated});
        const auto expected = userInitiated ? QList{std::optional(UpdateAlert::error())}
                                            : QList<std::optional<UpdateAlert>>{};
        QCOMPARE(alerts, expected);
        QCOMPARE(plain_->requests(), plainRequests);
    }

    void overlappingChecksEachAnswer() {
        UpdateChecker newer(trusting(secure_->url("/version.json")));
        const auto update = std::optional(updateFor(manifestJson("1.10.0", "Faster WebP.")));
        QCOMPARE(run(newer, {false, true}), (QList{update, update}));

        UpdateChecker broken(trusting(secure_->url("/page.html")));
        QCOMPARE(run(broken, {false, true, false}), QList{std::optional(UpdateAlert::error())});
    }

    void opensOnlyHttpsDownloads_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opens");

        row("https", "https://updates.veltrane.app/tersio/Tersio-1.5.tar.gz", true);
        row("upper-case scheme", "HTTPS://updates.veltrane.app/tersio/", true);
        row("http", "http://updates.veltrane.app/tersio/", false);
        row("file", "file:///etc/passwd", false);
        row("script", "javascript:alert(1)", false);
        row("no host", "https:version.json", false);
        row("scheme-relative", "//updates.veltrane.app/tersio/", false);
        row("garbage", "not an address at all", false);
        row("empty", "", false);
    }

    void opensOnlyHttpsDownloads() {
        QFETCH(QString, address);
        QFETCH(bool, opens);

        UrlRecorder browser;
        const QStringList schemes{"https", "http", "file", "javascript", ""};
        for (const auto& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, &browser, "open");
        UpdateChecker checker;
        const bool opened = checker.openDownload(address);
        for (const auto& scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);

        QCOMPARE(opened, opens);
        QCOMPARE(browser.opened, opens ? QList{QUrl(address)} : QList<QUrl>{});
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "test_update_checker.moc"
