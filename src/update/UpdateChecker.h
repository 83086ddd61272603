#pragma once

#include "UpdateAlert.h"
#include "VersionManifest.h"

#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches the version manifest and decides what, if anything, to tell the user.
//
// How the interface uses it: construct one (it lives as long as the window), connect
// alertRequested to a modal dialog built from its arguments (buttons in the given order; pass
// the pressed one to answer()), call
// checkForUpdates(false) once after the window is shown, and checkForUpdates(true) from the
// "Check for Updates…" menu item.
class UpdateChecker : public QObject {
    Q_OBJECT
  public:
    // Where the checker fetches from. Tests point it at a local server and trust their own
    // certificate; the application always uses the defaults.
    struct Endpoint {
        QUrl manifestUrl = defaultManifestUrl();
        QString runningVersion = applicationVersion();
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    };

    static constexpr qint64 maxManifestBytes = 64 * 1024;
    static constexpr int transferTimeoutMs = 30'000;

    explicit UpdateChecker(QObject* parent = nullptr);
    explicit UpdateChecker(Endpoint endpoint, QObject* parent = nullptr);

    static QUrl defaultManifestUrl();
    // The version this build was made as; "0" when the build carries none.
    static QString applicationVersion();

    // True only when `published` is strictly newer than `than` (numeric, piece by piece).
    static bool isNewer(const QString& published, const QString& than);

    // The answer to one finished fetch; nothing for a silent check that has nothing to offer.
    static std::optional<UpdateAlert> alertFor(const std::optional<VersionManifest>& remote,
                                               const QString& runningVersion, bool userInitiated);

    // Returns at once; the answer arrives through alertRequested (or not at all when silent).
    Q_INVOKABLE void checkForUpdates(bool userInitiated);

    // Opens an absolute https address in the user's browser; anything else is refused.
    Q_INVOKABLE bool openDownload(const QString& downloadUrl);
    // The user pressed `button` of an alert: the download button opens its address, every
    // other one only dismissed the alert. Returns whether an address was opened.
    Q_INVOKABLE bool answer(const QString& button, const QString& downloadUrl);

  signals:
    void alertRequested(const QString& kind, const QString& title, const QString& informativeText,
                        const QStringList& buttons, const QString& downloadUrl);
    // After every check, alert or not, so callers can tell silence from a pending answer.
    void checkFinished(bool userInitiated);

  private:
    void finish(QNetworkReply* reply, bool userInitiated, bool oversized);

    Endpoint endpoint_;
    QNetworkAccessManager* network_;
};
