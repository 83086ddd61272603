#pragma once

#include "TestSupport.h"

#include "model/TersioSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// Runs the real tersio-cli with a private preferences store, as scripts do.
namespace CliTest {

struct Outcome {
    int status = -1;
    QByteArray out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

inline QStringList strings(const QJsonValue& array) {
    return array.toVariant().toStringList();
}
inline QStringList arguments(const QJsonValue& output) {
    return strings(output[u"arguments"_s]);
}

// One field of every output of every item in a plan or a summary.
inline QStringList outputsField(const QJsonObject& root, const QString& field) {
    QStringList list;
    for (const auto& item : root[u"items"_s].toArray())
        for (const auto& output : item[u"outputs"_s].toArray())
            list << output[field].toString();
    return list;
}

} // namespace CliTest

class CliHarness : public QObject {
  protected:
    QTemporaryDir media_;  // generated once: test sources are read, never written
    QTemporaryDir config_; // this test's own preferences store
    QString storeFile() const { return config_.filePath(u"Veltrane/Tersio.conf"_s); }

    QProcessEnvironment environment() const {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, config_.path());
        return env;
    }

    void startCli(QProcess& process, const QStringList& args) const {
        process.setProcessEnvironment(environment());
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(TERSIO_CLI_PATH), args);
        QVERIFY(process.waitForStarted());
    }

    CliTest::Outcome cli(const QStringList& args) const {
        QProcess process;
        startCli(process, args);
        process.waitForFinished(240000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
    }

    void storeSettings(const TersioSettings& settings) {
        QSettings store(storeFile(), QSettings::NativeFormat);
        settings.save(store);
    }

    // A clip of `size` with a tone, `seconds` long at `rate` frames a second.
    static void makeClip(const QString& path, const QString& size, int seconds, int rate) {
        QString error;
        QVERIFY2(TestSupport::lavfi(
                     u"testsrc2=size=%1:rate=%2:duration=%3"_s.arg(size).arg(rate).arg(seconds),
                     u"-f lavfi -i sine=frequency=440:duration=%1 -c:v libx264 -preset "
                     "ultrafast -pix_fmt yuv420p -c:a aac -shortest"_s.arg(seconds),
                     path, &error),
                 qPrintable(error));
    }

    static void makeImage(const QString& path, const QString& size) {
        QVERIFY(TestSupport::lavfi(u"testsrc2=size="_s + size, u"-frames:v 1"_s, path));
    }
};
