#include "TestSupport.h"
#include "update/UpdateChecker.h"

#include <QDesktopServices>
#include <QSignalSpy>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::row;
using Alert = std::optional<UpdateAlert>;

namespace {

QByteArray manifest(const QByteArray& version, const QByteArray& notes = "Faster WebP.") {
    return "{\"version\":\"" + version + "\",\"downloadUrl\":\"https://updates.veltrane.app/" +
           version + "\",\"notes\":\"" + notes + "\"}";
}

// A valid, newer manifest of exactly `size` bytes.
QByteArray padded(qsizetype size) {
    return manifest("9.0", QByteArray(size - manifest("9.0", {}).size(), 'x'));
}

Alert updateFor(const QByteArray& body) {
    return UpdateAlert::update(*VersionManifest::decode(body));
}

// One request a connection on 127.0.0.1 (TLS with a certificate); a body ends as framed.
class ManifestServer : public QTcpServer {
  public:
    enum Framing { sized, untilClose, endless }; // a length, the close, or never
    struct Response {
        int status = 404;
        QByteArray body, location;
        Framing framing = sized;
    };
    QHash<QByteArray, Response> routes;
    int requests = 0;

    explicit ManifestServer(QSslCertificate certificate = QSslCertificate(), QSslKey key = {})
        : certificate_(certificate), key_(key) {
        listen(QHostAddress::LocalHost);
    }
    QUrl url(const QByteArray& path) const {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                        .arg(certificate_.isNull() ? "http" : "https")
                        .arg(serverPort())
                        .arg(QString::fromLatin1(path)));
    }

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QIODevice::readyRead, socket, [this, socket, request] {
            if (!request->append(socket->readAll()).contains("\r\n\r\n"))
                return;
            ++requests;
            const Response r = routes.value(request->split(' ').value(1));
            QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) +
                              " Answer\r\nContent-Type: application/json\r\nConnection: close\r\n";
            if (r.framing == sized)
                head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
            if (!r.location.isEmpty())
                head += "Location: " + r.location + "\r\n";
            socket->write(head + "\r\n" + r.body);
            if (r.framing != endless)
                socket->disconnectFromHost();
        });
        if (!certificate_.isNull()) {
            socket->setLocalCertificate(certificate_);
            socket->setPrivateKey(key_);
            socket->startServerEncryption();
        }
    }

  private:
    QSslCertificate certificate_;
    QSslKey key_;
};

// Stands in for the browser: records what would have been opened.
class UrlRecorder : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

// Versions, manifests and alerts as values, then whole checks against a local HTTPS server.
class TestUpdate : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QSslCertificate certificate_;
    std::unique_ptr<ManifestServer> secure_, plain_;

    // Runs checks to their end and returns every alert they raised, in order.
    QList<Alert> run(const QUrl& url, const QList<bool>& userInitiated, bool trusted = true) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        if (trusted)
            ssl.setCaCertificates({certificate_});
        UpdateChecker checker({url, "1.4.2", ssl});
        QSignalSpy alerts(&checker, &UpdateChecker::alertRequested);
        QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
        for (bool user : userInitiated)
            checker.checkForUpdates(user);
        const bool returnedAtOnce = finished.isEmpty();
        while (finished.size() < userInitiated.size() && finished.wait(20000)) {
        }
        if (!returnedAtOnce || finished.size() != userInitiated.size())
            return {std::nullopt, std::nullopt, std::nullopt}; // never what a test expects
        QList<Alert> result;
        for (const auto& a : alerts)
            result << UpdateAlert{a[0].toString(), a[1].toString(), a[2].toString(),
                                  a[3].toStringList(), a[4].toString()};
        return result;
    }

  private slots:
    // Numeric, piece by piece; pieces that are not plain numbers are dropped.
    void versions() {
        const std::tuple<const char*, const char*, bool> cases[] = {
            {"1.10", "1.9", true},
            {"010", "9", true},
            {"2.0", "2", false}, // a missing place is 0
            {"1.2.3-beta", "1.2", false},
            {"1.2.beta.3", "1.2.2", true},            // the rest moves up
            {"1.99999999999999999999", "1.5", false}, // 20 digits are no number
            {"1.99999999999999999999.6", "1.5", true},
            {"9223372036854775808", "1", false},
            {"1.\u0662", "1.1", false},
            {"0.1", "", true}};
        for (const auto& [published, running, newer] : cases)
            QVERIFY2(UpdateChecker::isNewer(published, running) == newer, published);
    }

    // Strict: all three keys, as strings, in one object and nothing after it.
    void manifests() {
        QCOMPARE(VersionManifest::decode(manifest("1.4.2", "N")),
                 (VersionManifest{"1.4.2", "https://updates.veltrane.app/1.4.2", "N"}));
        QCOMPARE(VersionManifest::decode("{\"version\":\"\",\"downloadUrl\":\"\",\"notes\":\"\"}"),
                 VersionManifest{});
        for (const QByteArray& body :
             {QByteArray("{\"version\":\"1\",\"downloadUrl\":\"https://x/\"}"),
              QByteArray("{\"version\":2,\"downloadUrl\":\"\",\"notes\":\"\"}"),
              QByteArray("[{\"version\":\"2\"}]"),
              QByteArray("<html><body>Not Found</body></html>"), manifest("1") + " trailing"})
            QVERIFY2(!VersionManifest::decode(body), body.constData());
    }

    void alerts() {
        const VersionManifest newer{"1.5", "https://updates.veltrane.app/1.5", "Faster."};
        const Alert update = UpdateAlert{"update",
                                         "Update Available",
                                         "Version 1.5 is available.\n\nFaster.",
                                         {"Download", "Later"},
                                         newer.downloadUrl};
        QCOMPARE(UpdateChecker::alertFor(newer, "1.4", false), update);
        QCOMPARE(UpdateChecker::alertFor(VersionManifest{"beta", "", ""}, "1.4", true),
                 Alert(UpdateAlert::upToDate()));
        QCOMPARE(UpdateChecker::alertFor(VersionManifest{"1.4.0", "", ""}, "1.4", false), Alert());
        QCOMPARE(UpdateChecker::alertFor({}, "1.4", true), Alert(UpdateAlert::error()));
        QCOMPARE(UpdateChecker::alertFor({}, "1.4", false), Alert());
        // Empty notes keep both line breaks.
        QCOMPARE(
            UpdateChecker::alertFor(VersionManifest{"1.5", "", ""}, "1.4", true)->informativeText,
            QStringLiteral("Version 1.5 is available.\n\n"));
    }

    void initTestCase() {
        const QString cert = dir_.filePath("cert.pem"), key = dir_.filePath("key.pem");
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
        secure_ =
            std::make_unique<ManifestServer>(certificate_, QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem));
        plain_ = std::make_unique<ManifestServer>();
        QVERIFY(!certificate_.isNull() && secure_->isListening() && plain_->isListening());

        const QByteArray newer = manifest("1.10.0");
        plain_->routes["/version.json"] = {200, newer, {}};
        auto& routes = secure_->routes;
        routes["/version.json"] = {200, newer, {}};
        routes["/same.json"] = {200, manifest("1.4.2"), {}};
        routes["/manifest-404.json"] = {404, newer, {}};
        routes["/manifest-500.json"] = {500, newer, {}};
        routes["/page.html"] = {404, "<!DOCTYPE html><html><body>Not Found</body></html>", {}};
        routes["/to-http.json"] = {302, {}, plain_->url("/version.json").toEncoded()};
        routes["/to-https.json"] = {301, {}, secure_->url("/version.json").toEncoded()};
        routes["/64k.json"] = {200, padded(65536), {}};
        routes["/over-64k.json"] = {200, padded(65537), {}};
        routes["/over-64k-unsized.json"] = {200, padded(200000), {}, ManifestServer::untilClose};
        // Only stopping early ends this one before the transfer time-out.
        routes["/over-64k-endless.json"] = {
            200, QByteArray(100000, ' '), {}, ManifestServer::endless};
    }

    // "http:" asks the plain server, "untrusted:" the secure one without trusting it; no
    // check ever reaches the plain server.
    void check_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<Alert>("alert");
        const Alert update = updateFor(manifest("1.10.0")), error = UpdateAlert::error(), none;
        row("newer, asked", "/version.json", true, update);
        row("same, asked", "/same.json", true, Alert(UpdateAlert::upToDate()));
        row("manifest under 404", "/manifest-404.json", true, update);
        row("404 page, asked", "/page.html", true, error);
        row("redirect to http, asked", "/to-http.json", true, error);
        row("redirect within https", "/to-https.json", false, update);
        row("exactly 64 KiB", "/64k.json", true, updateFor(padded(65536)));
        row("over 64 KiB", "/over-64k.json", true, error);
        row("over 64 KiB, no length", "/over-64k-unsized.json", true, error);
        row("over 64 KiB, endless", "/over-64k-endless.json", true, error);
        row("untrusted certificate, asked", "untrusted:/version.json", true, error);
        row("untrusted certificate, at launch", "untrusted:/version.json", false, none);
        row("http address, asked", "http:/version.json", true, error);
        row("http address, at launch", "http:/version.json", false, none);
    }
    void check() {
        QFETCH(QString, where);
        QFETCH(bool, userInitiated);
        QFETCH(Alert, alert);
        const int plainRequests = plain_->requests;
        const QByteArray path = where.section(':', -1).toLatin1();
        const auto alerts = run(where.startsWith("http:") ? plain_->url(path) : secure_->url(path),
                                {userInitiated}, !where.startsWith("untrusted:"));
        QCOMPARE(alerts, alert ? QList{alert} : QList<Alert>{});
        QCOMPARE(plain_->requests, plainRequests);
    }

    void overlappingChecksEachAnswer() {
        const Alert update = updateFor(manifest("1.10.0"));
        QCOMPARE(run(secure_->url("/version.json"), {false, true}), (QList{update, update}));
        QCOMPARE(run(secure_->url("/page.html"), {false, true, false}),
                 QList{Alert(UpdateAlert::error())});
    }

    // Only an absolute https address opens, and only from an alert's download button.
    void opensOnlyHttpsDownloads() {
        UrlRecorder browser;
        const QStringList schemes{"https", "http", "file", ""};
        for (const auto& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, &browser, "open");
        UpdateChecker checker;
        const QString https = "HTTPS://updates.veltrane.app/tersio/Tersio-1.5.tar.gz";
        QVERIFY(checker.openDownload(https));
        QVERIFY(checker.answer(UpdateAlert::downloadButton(), https));
        QVERIFY(!checker.answer("Later", https));
        for (const char* refused : {"http://updates.veltrane.app/tersio/", "file:///etc/passwd",
                                    "https:version.json", "//updates.veltrane.app/tersio/"})
            QVERIFY2(!checker.openDownload(refused) &&
                         !checker.answer(UpdateAlert::downloadButton(), refused),
                     refused);
        for (const auto& scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(browser.opened, (QList{QUrl(https), QUrl(https)}));
    }
};

QTEST_GUILESS_MAIN(TestUpdate)
#include "test_update.moc"
