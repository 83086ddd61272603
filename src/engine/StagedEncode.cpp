#include "StagedEncode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace StagedEncode {

QString temporaryName(const QString& destinationPath, const QString& random) {
    const QFileInfo info(destinationPath);
    QString name = QLatin1Char('.') + info.fileName() + QStringLiteral(".tersio-") + random;
    if (!info.suffix().isEmpty())
        name += QLatin1Char('.') + info.suffix();
    return info.dir().filePath(name);
}

QStringList launchArguments(const QStringList& planned, const QString& writePath,
                            const QString& readPath) {
    QStringList arguments = planned;
    if (!arguments.isEmpty())
        arguments.last() = writePath;
    const qsizetype input = arguments.indexOf(QStringLiteral("-i"));
    if (!readPath.isEmpty() && input >= 0 && input + 2 < arguments.size())
        arguments[input + 1] = readPath;
    return arguments;
}

QString failureMessage(const ShellResult& result) {
    const QStringList lines = result.stderrText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        return lines.last();
    return QStringLiteral("FFmpeg exited with code %1.").arg(result.status);
}

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString randomTag() {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < 8; ++i)
        tag += QLatin1Char(alphabet[QRandomGenerator::global()->bounded(36)]);
    return tag;
}

// Creates the hidden file exclusively (mode from the umask, like any ffmpeg output), so two
// encodes can never share one. On failure `reason` holds the file system's description.
QString reserveTemporary(const QString& destinationPath, QString* reason) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path = temporaryName(destinationPath, randomTag());
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            *reason = systemReason(errno);
            return {};
        }
    }
    *reason = systemReason(EEXIST);
    return {};
}

} // namespace

Outcome run(FFmpegJob& job, const QString& ffmpeg, const PlannedOutput& output,
            const FFmpegJob::ProgressCallback& onProgress, const QString& readPath) {
    if (job.cancelled())
        return {130, QStringLiteral("Cancelled"), 0};
    const QString destination = output.destination.toLocalFile();
    QString reason;
    const QString temporary = reserveTemporary(destination, &reason);
    if (temporary.isEmpty())
        return {-1,
                QStringLiteral("Cannot write in %1: %2").arg(QFileInfo(destination).path(), reason),
                0};

    const ShellResult result =
        job.run(ffmpeg, launchArguments(output.arguments, temporary, readPath),
                output.progressDuration, onProgress);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    if (result.status != 0) {
        ::unlink(temporaryName.constData());
        // ffmpeg names the file it was writing; the user knows only the destination.
        QString message = failureMessage(result);
        message.replace(temporary, destination);
        if (const qsizetype input = output.arguments.indexOf(QStringLiteral("-i"));
            !readPath.isEmpty() && input >= 0 && input + 1 < output.arguments.size())
            message.replace(readPath, output.arguments.at(input + 1));
        return {result.status, message, 0};
    }
    if (::rename(temporaryName.constData(), QFile::encodeName(destination).constData()) != 0) {
        const int error = errno;
        ::unlink(temporaryName.constData());
        return {-1,
                QStringLiteral("Cannot save %1: %2")
                    .arg(QFileInfo(destination).fileName(), systemReason(error)),
                0};
    }
    return {0, {}, qMax<qint64>(0, QFileInfo(destination).size())};
}

} // namespace StagedEncode
