#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// The per-user preferences store ($XDG_CONFIG_HOME/Veltrane/Tersio.conf).
namespace Preferences {

inline const QString settingsKey = QStringLiteral("tersio.settings.v1");
inline const QString ffmpegPathKey = QStringLiteral("tersio.ffmpegPath");

std::unique_ptr<QSettings> openStore();

QString storedFFmpegPath();
void storeFFmpegPath(const QString& path);

} // namespace Preferences
