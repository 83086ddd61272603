#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QProcess;

struct ShellResult {
    int status = 0; // -1 when the program could not be started
    QString stdoutText;
    QString stderrText;
};

namespace Shell {

// Runs the program to completion with no shell and a null standard input. Both pipes are read
// while the child runs, so neither can fill up and stall it. Never throws.
ShellResult run(const QString& executable, const QStringList& arguments);

// Starts an already configured process with a null standard input and waits until it runs.
// Gives the launch failure (status -1 with the reason) when it cannot be started.
std::optional<ShellResult> launch(QProcess& process);

// Strict UTF-8: bytes that are not valid UTF-8 give the empty string, never a lossy decode.
QString decodeUtf8(const QByteArray& bytes);

} // namespace Shell
