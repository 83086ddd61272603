#include "UiSetup.h"
#include "engine/AppModel.h"
#include "update/UpdateChecker.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(TersioPlugin)

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(u"Tersio"_s);
    QGuiApplication::setOrganizationName(u"Veltrane"_s);
    QGuiApplication::setApplicationVersion(QStringLiteral(TERSIO_VERSION));
    QGuiApplication::setDesktopFileName(u"tersio"_s);
    UiSetup::applyStyle();

    AppModel model;
    UpdateChecker updates;

    QQmlApplicationEngine engine;
    UiSetup::prepareEngine(engine);
    engine.setInitialProperties(
        {{u"model"_s, QVariant::fromValue(&model)}, {u"updates"_s, QVariant::fromValue(&updates)}});
    engine.load(QUrl(u"qrc:/Tersio/Main.qml"_s));
    if (engine.rootObjects().isEmpty())
        return 1;

    // The silent check waits for the first frame so a slow network never delays the window.
    if (auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst()))
        QObject::connect(
            window, &QQuickWindow::frameSwapped, &updates,
            [&updates] { updates.checkForUpdates(false); }, Qt::SingleShotConnection);

    return app.exec();
}
