#include "RunNotice.h"

#include "engine/AppModel.h"
#include "model/ByteCount.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

namespace {

QString files(int count) {
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

void notify(const RunNotice::Text& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Tersio") << uint(0) << QStringLiteral("app.veltrane.Tersio")
         << text.summary << text.body << QStringList() << QVariantMap() << int(-1);
    // Not waited for: a missing service answers with an error nobody needs to see.
    bus.asyncCall(call);
}

} // namespace

std::optional<RunNotice::Text> RunNotice::text(const QList<MediaItem>& items, double seconds,
                                               bool windowActive) {
    if (windowActive || !(seconds > minimumSeconds))
        return std::nullopt;
    int done = 0;
    int failed = 0;
    qint64 saved = 0;
    for (const MediaItem& item : items) {
        if (item.status.value == ItemStatus::Case::failed) {
            ++failed;
        } else if (item.status.value == ItemStatus::Case::done) {
            ++done;
            if (const auto bytes = item.primaryOutputBytes(); bytes && item.sourceBytes > 0)
                saved += item.sourceBytes - *bytes;
        }
    }
    if (done == 0 && failed == 0)
        return std::nullopt; // stopped before anything ended
    QString body = files(done) + QStringLiteral(" done");
    if (failed > 0)
        body += QStringLiteral(", %1 failed").arg(failed);
    body += saved >= 0 ? QStringLiteral(" \u00B7 %1 saved").arg(ByteCount::text(saved))
                       : QStringLiteral(" \u00B7 %1 larger").arg(ByteCount::text(-saved));
    return Text{failed > 0 ? QStringLiteral("Tersio finished with failures")
                           : QStringLiteral("Tersio finished"),
                body};
}

RunNotice::RunNotice(AppModel* model, QWindow* window, QObject* parent)
    : QObject(parent), model_(model), window_(window) {
    connect(model_, &AppModel::runFinished, this, &RunNotice::runFinished);
}

void RunNotice::runFinished() {
    const bool active = window_ && window_->isActive();
    if (const auto said = text(model_->runItems(), model_->runSeconds(), active))
        notify(*said);
}
