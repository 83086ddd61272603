#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QQuickWindow window;
    window.setTitle(QStringLiteral("Tersio"));
    window.resize(1060, 680);
    window.show();
    return app.exec();
}
