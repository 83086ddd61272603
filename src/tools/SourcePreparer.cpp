#include "SourcePreparer.h"

#include "CmykJpeg.h"
#include "ColourProfile.h"
#include "HeifReader.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QTemporaryFile>

#include <optional>
#include <vector>

namespace {

const QString undecodableText = QStringLiteral("This photo could not be decoded: ");
const QString unwritableText = QStringLiteral("This photo could not be prepared for FFmpeg: ");

// The formats the PAM writer takes as they are; anything else is converted first.
bool writable(QImage::Format format) {
    return format == QImage::Format_RGB888 || format == QImage::Format_RGBA8888 ||
           format == QImage::Format_RGB32 || format == QImage::Format_ARGB32;
}

QImage::Format eightBitFormat(const QImage& image) {
    return image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
}

QImage decodeWithQt(const QString& path, QString* reason) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        *reason = reader.errorString();
    return image;
}

struct Picture {
    QImage image;
    QByteArray icc; // the profile its pixels are in; empty for sRGB or none
};

Picture decodeAny(const QString& path, QString* reason) {
    if (HeifReader::hasHeifContent(path)) {
        QImage image = HeifReader::decode(path, reason);
        return {image, image.colorSpace().iccProfile()};
    }
    if (std::optional<QImage> cmyk = CmykJpeg::decode(path, reason))
        return {*cmyk, {}};
    // Qt 6.4 drops some profiles it cannot use (a grey one on a PNG with alpha): read the file's.
    return {decodeWithQt(path, reason), ColourProfile::embeddedIcc(path)};
}

// Rows out of a 32-bit image in PAM's byte order, one at a time, so no second full copy exists.
void packRow(const QImage& image, int y, bool alpha, std::vector<uchar>& row) {
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    uchar* out = row.data();
    for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = pixels[x];
        *out++ = uchar(qRed(pixel));
        *out++ = uchar(qGreen(pixel));
        *out++ = uchar(qBlue(pixel));
        if (alpha)
            *out++ = uchar(qAlpha(pixel));
    }
}

} // namespace

namespace SourcePreparer {

PreparedFile::~PreparedFile() {
    QFile::remove(path_);
}

Reason reasonFor(const QString& path) {
    if (HeifReader::hasHeifContent(path))
        return Reason::heif;
    return ColourProfile::changesColours(ColourProfile::embeddedIcc(path)) ? Reason::colourProfile
                                                                           : Reason::none;
}

QString refusal(const QString& path) {
    QImageReader reader(path);
    if (reader.format() == "webp" && reader.imageCount() > 1)
        return QStringLiteral("Animated WebP is not supported by this FFmpeg build.");
    return {};
}

Decoded decode(const QString& path) {
    QString reason;
    auto [image, icc] = decodeAny(path, &reason);
    if (image.isNull())
        return {{},
                undecodableText + (reason.isEmpty() ? QStringLiteral("unknown error") : reason)};

    if (ColourProfile::changesColours(icc))
        if (QImage converted = ColourProfile::toSrgb(image, icc); !converted.isNull())
            image = std::move(converted);
    if (!writable(image.format()))
        image.convertTo(eightBitFormat(image));
    return {image, {}};
}

std::shared_ptr<PreparedFile> write(const QImage& image, const QString& directory, QString* error) {
    QTemporaryFile file(QDir(directory).filePath(QStringLiteral("tersio-prepared-XXXXXX.pam")));
    file.setAutoRemove(false);
    if (!file.open()) {
        *error = file.errorString();
        return nullptr;
    }
    auto prepared = std::make_shared<PreparedFile>(file.fileName());
    const bool alpha = image.hasAlphaChannel();
    const int depth = alpha ? 4 : 3;
    const QByteArray header = QStringLiteral("P7\nWIDTH %1\nHEIGHT %2\nDEPTH %3\nMAXVAL 255\n"
                                             "TUPLTYPE %4\nENDHDR\n")
                                  .arg(image.width())
                                  .arg(image.height())
                                  .arg(depth)
                                  .arg(alpha ? QStringLiteral("RGB_ALPHA") : QStringLiteral("RGB"))
                                  .toLatin1();
    bool ok = file.write(header) == header.size();
    const qint64 rowBytes = qint64(image.width()) * depth;
    const bool packed =
        image.format() == QImage::Format_RGB888 || image.format() == QImage::Format_RGBA8888;
    std::vector<uchar> row(packed ? 0 : size_t(rowBytes));
    for (int y = 0; ok && y < image.height(); ++y) {
        const char* bytes = reinterpret_cast<const char*>(image.constScanLine(y));
        if (!packed) {
            packRow(image, y, alpha, row);
            bytes = reinterpret_cast<const char*>(row.data());
        }
        ok = file.write(bytes, rowBytes) == rowBytes;
    }
    ok = ok && file.flush();
    if (!ok) {
        *error = file.errorString();
        return nullptr; // the PreparedFile removes what was written
    }
    return prepared;
}

QImage readPam(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QHash<QByteArray, QByteArray> fields;
    if (file.readLine().trimmed() != "P7")
        return {};
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line == "ENDHDR")
            break;
        const qsizetype space = line.indexOf(' ');
        if (space > 0)
            fields.insert(line.left(space), line.mid(space + 1).trimmed());
    }
    const int width = fields.value("WIDTH").toInt();
    const int height = fields.value("HEIGHT").toInt();
    const int depth = fields.value("DEPTH").toInt();
    if (width <= 0 || height <= 0 || (depth != 3 && depth != 4) || fields.value("MAXVAL") != "255")
        return {};
    // Opaque pictures as RGB32, which is what the scores and the screen take without converting.
    QImage image(width, height, depth == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB32);
    const qint64 rowBytes = qint64(width) * depth;
    std::vector<uchar> row(depth == 4 ? 0 : size_t(rowBytes));
    for (int y = 0; y < height && !image.isNull(); ++y) {
        if (depth == 4) {
            if (file.read(reinterpret_cast<char*>(image.scanLine(y)), rowBytes) != rowBytes)
                return {};
            continue;
        }
        if (file.read(reinterpret_cast<char*>(row.data()), rowBytes) != rowBytes)
            return {};
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            out[x] = qRgb(row[size_t(3 * x)], row[size_t(3 * x + 1)], row[size_t(3 * x + 2)]);
    }
    return image;
}

Preparation prepare(const QString& path) {
    if (reasonFor(path) == Reason::none)
        return {};
    Decoded decoded = decode(path);
    if (decoded.image.isNull())
        return {nullptr, decoded.error};
    QString error;
    auto file = write(decoded.image, QDir::tempPath(), &error);
    if (!file)
        return {nullptr, unwritableText + error};
    return {std::move(file), {}};
}

} // namespace SourcePreparer
