#include "StagedEncode.h"

#include "planning/OutputNames.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace StagedEncode {

namespace {

constexpr char tag[] = ".tersio-";
// pid (10 digits at most), "-", 8 random characters, "@", host (64 at most).
constexpr qsizetype writerBytes = 10 + 1 + 8 + 1 + 64;

QString safeHost(const QString& host) {
    QString safe;
    for (const QChar c : host.left(64))
        safe += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-') ||
                        c == QLatin1Char('.')
                    ? c
                    : QLatin1Char('_');
    return safe.isEmpty() ? QStringLiteral("_") : safe;
}

// The part of the hidden name taken from the destination's name: the whole name when it fits
// beside the longest writer, otherwise a prefix cut on a character boundary plus a hash.
QString namePart(const QFileInfo& destination) {
    const QString name = destination.fileName();
    const qsizetype fixed = 1 + qsizetype(sizeof tag - 1) + writerBytes + 1 +
                            QFile::encodeName(destination.suffix()).size();
    const qsizetype room = OutputNames::nameLimit - fixed;
    if (QFile::encodeName(name).size() <= room)
        return name;
    const QString mark =
        QLatin1Char('~') + QString::fromLatin1(QCryptographicHash::hash(QFile::encodeName(name),
                                                                        QCryptographicHash::Sha1)
                                                   .toHex()
                                                   .left(8));
    QString cut;
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype step = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const QString next = cut + name.mid(i, step);
        if (QFile::encodeName(next + mark).size() > room)
            break;
        cut = next;
        i += step;
    }
    return cut + mark;
}

QString prefixOf(const QFileInfo& destination) {
    return QLatin1Char('.') + namePart(destination) + QLatin1String(tag);
}

QString endingOf(const QFileInfo& destination) {
    return destination.suffix().isEmpty() ? QString() : QLatin1Char('.') + destination.suffix();
}

bool processRuns(qint64 pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// Seconds since the epoch at which this machine started: older files predate every process.
qint64 bootTime() {
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : stat.readAll().split('\n'))
        if (line.startsWith("btime "))
            return line.mid(6).trimmed().toLongLong();
    return 0;
}

} // namespace

Writer Writer::current() {
    return {safeHost(QSysInfo::machineHostName()), qint64(::getpid())};
}

QString temporaryName(const QString& destinationPath, const QString& random, const Writer& writer) {
    const QFileInfo info(destinationPath);
    const QString name = prefixOf(info) + QString::number(writer.pid) + QLatin1Char('-') + random +
                         QLatin1Char('@') + safeHost(writer.host) + endingOf(info);
    return info.dir().filePath(name);
}

std::optional<Writer> writerOf(const QString& fileName, const QString& destinationPath) {
    const QFileInfo info(destinationPath);
    const QString prefix = prefixOf(info);
    const QString ending = endingOf(info);
    if (!fileName.startsWith(prefix) || !fileName.endsWith(ending) ||
        fileName.size() <= prefix.size() + ending.size())
        return std::nullopt;
    const QString middle =
        fileName.mid(prefix.size(), fileName.size() - prefix.size() - ending.size());
    const qsizetype at = middle.indexOf(QLatin1Char('@'));
    const qsizetype dash = middle.indexOf(QLatin1Char('-'));
    if (at < 0 || dash < 0 || dash > at) {
        // Older versions wrote eight random characters and no writer.
        static const QRegularExpression older(QStringLiteral("^[a-z0-9]{8}$"));
        if (older.match(middle).hasMatch())
            return Writer{};
        return std::nullopt;
    }
    bool ok = false;
    const qint64 pid = middle.left(dash).toLongLong(&ok);
    if (!ok || pid <= 0)
        return std::nullopt;
    return Writer{middle.mid(at + 1), pid};
}

int removeStale(const QString& destinationPath, qint64 quietSeconds) {
    const QFileInfo destination(destinationPath);
    const Writer self = Writer::current();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 booted = bootTime();
    int removed = 0;
    QDirIterator it(destination.path(), QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QFileInfo file = it.nextFileInfo();
        const auto writer = writerOf(file.fileName(), destinationPath);
        if (!writer || *writer == self)
            continue;
        const qint64 touched = file.lastModified().toSecsSinceEpoch();
        bool gone;
        if (writer->host == self.host)
            gone = !processRuns(writer->pid) || (booted > 0 && touched < booted);
        else
            gone = now - touched >= quietSeconds;
        if (gone && ::unlink(QFile::encodeName(file.filePath()).constData()) == 0)
            ++removed;
    }
    return removed;
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

} // namespace

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

Outcome run(FFmpegJob& job, const QString& ffmpeg, const PlannedOutput& output,
            const FFmpegJob::ProgressCallback& onProgress, const QString& readPath,
            const PackSteps::Context& packing) {
    if (job.cancelled())
        return {130, QStringLiteral("Cancelled"), 0, {}};
    const QString destination = output.destination.toLocalFile();
    // Leftovers of a run that was killed outright would otherwise stay beside the outputs.
    removeStale(destination);
    QString reason;
    const QString temporary = reserveTemporary(destination, &reason);
    if (temporary.isEmpty())
        return {-1, unwritableMessage(destination, reason), 0, {}};

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
        return {result.status, message, 0, {}};
    }
    const QStringList notes = PackSteps::run(job, output, temporary, packing);
    if (job.cancelled()) {
        ::unlink(temporaryName.constData());
        return {130, QStringLiteral("Cancelled"), 0, {}};
    }
    if (const QString failure = moveIntoPlace(temporary, destination); !failure.isEmpty())
        return {-1, failure, 0, {}};
    return {0, {}, qMax<qint64>(0, QFileInfo(destination).size()), notes.join(QLatin1Char(' '))};
}

QString unwritableMessage(const QString& destinationPath, const QString& reason) {
    return QStringLiteral("Cannot write in %1: %2").arg(QFileInfo(destinationPath).path(), reason);
}

QString moveIntoPlace(const QString& temporary, const QString& destinationPath) {
    const QByteArray from = QFile::encodeName(temporary);
    if (::rename(from.constData(), QFile::encodeName(destinationPath).constData()) == 0)
        return {};
    const int error = errno;
    ::unlink(from.constData());
    return QStringLiteral("Cannot save %1: %2")
        .arg(QFileInfo(destinationPath).fileName(), systemReason(error));
}

} // namespace StagedEncode
