#include "Shell.h"

#include <QProcess>
#include <QStringDecoder>

namespace Shell {

QString decodeUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return {};
    return text;
}

ShellResult run(const QString& executable, const QStringList& arguments) {
    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        QString reason = process.errorString();
        if (reason.isEmpty())
            reason = QStringLiteral("The program could not be started.");
        return {-1, {}, reason};
    }
    // waitForFinished services both pipes until the child exits, so a child that floods one
    // stream never blocks on it.
    process.waitForFinished(-1);
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    return {process.exitCode(), decodeUtf8(out), decodeUtf8(err)};
}

} // namespace Shell
