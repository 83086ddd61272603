#include "Prober.h"

#include "NumberText.h"
#include "Shell.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

constexpr qint64 notAnInteger = std::numeric_limits<qint64>::min();

qint64 integerOf(const QJsonValue& value) {
    return value.toInteger(notAnInteger);
}

double durationOf(const QJsonObject& root) {
    const QJsonValue format = root.value(QLatin1String("format"));
    if (!format.isObject())
        return 0;
    const QJsonValue duration = format.toObject().value(QLatin1String("duration"));
    if (!duration.isString())
        return 0;
    const auto seconds = NumberText::parseDecimal(duration.toString());
    return seconds && *seconds > 0 ? *seconds : 0;
}

// Each quarter turn recorded in the stream's side data exchanges the displayed axes.
bool quarterTurned(const QJsonObject& stream) {
    bool turned = false;
    const QJsonValue sideData = stream.value(QLatin1String("side_data_list"));
    if (!sideData.isArray())
        return false;
    for (const QJsonValue& element : sideData.toArray()) {
        if (!element.isObject())
            continue;
        const qint64 rotation = integerOf(element.toObject().value(QLatin1String("rotation")));
        if (rotation != notAnInteger && std::llabs(rotation) == 90)
            turned = !turned;
    }
    return turned;
}

bool isHdrTransfer(const QJsonObject& stream) {
    const QString transfer = stream.value(QLatin1String("color_transfer")).toString();
    return transfer == QLatin1String("smpte2084") || transfer == QLatin1String("arib-std-b67");
}

} // namespace

namespace Prober {

ProbeResult parse(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonObject root = document.object();

    ProbeResult result;
    result.duration = durationOf(root);

    const QJsonArray streams = root.value(QLatin1String("streams")).toArray();
    for (const QJsonValue& value : streams) {
        const QJsonObject stream = value.toObject();
        const QJsonValue type = stream.value(QLatin1String("codec_type"));
        if (stream.isEmpty() || !type.isString())
            continue;
        if (type.toString() == QLatin1String("video") && result.width == 0) {
            const qint64 width = integerOf(stream.value(QLatin1String("width")));
            const qint64 height = integerOf(stream.value(QLatin1String("height")));
            result.width = std::max<qint64>(width, 0);
            result.height = std::max<qint64>(height, 0);
            if (quarterTurned(stream))
                std::swap(result.width, result.height);
            result.hdr = isHdrTransfer(stream);
        } else if (type.toString() == QLatin1String("audio")) {
            result.hasAudio = true;
        }
    }
    return result;
}

ProbeResult probe(const QUrl& source, const std::optional<QString>& ffprobe) {
    if (!ffprobe || ffprobe->isEmpty() || !source.isLocalFile())
        return {};
    // An absolute path can never be taken for an option or a protocol prefix.
    const QString path = QFileInfo(source.toLocalFile()).absoluteFilePath();
    const ShellResult answer = Shell::run(
        *ffprobe, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
                   QStringLiteral("json"), QStringLiteral("-show_format"),
                   QStringLiteral("-show_streams"), path});
    return parse(answer.stdoutText.toUtf8());
}

} // namespace Prober
