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
    template <typename E>
    requires std::is_enum_v<E>
    void read(const char* key, E& out) {
        const auto v = object_.value(QLatin1String(key));
        if (auto e = v.isString() ? Options::fromRaw<E>(v.toString()) : std::nullopt)
            out = *e;
        else
            ok_ = false;
    }
    void read(const char* key, QList<CropVariant>& out);
    void fail() { ok_ = false; }

  private:
    const QJsonObject& object_;
    bool ok_ = true;
};

QJsonValue jsonValue(double v) {
    return v;
}
QJsonValue jsonValue(qint64 v) {
    return v;
}
QJsonValue jsonValue(bool v) {
    return v;
}
QJsonValue jsonValue(const QString& v) {
    return v;
}
template <typename E>
requires std::is_enum_v<E> QJsonValue jsonValue(E v) {
    return Options::rawValue(v);
}
QJsonValue jsonValue(const QList<CropVariant>& crops) {
    QJsonArray array;
    for (const auto& crop : crops)
        array.append(CropJson::toJson(crop));
    return array;
}

} // namespace

#define TERSIO_COUNT(...) +1
const int TersioSettings::keyCount = 0 TERSIO_EVERY_SETTING(TERSIO_COUNT);
#undef TERSIO_COUNT
#define TERSIO_COUNT_LATER(Type, name, Name, init, since, ...) +(since > 1 ? 1 : 0)
const int TersioSettings::laterKeyCount = 0 TERSIO_EVERY_SETTING(TERSIO_COUNT_LATER);
#undef TERSIO_COUNT_LATER

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
    in.read("anchor", crop.anchor);
    in.read("enabled", crop.enabled);
    if (!in.ok())
        return std::nullopt;
    return crop;
}

} // namespace CropJson

namespace {

void StrictReader::read(const char* key, QList<CropVariant>& out) {
    const QJsonValue crops = object_.value(QLatin1String(key));
    if (!crops.isArray()) {
        ok_ = false;
        return;
    }
    out.clear();
    for (const auto& element : crops.toArray()) {
        auto crop = CropJson::fromJson(element);
        if (!crop) {
            ok_ = false;
            return;
        }
        out << *crop;
    }
}

} // namespace

QJsonObject TersioSettings::toJson() const {
    QJsonObject object;
#define TERSIO_WRITE(Type, name, ...) object.insert(QStringLiteral(#name), jsonValue(name));
    TERSIO_EVERY_SETTING(TERSIO_WRITE)
#undef TERSIO_WRITE
    return object;
}

QByteArray TersioSettings::toJsonBytes() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<TersioSettings> TersioSettings::fromJson(const QJsonObject& object) {
    TersioSettings s;
    StrictReader in(object);
    // A key added after the first document may be missing (it keeps its default); present, it
    // is read as strictly as any other. Keys the table does not name are ignored.
#define TERSIO_READ(Type, name, Name, init, since, ...)                                            \
    if (since == 1 || object.contains(QLatin1String(#name)))                                       \
        in.read(#name, s.name);
    TERSIO_EVERY_SETTING(TERSIO_READ)
#undef TERSIO_READ
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
