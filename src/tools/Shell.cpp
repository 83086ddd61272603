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

std::optional<ShellResult> launch(QProcess& process) {
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (process.waitForStarted(-1))
        return std::nullopt;
    QString reason = process.errorString();
    if (reason.isEmpty())
        reason = QStringLiteral("The program could not be started.");
    return ShellResult{-1, {}, reason};
}

ShellResult run(const QString& executable, const QStringList& arguments) {
    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    if (auto failure = launch(process))
        return *failure;
    // waitForFinished services both pipes until the child exits, so a child that floods one
    // stream never blocks on it.
    process.waitForFinished(-1);
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    return {process.exitCode(), decodeUtf8(out), decodeUtf8(err)};
}

} // namespace Shell
