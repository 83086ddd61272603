#include "CliApp.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tersio-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TERSIO_VERSION));
    return CliApp::run(QCoreApplication::arguments().mid(1));
}
