#include "UpdateChecker.h"

#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <charconv>
#include <memory>

namespace {

const QString https = QStringLiteral("https");

// A piece is an optional sign and decimal digits only, fitting in 64 bits; anything else is
// dropped so that "1.2.3-beta" reads as 1.2.
std::optional<qint64> versionPiece(const QString& piece) {
    const QByteArray text = piece.toLatin1();
    qsizetype start = 0;
    if (!text.isEmpty() && (text[0] == '+' || text[0] == '-'))
        start = 1;
    if (text.size() == start)
        return std::nullopt;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    }
    // from_chars takes a minus but not a plus.
    const char* first = text.constData() + (text[0] == '+' ? 1 : 0);
    const char* last = text.constData() + text.size();
    qint64 value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

QList<qint64> versionPieces(const QString& version) {
    QList<qint64> pieces;
    for (const QString& piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        if (const auto value = versionPiece(piece))
            pieces.append(*value);
    }
    return pieces;
}

// Errors that only mirror the HTTP status: the body still arrived and is judged on its own.
bool isStatusError(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

} // namespace

UpdateChecker::UpdateChecker(QObject* parent) : UpdateChecker(Endpoint{}, parent) {}

UpdateChecker::UpdateChecker(Endpoint endpoint, QObject* parent)
    : QObject(parent), endpoint_(std::move(endpoint)), network_(new QNetworkAccessManager(this)) {
    // Whatever certificates a caller trusts, the peer is always verified.
    endpoint_.ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
}

QUrl UpdateChecker::defaultManifestUrl() {
    return QUrl(QStringLiteral("https://updates.veltrane.app/version.json"));
}

QString UpdateChecker::applicationVersion() {
    const QString version = QStringLiteral(TERSIO_VERSION);
    return version.isEmpty() ? QStringLiteral("0") : version;
}

bool UpdateChecker::isNewer(const QString& published, const QString& than) {
    const auto remote = versionPieces(published);
    const auto running = versionPieces(than);
    const auto places = std::max(remote.size(), running.size());
    for (qsizetype i = 0; i < places; ++i) {
        const qint64 a = remote.value(i, 0);
        const qint64 b = running.value(i, 0);
        if (a != b)
            return a > b;
    }
    return false;
}

std::optional<UpdateAlert> UpdateChecker::alertFor(const std::optional<VersionManifest>& remote,
                                                   const QString& runningVersion,
                                                   bool userInitiated) {
    if (!remote)
        return userInitiated ? std::optional(UpdateAlert::error()) : std::nullopt;
    if (isNewer(remote->version, runningVersion))
        return UpdateAlert::update(*remote);
    return userInitiated ? std::optional(UpdateAlert::upToDate()) : std::nullopt;
}

void UpdateChecker::checkForUpdates(bool userInitiated) {
    if (endpoint_.manifestUrl.scheme() != https) {
        // Never fetched in the clear; answered later so every caller sees the same order.
        QMetaObject::invokeMethod(
            this, [this, userInitiated] { finish(nullptr, userInitiated, false); },
            Qt::QueuedConnection);
        return;
    }

    QNetworkRequest request(endpoint_.manifestUrl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(transferTimeoutMs);
    request.setSslConfiguration(endpoint_.ssl);

    QNetworkReply* reply = network_->get(request);
    // A manifest is a few hundred bytes; a huge answer is not ours and is not read to its end.
    auto oversized = std::make_shared<bool>(false);
    auto limit = [reply, oversized](qint64 bytes) {
        if (bytes > maxManifestBytes && !*oversized) {
            *oversized = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, limit] {
        limit(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    });
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [limit](qint64 received, qint64) { limit(received); });
    connect(reply, &QNetworkReply::readyRead, reply,
            [reply, limit] { limit(reply->bytesAvailable()); });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, userInitiated, oversized] { finish(reply, userInitiated, *oversized); });
}

void UpdateChecker::finish(QNetworkReply* reply, bool userInitiated, bool oversized) {
    std::optional<VersionManifest> remote;
    if (reply) {
        reply->deleteLater();
        const auto error = reply->error();
        const bool answered =
            error == QNetworkReply::NoError ||
            (isStatusError(error) &&
             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid());
        if (answered && !oversized && reply->url().scheme() == https) {
            const QByteArray body = reply->read(maxManifestBytes + 1);
            if (body.size() <= maxManifestBytes)
                remote = VersionManifest::decode(body);
        }
    }
    if (const auto alert = alertFor(remote, endpoint_.runningVersion, userInitiated))
        emit alertRequested(alert->kind, alert->title, alert->informativeText, alert->buttons,
                            alert->downloadUrl);
    emit checkFinished(userInitiated);
}

bool UpdateChecker::answer(const QString& button, const QString& downloadUrl) {
    return button == UpdateAlert::downloadButton() && openDownload(downloadUrl);
}

bool UpdateChecker::openDownload(const QString& downloadUrl) {
    const QUrl url(downloadUrl, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.scheme() != https || url.host().isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}
