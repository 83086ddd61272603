#include "LaunchArguments.h"
#include "RunNotice.h"
#include "SingleInstance.h"
#include "UiSetup.h"
#include "engine/AppModel.h"
#include "update/UpdateChecker.h"

#include <QDir>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(TersioPlugin)

int main(int argc, char* argv[]) {
    // Answered before the application object exists, so no display is needed.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    switch (LaunchArguments::answer(arguments)) {
    case LaunchArguments::Answer::help:
        std::fputs(LaunchArguments::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    case LaunchArguments::Answer::version:
        std::fputs(LaunchArguments::versionText().toLocal8Bit().constData(), stdout);
        return 0;
    case LaunchArguments::Answer::none:
        break;
    }

    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(u"Tersio"_s);
    QGuiApplication::setOrganizationName(u"Veltrane"_s);
    QGuiApplication::setApplicationVersion(QStringLiteral(TERSIO_VERSION));
    QGuiApplication::setDesktopFileName(u"app.veltrane.Tersio"_s);

    const QList<QUrl> launchUrls =
        LaunchArguments::pathUrls(app.arguments().mid(1), QDir::currentPath());
    SingleInstance instance(SingleInstance::defaultSocketPath());
    switch (instance.claim(launchUrls)) {
    case SingleInstance::Role::forwarded:
        return 0;
    case SingleInstance::Role::unanswered:
        qWarning("Tersio is already running but did not answer.");
        return 1;
    case SingleInstance::Role::primary:
        break;
    }

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
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());

    RunNotice notice(&model, window);
    LaunchArguments::addToQueue(model, launchUrls);
    QObject::connect(&instance, &SingleInstance::received, &model,
                     [&model, window](const auto& urls) {
                         LaunchArguments::addToQueue(model, urls);
                         if (window) {
                             window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
                             window->show();
                             window->raise();
                             window->requestActivate();
                         }
                     });

    // The silent check waits for the first frame so a slow network never delays the window.
    if (window)
        QObject::connect(
            window, &QQuickWindow::frameSwapped, &updates,
            [&updates] { updates.checkForUpdates(false); }, Qt::SingleShotConnection);

    return app.exec();
}
