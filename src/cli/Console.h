#pragma once

#include <QString>

// Unbuffered writes to the standard streams, and what the terminal behind them is like.
namespace Console {

void out(const QByteArray& bytes);
void out(const QString& text);
void err(const QString& text);

bool stdoutIsTerminal();
int columns(); // 80 when it cannot be told

} // namespace Console
