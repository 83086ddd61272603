#include "AppLauncher.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>

using namespace Qt::StringLiterals;

AppLauncher::AppLauncher() {
    QDir(dir_.path()).mkpath(u"runtime"_s);
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(dir_.path()).mkpath(u"config"_s);
    QDir(dir_.path()).mkpath(u"media"_s);
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
    return dir_.filePath(u"media"_s);
}

QString AppLauncher::runtimeDir() const {
    return dir_.filePath(u"runtime"_s);
}

QString AppLauncher::socketPath() const {
    return runtimeDir() + u"/app.veltrane.Tersio.socket"_s;
}

QStringList AppLauncher::reported() const {
    QFile report(dir_.filePath(u"report.txt"_s));
    if (!report.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(report.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QProcess* AppLauncher::start(const QStringList& arguments, const QString& workingDirectory) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir());
    env.insert(u"XDG_CONFIG_HOME"_s, dir_.filePath(u"config"_s));
    env.insert(u"TERSIO_TEST_REPORT_FILE"_s, dir_.filePath(u"report.txt"_s));
    for (const char* name : {"https_proxy", "http_proxy", "HTTPS_PROXY", "HTTP_PROXY"})
        env.insert(QLatin1String(name), u"http://127.0.0.1:9"_s);
    env.remove(u"no_proxy"_s);
    env.remove(u"NO_PROXY"_s);

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
