#pragma once

#include "TestSupport.h"

#include "model/TersioSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

// Runs the real tersio-cli with a private preferences store, as scripts do.
namespace CliTest {

struct Outcome {
    int status = -1;
    QByteArray out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

inline QStringList labels(const QJsonArray& outputs) {
    QStringList list;
    for (const auto& output : outputs)
        list << output.toObject()[u"label"_s].toString();
    return list;
}

inline QStringList arguments(const QJsonValue& output) {
    QStringList list;
    for (const auto& a : output.toObject()[u"arguments"_s].toArray())
        list << a.toString();
    return list;
}

inline QString argumentAfter(const QStringList& args, const QString& flag) {
    const qsizetype i = args.indexOf(flag);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString();
}

// One stream of an output file, as ffprobe reports it.
inline QJsonObject probeVideo(const QString& path) {
    QProcess p;
    p.start(u"/usr/bin/ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s,
                                    u"-show_streams"_s, u"-of"_s, u"json"_s, path});
    p.waitForFinished(30000);
    return QJsonDocument::fromJson(p.readAllStandardOutput())
        .object()[u"streams"_s]
        .toArray()
        .first()
        .toObject();
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
        CliTest::Outcome o;
        o.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        o.out = process.readAllStandardOutput();
        o.err = QString::fromUtf8(process.readAllStandardError());
        return o;
    }

    void storeSettings(const TersioSettings& settings) {
        QSettings store(storeFile(), QSettings::NativeFormat);
        settings.save(store);
        store.sync();
    }

    static void makeClip(const QString& path, const QString& size, int seconds, int rate) {
        QString error;
        QVERIFY2(
            TestSupport::ffmpeg(
                {u"-f"_s, u"lavfi"_s, u"-i"_s,
                 u"testsrc2=size=%1:rate=%2:duration=%3"_s.arg(size).arg(rate).arg(seconds),
                 u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=frequency=440:duration=%1"_s.arg(seconds),
                 u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"ultrafast"_s, u"-pix_fmt"_s, u"yuv420p"_s,
                 u"-c:a"_s, u"aac"_s, u"-shortest"_s, path},
                &error),
            qPrintable(error));
    }

    static void makeImage(const QString& path, const QString& size) {
        QVERIFY(TestSupport::ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=size="_s + size,
                                     u"-frames:v"_s, u"1"_s, path}));
    }
};
