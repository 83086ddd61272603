#include "EffectiveSettings.h"

#include <QFile>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace EffectiveSettings {

Result resolve(const CliRequest& request) {
    Result result;
    if (request.settingsFile.isEmpty()) {
        result.settings = TersioSettings::load();
    } else {
        // The user named this file: a bad one is an error, never a quiet fall-back to defaults.
        QFile file(request.settingsFile);
        if (!file.open(QIODevice::ReadOnly)) {
            result.error =
                u"--settings: cannot read "_s + request.settingsFile + u": "_s + file.errorString();
            return result;
        }
        const auto decoded = TersioSettings::fromJsonBytes(file.readAll());
        if (!decoded) {
            result.error = u"--settings: "_s + request.settingsFile +
                           u" is not a valid settings document (every one of the "_s +
                           QString::number(TersioSettings::keyCount) +
                           u" keys must be present with a value of the right type; the "_s +
                           QString::number(TersioSettings::laterKeyCount) +
                           u" added later may be left out)"_s;
            return result;
        }
        result.settings = *decoded;
    }
    result.error = CommandLine::applyEdits(request, result.settings);
    return result;
}

QByteArray printable(const TersioSettings& settings) {
    return QJsonDocument(settings.toJson()).toJson(QJsonDocument::Indented);
}

} // namespace EffectiveSettings
