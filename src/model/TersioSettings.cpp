#include "TersioSettings.h"

#include "Preferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>

namespace {

// A JSON number that is whole and fits a signed 64-bit integer.
std::optional<qint64> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double d = value.toDouble();
    // 2^63 itself does not fit; every double below it that is whole does.
    if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 ||
        d >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<qint64>(d);
}

// Qt's reader accepts numbers JSON does not (".5", "1.") and clamps whole numbers beyond 64 bits
// to the nearest limit without a word, so the document's own number tokens are checked first.
bool numbersAreStrict(const QByteArray& text) {
    static const QRegularExpression number(
        QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?$"));
    bool inString = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
            continue;
        }
        if (c != '-' && c != '.' && (c < '0' || c > '9'))
            continue;
        qsizetype end = i;
        while (end < text.size() && QByteArrayView("0123456789+-.eE").contains(text.at(end)))
            ++end;
        const QByteArray token = text.mid(i, end - i);
        if (!number.match(QString::fromLatin1(token)).hasMatch())
            return false;
        bool fits = true;
        if (!token.contains('.') && !token.contains('e') && !token.contains('E'))
            token.toLongLong(&fits);
        if (!fits)
            return false;
        i = end - 1;
    }
    return true;
}

// Reads keys in order and remembers whether any of them was unusable.
class StrictReader {
  public:
    explicit StrictReader(const QJsonObject& object) : object_(object) {}

    bool ok() const { return ok_; }

    void read(const char* key, double& out) {
        const auto v = object_.value(QLatin1String(key));
        if (v.isDouble())
            out = v.toDouble();
        else
            ok_ = false;
    }
    void read(const char* key, qint64& out) {
        if (auto n = wholeNumber(object_.value(QLatin1String(key))))
            out = *n;
        else
            ok_ = false;
    }
    void read(const char* key, bool& out) {
        const auto v = object_.value(QLatin1String(key));
        if (v.isBool())
            out = v.toBool();
        else
            ok_ = false;
    }
    void read(const char* key, QString& out) {
        const auto v = object_.value(QLatin1String(key));
        if (v.isString())
            out = v.toString();
        else
            ok_ = false;
    }
    template <typename E> void readEnum(const char* key, E& out) {
        const auto v = object_.value(QLatin1String(key));
        if (auto e = v.isString() ? Options::fromRaw<E>(v.toString()) : std::nullopt)
            out = *e;
        else
            ok_ = false;
    }
    QJsonValue raw(const char* key) const { return object_.value(QLatin1String(key)); }
    void fail() { ok_ = false; }

  private:
    const QJsonObject& object_;
    bool ok_ = true;
};

} // namespace

QList<CropVariant> TersioSettings::activeCrops() const {
    QList<CropVariant> active;
    for (const auto& crop : cropVariants)
        if (crop.enabled)
            active << crop;
    return active;
}

namespace CropJson {

QJsonObject toJson(const CropVariant& crop) {
    return QJsonObject{
        {QStringLiteral("id"), crop.id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("name"), crop.name},
        {QStringLiteral("aspectW"), crop.aspectW},
        {QStringLiteral("aspectH"), crop.aspectH},
        {QStringLiteral("targetWidth"), crop.targetWidth},
        {QStringLiteral("anchor"), Options::rawValue(crop.anchor)},
        {QStringLiteral("enabled"), crop.enabled},
    };
}

std::optional<CropVariant> fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    StrictReader in(object);
    CropVariant crop;
    QString idText;
    in.read("id", idText);
    // Only the 36-character hyphenated form is an id; braces or other spellings are not.
    crop.id = idText.size() == 36 ? QUuid::fromString(idText) : QUuid();
    if (crop.id.isNull() && idText != QLatin1String("00000000-0000-0000-0000-000000000000"))
        in.fail();
    in.read("name", crop.name);
    in.read("aspectW", crop.aspectW);
    in.read("aspectH", crop.aspectH);
    in.read("targetWidth", crop.targetWidth);
    in.readEnum("anchor", crop.anchor);
    in.read("enabled", crop.enabled);
    if (!in.ok())
        return std::nullopt;
    return crop;
}

} // namespace CropJson

QJsonObject TersioSettings::toJson() const {
    QJsonArray crops;
    for (const auto& crop : cropVariants)
        crops.append(CropJson::toJson(crop));
    return QJsonObject{
        {QStringLiteral("imageFormat"), Options::rawValue(imageFormat)},
        {QStringLiteral("imageQuality"), imageQuality},
        {QStringLiteral("imageMaxWidth"), imageMaxWidth},
        {QStringLiteral("imageLimitWidth"), imageLimitWidth},
        {QStringLiteral("alsoEmitWebP"), alsoEmitWebP},
        {QStringLiteral("stripMetadata"), stripMetadata},
        {QStringLiteral("videoQuality"), videoQuality},
        {QStringLiteral("videoMaxWidth"), videoMaxWidth},
        {QStringLiteral("videoLimitWidth"), videoLimitWidth},
        {QStringLiteral("speed"), Options::rawValue(speed)},
        {QStringLiteral("makeH264"), makeH264},
        {QStringLiteral("makeHEVC"), makeHEVC},
        {QStringLiteral("makeWebM"), makeWebM},
        {QStringLiteral("makePoster"), makePoster},
        {QStringLiteral("audio"), Options::rawValue(audio)},
        {QStringLiteral("audioKbps"), audioKbps},
        {QStringLiteral("cropVariants"), crops},
        {QStringLiteral("outputMode"), Options::rawValue(outputMode)},
        {QStringLiteral("subfolderName"), subfolderName},
        {QStringLiteral("customFolderPath"), customFolderPath},
        {QStringLiteral("maxConcurrent"), maxConcurrent},
        {QStringLiteral("overwriteExisting"), overwriteExisting},
    };
}

QByteArray TersioSettings::toJsonBytes() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<TersioSettings> TersioSettings::fromJson(const QJsonObject& object) {
    TersioSettings s;
    StrictReader in(object);
    in.readEnum("imageFormat", s.imageFormat);
    in.read("imageQuality", s.imageQuality);
    in.read("imageMaxWidth", s.imageMaxWidth);
    in.read("imageLimitWidth", s.imageLimitWidth);
    in.read("alsoEmitWebP", s.alsoEmitWebP);
    in.read("stripMetadata", s.stripMetadata);
    in.read("videoQuality", s.videoQuality);
    in.read("videoMaxWidth", s.videoMaxWidth);
    in.read("videoLimitWidth", s.videoLimitWidth);
    in.readEnum("speed", s.speed);
    in.read("makeH264", s.makeH264);
    in.read("makeHEVC", s.makeHEVC);
    in.read("makeWebM", s.makeWebM);
    in.read("makePoster", s.makePoster);
    in.readEnum("audio", s.audio);
    in.read("audioKbps", s.audioKbps);

    const QJsonValue crops = in.raw("cropVariants");
    if (crops.isArray()) {
        s.cropVariants.clear();
        for (const auto& element : crops.toArray()) {
            auto crop = CropJson::fromJson(element);
            if (!crop) {
                in.fail();
                break;
            }
            s.cropVariants << *crop;
        }
    } else {
        in.fail();
    }

    in.readEnum("outputMode", s.outputMode);
    in.read("subfolderName", s.subfolderName);
    in.read("customFolderPath", s.customFolderPath);
    in.read("maxConcurrent", s.maxConcurrent);
    in.read("overwriteExisting", s.overwriteExisting);
    if (!in.ok())
        return std::nullopt;
    return s;
}

std::optional<TersioSettings> TersioSettings::fromJsonBytes(const QByteArray& bytes) {
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() || !numbersAreStrict(bytes))
        return std::nullopt;
    return fromJson(document.object());
}

TersioSettings TersioSettings::load() {
    return load(*Preferences::openStore());
}

TersioSettings TersioSettings::load(const QSettings& store) {
    const QVariant blob = store.value(Preferences::settingsKey);
    if (!blob.isValid())
        return {};
    return fromJsonBytes(blob.toByteArray()).value_or(TersioSettings{});
}

void TersioSettings::save() const {
    auto store = Preferences::openStore();
    save(*store);
}

void TersioSettings::save(QSettings& store) const {
    const QByteArray bytes = toJsonBytes();
    if (bytes.isEmpty())
        return;
    store.setValue(Preferences::settingsKey, bytes);
    store.sync();
}
