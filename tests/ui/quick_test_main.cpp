#include "UiSetup.h"

#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(TersioPlugin)

// Finds the application's own QML module (qrc:/Tersio) and styles controls as the app does.
class Setup : public QObject {
    Q_OBJECT
  public slots:
    void applicationAvailable() { UiSetup::applyStyle(); }
    void qmlEngineAvailable(QQmlEngine* engine) {
        engine->addImportPath(QStringLiteral("qrc:/"));
        UiSetup::prepareEngine(*engine);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tersio_ui_components, Setup)

#include "quick_test_main.moc"
