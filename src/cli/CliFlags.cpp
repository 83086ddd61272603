#include "CliFlags.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace CliFlags {
namespace {

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString numberText(double value) {
    return QLocale::c().toString(value, 'g', 15);
}

// Whole-string parse: no blanks, no group separators, no trailing text.
std::optional<double> parseDouble(const QString& text) {
    if (text.isEmpty() || text.trimmed() != text)
        return std::nullopt;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(text, &ok);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<qint64> parseInteger(const QString& text) {
    if (text.isEmpty() || text.trimmed() != text)
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional(value) : std::nullopt;
}

Prepared failure(const QString& name, const QString& text) {
    return {{}, name + u": "_s + text};
}

Prepared always(std::function<void(TersioSettings&)> change) {
    return {[change](TersioSettings& s) {
                change(s);
                return QString();
            },
            {}};
}

using Setter = std::function<void(TersioSettings&)>;

Flag toggle(const QString& name, const QString& help, Setter change,
            std::function<QString(const TersioSettings&)> now) {
    return {name, {}, help, [change](const QString&) { return always(change); }, std::move(now)};
}

template <typename E>
Flag choice(const QString& name, const QString& help, E TersioSettings::*field) {
    const QString allowed = Options::allRawValues<E>().join(u", "_s);
    return {name, u"VALUE"_s, help + u": "_s + Options::allRawValues<E>().join(u"|"_s),
            [name, field, allowed](const QString& value) {
                const auto parsed = Options::fromRaw<E>(value);
                if (!parsed)
                    return failure(name, u"'"_s + value + u"' is not one of "_s + allowed);
                return always([field, v = *parsed](TersioSettings& s) { s.*field = v; });
            },
            [field](const TersioSettings& s) { return Options::rawValue(s.*field); }};
}

Flag quality(const QString& name, const QString& help, double TersioSettings::*field) {
    return {name, u"Q"_s, help + u" 0–100"_s,
            [name, field](const QString& value) {
                const auto q = parseDouble(value);
                if (!q || !(*q >= 0 && *q <= 100))
                    return failure(name, u"'"_s + value + u"' is not a number from 0 to 100"_s);
                return always([field, q = *q](TersioSettings& s) { s.*field = q; });
            },
            [field](const TersioSettings& s) { return numberText(s.*field); }};
}

// A whole number in [low, high]; `set` stores it.
Flag integer(const QString& name, const QString& valueName, const QString& help, qint64 low,
             qint64 high, std::function<void(TersioSettings&, qint64)> set,
             std::function<QString(const TersioSettings&)> now) {
    return {name, valueName, help,
            [=](const QString& value) {
                const auto n = parseInteger(value);
                if (!n || *n < low || *n > high)
                    return failure(name, u"'"_s + value + u"' is not a whole number from "_s +
                                             QString::number(low) + u" to "_s +
                                             QString::number(high));
                return always([set, n = *n](TersioSettings& s) { set(s, n); });
            },
            std::move(now)};
}

QString cropRatios(const QList<CropVariant>& crops) {
    QStringList ratios;
    for (const auto& crop : crops)
        ratios << crop.ratioText();
    return ratios.isEmpty() ? u"none"_s : ratios.join(u","_s);
}

// "9x16,1x1": enable exactly the stored crops with these ratios.
Prepared prepareCrops(const QString& value) {
    static const QString name = u"--crops"_s;
    QStringList wanted;
    for (const QString& part : value.split(u',')) {
        const QStringList terms = part.split(u'x');
        const bool valid = terms.size() == 2 && parseInteger(terms[0]).value_or(0) > 0 &&
                           parseInteger(terms[1]).value_or(0) > 0;
        if (!valid)
            return failure(name, u"'"_s + part +
                                     u"' is not a ratio like 9x16 (use --no-crops for none)"_s);
        wanted << QString::number(*parseInteger(terms[0])) + u'x' +
                      QString::number(*parseInteger(terms[1]));
    }
    return {[wanted](TersioSettings& s) {
                QStringList stored;
                for (const auto& crop : s.cropVariants)
                    stored << crop.ratioText();
                for (const auto& ratio : wanted)
                    if (!stored.contains(ratio))
                        return name + u": no stored crop has the ratio "_s + ratio +
                               u" (stored: "_s + cropRatios(s.cropVariants) + u")"_s;
                for (auto& crop : s.cropVariants)
                    crop.enabled = wanted.contains(crop.ratioText());
                return QString();
            },
            {}};
}

Prepared prepareOutput(const QString& value) {
    if (value.isEmpty())
        return failure(u"--output"_s, u"needs a folder"_s);
    const QString path = QDir::cleanPath(QFileInfo(value).absoluteFilePath());
    return always([path](TersioSettings& s) {
        s.outputMode = OutputMode::customFolder;
        s.customFolderPath = path;
    });
}

Prepared prepareSubfolder(const QString& value) {
    if (value.trimmed().isEmpty())
        return failure(u"--subfolder"_s, u"needs a folder name"_s);
    return always([value](TersioSettings& s) {
        s.outputMode = OutputMode::subfolder;
        s.subfolderName = value;
    });
}

QString outputNow(const TersioSettings& s) {
    return s.outputMode == OutputMode::customFolder
               ? (s.customFolderPath.isEmpty() ? u"a chosen folder, none set"_s
                                               : s.customFolderPath)
               : u"subfolder "_s + s.subfolderName;
}

QList<Flag> buildFlags() {
    using S = TersioSettings;
    QList<Flag> flags;
    flags << choice(u"--image-format"_s, u"image format"_s, &S::imageFormat);
    flags << quality(u"--image-quality"_s, u"image quality"_s, &S::imageQuality);
    flags << integer(
        u"--image-max-width"_s, u"PX"_s, u"cap image width at PX pixels, turning the cap on"_s, 2,
        100000,
        [](S& s, qint64 n) {
            s.imageMaxWidth = n;
            s.imageLimitWidth = true;
        },
        [](const S& s) {
            return s.imageLimitWidth ? QString::number(s.imageMaxWidth) : u"no cap"_s;
        });
    flags << toggle(
        u"--no-width-cap"_s, u"keep every image and video at its own width"_s,
        [](S& s) {
            s.imageLimitWidth = false;
            s.videoLimitWidth = false;
        },
        [](const S& s) { return onOff(!s.imageLimitWidth && !s.videoLimitWidth); });
    flags << toggle(
        u"--webp-copy"_s, u"also write a WebP copy of each image"_s,
        [](S& s) { s.alsoEmitWebP = true; }, [](const S& s) { return onOff(s.alsoEmitWebP); });
    flags << toggle(
        u"--keep-metadata"_s, u"keep EXIF, GPS and other metadata in images"_s,
        [](S& s) { s.stripMetadata = false; }, [](const S& s) { return onOff(!s.stripMetadata); });
    flags << quality(u"--video-quality"_s, u"video quality"_s, &S::videoQuality);
    flags << integer(
        u"--video-max-width"_s, u"PX"_s, u"cap video width at PX pixels, turning the cap on"_s, 2,
        100000,
        [](S& s, qint64 n) {
            s.videoMaxWidth = n;
            s.videoLimitWidth = true;
        },
        [](const S& s) {
            return s.videoLimitWidth ? QString::number(s.videoMaxWidth) : u"no cap"_s;
        });
    flags << choice(u"--speed"_s, u"encoder speed"_s, &S::speed);
    const auto renditions = {
        std::tuple{u"h264"_s, u"the H.264 MP4"_s, &S::makeH264},
        std::tuple{u"hevc"_s, u"the HEVC MP4"_s, &S::makeHEVC},
        std::tuple{u"webm"_s, u"the VP9 WebM"_s, &S::makeWebM},
        std::tuple{u"poster"_s, u"the JPEG poster frame"_s, &S::makePoster},
    };
    for (const auto& [word, what, field] : renditions) {
        const auto now = [field](const S& s) { return onOff(s.*field); };
        flags << toggle(
            u"--"_s + word, u"write "_s + what, [field](S& s) { s.*field = true; }, now);
        flags << toggle(
            u"--no-"_s + word, u"do not write "_s + what, [field](S& s) { s.*field = false; }, now);
    }
    flags << choice(u"--audio"_s, u"video audio"_s, &S::audio);
    flags << integer(
        u"--audio-kbps"_s, u"K"_s, u"audio bit rate in kbit/s"_s, 1, 10000,
        [](S& s, qint64 n) { s.audioKbps = n; },
        [](const S& s) { return QString::number(s.audioKbps); });
    flags << Flag{u"--crops"_s, u"LIST"_s,
                  u"enable only the stored crops with these ratios, e.g. 9x16,1x1"_s, prepareCrops,
                  [](const S& s) { return cropRatios(s.activeCrops()); }};
    flags << toggle(
        u"--no-crops"_s, u"write no mobile crops"_s,
        [](S& s) {
            for (auto& crop : s.cropVariants)
                crop.enabled = false;
        },
        [](const S& s) { return onOff(s.activeCrops().isEmpty()); });
    flags << Flag{u"--output"_s, u"DIR"_s, u"write every output into DIR"_s, prepareOutput,
                  outputNow};
    flags << Flag{u"--subfolder"_s, u"NAME"_s, u"write outputs into NAME beside each source"_s,
                  prepareSubfolder, outputNow};
    flags << integer(
        u"--jobs"_s, u"N"_s, u"files processed at once"_s, 1, 6,
        [](S& s, qint64 n) { s.maxConcurrent = n; },
        [](const S& s) { return QString::number(s.maxConcurrent); });
    flags << toggle(
        u"--no-overwrite"_s, u"leave outputs that already exist alone"_s,
        [](S& s) { s.overwriteExisting = false; },
        [](const S& s) { return onOff(!s.overwriteExisting); });
    return flags;
}

} // namespace

const QList<Flag>& settingFlags() {
    static const QList<Flag> flags = buildFlags();
    return flags;
}

const Flag* find(const QString& name) {
    for (const auto& flag : settingFlags())
        if (flag.name == name)
            return &flag;
    return nullptr;
}

} // namespace CliFlags
