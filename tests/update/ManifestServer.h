#pragma once

#include <QHash>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QUrl>

#include <memory>

// A one-request-per-connection HTTP(S) server on 127.0.0.1 answering fixed routes.
class ManifestServer : public QTcpServer {
  public:
    enum class Framing {
        sized,      // Content-Length, then close
        untilClose, // no length: the body ends when the connection does
        endless,    // no length and the connection stays open, as if more were coming
    };

    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray location; // sent as a Location header when set
        Framing framing = Framing::sized;
    };

    // With a certificate and key it speaks TLS, without them plain HTTP.
    ManifestServer() = default;
    ManifestServer(QSslCertificate certificate, QSslKey key)
        : certificate_(std::move(certificate)), key_(std::move(key)) {}

    bool start() { return listen(QHostAddress::LocalHost); }

    void route(const QByteArray& path, int status, const QByteArray& body,
               const QByteArray& location = {}, Framing framing = Framing::sized) {
        routes_.insert(path, Response{status, body, location, framing});
    }

    QUrl url(const QByteArray& path) const {
        const auto scheme = certificate_.isNull() ? "http" : "https";
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                        .arg(QLatin1String(scheme))
                        .arg(serverPort())
                        .arg(QString::fromLatin1(path)));
    }

    int requests() const { return requests_; }

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QIODevice::readyRead, socket, [this, socket, request] {
            request->append(socket->readAll());
            if (!request->contains("\r\n\r\n"))
                return;
            answer(socket, request->split(' ').value(1));
            request->clear();
        });
        if (!certificate_.isNull()) {
            socket->setLocalCertificate(certificate_);
            socket->setPrivateKey(key_);
            socket->startServerEncryption();
        }
    }

  private:
    void answer(QSslSocket* socket, const QByteArray& path) {
        ++requests_;
        const Response response = routes_.value(path, Response{404, {}, {}, Framing::sized});
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Answer\r\n";
        head += "Content-Type: application/json\r\nConnection: close\r\n";
        if (response.framing == Framing::sized)
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        if (!response.location.isEmpty())
            head += "Location: " + response.location + "\r\n";
        socket->write(head + "\r\n" + response.body);
        if (response.framing != Framing::endless)
            socket->disconnectFromHost();
    }

    QSslCertificate certificate_;
    QSslKey key_;
    QHash<QByteArray, Response> routes_;
    int requests_ = 0;
};
