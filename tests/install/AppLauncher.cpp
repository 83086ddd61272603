#include "AppLauncher.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>

AppLauncher::AppLauncher() {
    QDir(dir_.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(dir_.path()).mkpath(QStringLiteral("config"));
    QDir(dir_.path()).mkpath(QStringLiteral("media"));
}

AppLauncher::~AppLauncher() {
    for (const auto& process : processes_) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(10000))
            process->kill();
        process->waitForFinished(5000);
    }
}

QString AppLauncher::root() const {
    return dir_.filePath(QStringLiteral("media"));
}

QString AppLauncher::runtimeDir() const {
    return dir_.filePath(QStringLiteral("runtime"));
}

QString AppLauncher::socketPath() const {
    return runtimeDir() + QStringLiteral("/app.veltrane.Tersio.socket");
}

QStringList AppLauncher::reported() const {
    QFile report(dir_.filePath(QStringLiteral("report.txt")));
    if (!report.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QProcess* AppLauncher::start(const QStringList& arguments, const QString& workingDirectory) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("TERSIO_TEST_REPORT_FILE"),
               dir_.filePath(QStringLiteral("report.txt")));
    for (const char* name : {"https_proxy", "http_proxy", "HTTPS_PROXY", "HTTP_PROXY"})
        env.insert(QLatin1String(name), QStringLiteral("http://127.0.0.1:9"));
    env.remove(QStringLiteral("no_proxy"));
    env.remove(QStringLiteral("NO_PROXY"));

    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(workingDirectory);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(TERSIO_APP), arguments);
    process->waitForStarted();
    processes_.push_back(std::move(process));
    return processes_.back().get();
}

bool AppLauncher::waitForReported(qsizetype lines) const {
    return QTest::qWaitFor([&] { return reported().size() >= lines; }, 30000);
}
