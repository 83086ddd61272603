#pragma once

#include <QStringList>

// The whole command: parse, resolve settings and tools, queue the paths, then plan or run.
namespace CliApp {

// `arguments` without the program name; needs a running QCoreApplication. Returns the exit
// status (a real run returns it from the event loop).
int run(const QStringList& arguments);

} // namespace CliApp
