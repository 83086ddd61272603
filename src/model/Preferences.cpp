#include "Preferences.h"

namespace Preferences {

std::unique_ptr<QSettings> openStore() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Veltrane"), QStringLiteral("Tersio"));
}

QString storedFFmpegPath() {
    const auto value = openStore()->value(ffmpegPathKey);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

void storeFFmpegPath(const QString& path) {
    auto store = openStore();
    store->setValue(ffmpegPathKey, path);
    store->sync();
}

} // namespace Preferences
