#pragma once

#include <QDir>
#include <QFile>
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

// One row of a data table: row("name", a, b, c) is QTest::newRow("name") << a << b << c.
template <typename... T> void row(const char* name, T... values) {
    (QTest::newRow(name) << ... << values);
}

inline QString writeScript(const QString& path, const QByteArray& body) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write("#!/bin/sh\n" + body);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                        QFile::ExeGroup);
    return path;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(bytes);
    return true;
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

} // namespace TestSupport
