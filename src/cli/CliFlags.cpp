#include "CliFlags.h"

#include "tools/NumberText.h"

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

using S = TersioSettings;
using Now = std::function<QString(const S&)>;

Flag toggle(const char* name, const char* help, std::function<void(S&)> change, Now now) {
    return {QString::fromUtf8(name),
            {},
            QString::fromUtf8(help),
            [change](const QString&) { return always(change); },
            std::move(now)};
}

// The builders the settings table names: each takes the field of its line and gives its flags.

auto choice(const char* flagName, const char* what) {
    return [=]<typename E>(E S::*field) {
        const QString name = QString::fromUtf8(flagName);
        const QString allowed = Options::allRawValues<E>().join(u", "_s);
        return QList<Flag>{
            {name, u"VALUE"_s,
             QString::fromUtf8(what) + u": "_s + Options::allRawValues<E>().join(u"|"_s),
             [name, field, allowed](const QString& value) {
                 const auto parsed = Options::fromRaw<E>(value);
                 if (!parsed)
                     return failure(name, u"'"_s + value + u"' is not one of "_s + allowed);
                 return always([field, v = *parsed](S& s) { s.*field = v; });
             },
             [field](const S& s) { return Options::rawValue(s.*field); }}};
    };
}

// A target for the automatic image quality, which it also turns on.
auto autoQuality(const char* flagName, const char* what) {
    return [=](QualityTarget S::*field) {
        const QString name = QString::fromUtf8(flagName);
        const QString allowed = Options::allRawValues<QualityTarget>().join(u", "_s);
        return QList<Flag>{{name, u"TARGET"_s,
                            QString::fromUtf8(what) + u": "_s +
                                Options::allRawValues<QualityTarget>().join(u"|"_s),
                            [name, field, allowed](const QString& value) {
                                const auto parsed = Options::fromRaw<QualityTarget>(value);
                                if (!parsed)
                                    return failure(name, u"'"_s + value + u"' is not one of "_s +
                                                             allowed);
                                return always([field, v = *parsed](S& s) {
                                    s.*field = v;
                                    s.imageQualityAuto = true;
                                });
                            },
                            [field](const S& s) {
                                return s.imageQualityAuto ? Options::rawValue(s.*field) : u"off"_s;
                            }}};
    };
}

auto quality(const char* flagName, const char* what) {
    return [=](double S::*field) {
        const QString name = QString::fromUtf8(flagName);
        return QList<Flag>{{name, u"Q"_s, QString::fromUtf8(what) + u" 0–100"_s,
                            [name, field](const QString& value) {
                                const auto q = NumberText::parseDecimal(value);
                                if (!q || !(*q >= 0 && *q <= 100))
                                    return failure(name, u"'"_s + value +
                                                             u"' is not a number from 0 to 100"_s);
                                return always([field, q = *q](S& s) { s.*field = q; });
                            },
                            [field](const S& s) { return numberText(s.*field); }}};
    };
}

// A whole number in [low, high]; `set` stores it.
Flag wholeNumber(const QString& name, const QString& valueName, const QString& help, qint64 low,
                 qint64 high, std::function<void(S&, qint64)> set, Now now) {
    return {name, valueName, help,
            [=](const QString& value) {
                const auto n = parseInteger(value);
                if (!n || *n < low || *n > high)
                    return failure(name, u"'"_s + value + u"' is not a whole number from "_s +
                                             QString::number(low) + u" to "_s +
                                             QString::number(high));
                return always([set, n = *n](S& s) { set(s, n); });
            },
            std::move(now)};
}

auto integer(const char* name, const char* valueName, const char* help, qint64 low, qint64 high) {
    return [=](qint64 S::*field) {
        return QList<Flag>{wholeNumber(
            QString::fromUtf8(name), QString::fromUtf8(valueName), QString::fromUtf8(help), low,
            high, [field](S& s, qint64 n) { s.*field = n; },
            [field](const S& s) { return QString::number(s.*field); })};
    };
}

// A width cap in pixels that also turns its cap on.
auto width(const char* name, const char* help, bool S::*limit) {
    return [=](qint64 S::*field) {
        return QList<Flag>{wholeNumber(
            QString::fromUtf8(name), u"PX"_s, QString::fromUtf8(help), 2, 100000,
            [=](S& s, qint64 n) {
                s.*field = n;
                s.*limit = true;
            },
            [=](const S& s) { return s.*limit ? QString::number(s.*field) : u"no cap"_s; })};
    };
}

auto noWidthCap(const char* name, const char* help) {
    return [=](bool S::*) {
        return QList<Flag>{toggle(
            name, help,
            [](S& s) {
                s.imageLimitWidth = false;
                s.videoLimitWidth = false;
            },
            [](const S& s) { return onOff(!s.imageLimitWidth && !s.videoLimitWidth); })};
    };
}

auto turnsOn(const char* name, const char* help) {
    return [=](bool S::*field) {
        return QList<Flag>{toggle(
            name, help, [field](S& s) { s.*field = true; },
            [field](const S& s) { return onOff(s.*field); })};
    };
}

auto turnsOff(const char* name, const char* help) {
    return [=](bool S::*field) {
        return QList<Flag>{toggle(
            name, help, [field](S& s) { s.*field = false; },
            [field](const S& s) { return onOff(!(s.*field)); })};
    };
}

// --WORD writes the rendition, --no-WORD does not.
auto rendition(const char* word, const char* what) {
    return [=](bool S::*field) {
        const QString w = QString::fromUtf8(word);
        const QString thing = QString::fromUtf8(what);
        const Now now = [field](const S& s) { return onOff(s.*field); };
        const auto set = [field](bool on) { return [field, on](S& s) { s.*field = on; }; };
        return QList<Flag>{{u"--"_s + w,
                            {},
                            u"write "_s + thing,
                            [set](const QString&) { return always(set(true)); },
                            now},
                           {u"--no-"_s + w,
                            {},
                            u"do not write "_s + thing,
                            [set](const QString&) { return always(set(false)); },
                            now}};
    };
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
    return always([path](S& s) {
        s.outputMode = OutputMode::customFolder;
        s.customFolderPath = path;
    });
}

Prepared prepareSubfolder(const QString& value) {
    if (value.trimmed().isEmpty())
        return failure(u"--subfolder"_s, u"needs a folder name"_s);
    return always([value](S& s) {
        s.outputMode = OutputMode::subfolder;
        s.subfolderName = value;
    });
}

QString outputNow(const S& s) {
    return s.outputMode == OutputMode::customFolder
               ? (s.customFolderPath.isEmpty() ? u"a chosen folder, none set"_s
                                               : s.customFolderPath)
               : u"subfolder "_s + s.subfolderName;
}

auto cropRatios(const char* name, const char* help) {
    return [=](QList<CropVariant> S::*) {
        return QList<Flag>{{QString::fromUtf8(name), u"LIST"_s, QString::fromUtf8(help),
                            prepareCrops, [](const S& s) { return cropRatios(s.activeCrops()); }}};
    };
}

auto noCrops(const char* name, const char* help) {
    return [=](QList<CropVariant> S::*field) {
        return QList<Flag>{toggle(
            name, help,
            [field](S& s) {
                for (auto& crop : s.*field)
                    crop.enabled = false;
            },
            [](const S& s) { return onOff(s.activeCrops().isEmpty()); })};
    };
}

auto folder(const char* name, const char* help) {
    return [=](OutputMode S::*) {
        return QList<Flag>{
            {QString::fromUtf8(name), u"DIR"_s, QString::fromUtf8(help), prepareOutput, outputNow}};
    };
}

auto subfolder(const char* name, const char* help) {
    return [=](QString S::*) {
        return QList<Flag>{{QString::fromUtf8(name), u"NAME"_s, QString::fromUtf8(help),
                            prepareSubfolder, outputNow}};
    };
}

template <typename Field, typename... Builders>
void add(QList<Flag>& flags, [[maybe_unused]] Field field, Builders... builders) {
    (flags.append(builders(field)), ...);
}

QList<Flag> buildFlags() {
    QList<Flag> flags;
#define TERSIO_FLAGS(Type, name, Name, init, since, ...)                                           \
    add(flags, &S::name __VA_OPT__(, ) __VA_ARGS__);
    TERSIO_EVERY_SETTING(TERSIO_FLAGS)
#undef TERSIO_FLAGS
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
