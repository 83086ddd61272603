#pragma once

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

// Small helpers shared by the tests: scripts standing in for tools, and real ffmpeg runs.
namespace TestSupport {

// An argument list written as one line: "-c:v libx264 -crf 24" (no argument holds a space).
inline QStringList words(const QString& line) {
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// A data table's columns: columns<QString, int>("name", "count").
template <typename... T, typename... Names> void columns(Names... names) {
    (QTest::addColumn<T>(names), ...);
}

// One row of a data table: row("name", a, b, c) is QTest::newRow("name") << a << b << c.
template <typename... T> void row(const char* name, T... values) {
    (QTest::newRow(name) << ... << values);
}

// The whole file; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QString writeScript(const QString& path, const QByteArray& body) {
    const auto mode =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;
    return writeFile(path, "#!/bin/sh\n" + body) && QFile::setPermissions(path, mode) ? path
                                                                                      : QString();
}

// Runs a helper program (ffmpeg, heif-enc, exiftool…) and reports whether it exited 0.
inline bool runTool(const QString& program, const QStringList& arguments,
                    QString* error = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(120000);
    const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok && error)
        *error = QString::fromUtf8(process.readAll());
    return ok;
}

// ffmpeg with the usual quiet prefix; the last argument is the output path.
inline bool ffmpeg(const QStringList& arguments, QString* error = nullptr) {
    return runTool(QStringLiteral("/usr/bin/ffmpeg"),
                   QStringList{"-hide_banner", "-loglevel", "error", "-nostdin", "-y"} + arguments,
                   error);
}

// ffmpeg reading the lavfi graph `source`, then `options` (one line, see words()), into `path`,
// whose folder is made first.
inline bool lavfi(const QString& source, const QString& options, const QString& path,
                  QString* error = nullptr) {
    QDir().mkpath(QFileInfo(path).path());
    return ffmpeg(QStringList{"-f", "lavfi", "-i", source} + words(options) + QStringList{path},
                  error);
}

// One stream of a file ("v:0", "a:0"…), as ffprobe reports it.
inline QJsonObject probeVideo(const QString& path, const QString& stream = QStringLiteral("v:0")) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/ffprobe"),
            words(QStringLiteral("-v error -show_streams -of json -select_streams"))
                << stream << path);
    p.waitForFinished(30000);
    return QJsonDocument::fromJson(p.readAllStandardOutput())[QLatin1String("streams")][0]
        .toObject();
}

} // namespace TestSupport
