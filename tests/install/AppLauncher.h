#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// Runs the built application offscreen in a private runtime and config folder. It appends the
// paths it queues to a report file, and an unreachable proxy keeps its update check local.
class AppLauncher {
  public:
    AppLauncher();
    ~AppLauncher(); // ends every instance still running

    QString root() const;       // a scratch folder for the test's media
    QString runtimeDir() const; // where the instances meet
    QString socketPath() const; // the name a running instance listens on
    QStringList reported() const;

    QProcess* start(const QStringList& arguments, const QString& workingDirectory);
    // Waits for the report to reach `lines` lines.
    bool waitForReported(qsizetype lines) const;

  private:
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};
