#include "ImageInspector.h"

#include "ColourProfile.h"
#include "HeifReader.h"
#include "ImageHeader.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <algorithm>

namespace {

// Facts decoded only need the pixel format and colour profile, so a big picture is decoded small.
constexpr int factsDecodeSide = 256;

QSize displayedSize(QImageReader& reader) {
    const QSize stored = reader.size();
    if (stored.isEmpty())
        return {};
    // EXIF orientations 5 to 8 turn the picture on its side.
    if (reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
        return stored.transposed();
    return stored;
}

bool turned(QImageReader& reader) {
    return reader.transformation() != QImageIOHandler::TransformationNone;
}

bool isWide(const QColorSpace& space) {
    return space.isValid() && space.primaries() != QColorSpace::Primaries::SRgb;
}

// Qt decodes grey-with-alpha PNGs to colour, so the PNG header's colour type (0 grey, 4 grey
// with alpha) is read directly.
bool storedGrey(const QString& path, const QImage& decoded) {
    if (decoded.format() == QImage::Format_Grayscale8 ||
        decoded.format() == QImage::Format_Grayscale16)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(26);
    return head.size() == 26 && head.startsWith("\x89PNG\r\n\x1a\n") && head.mid(12, 4) == "IHDR" &&
           (head.at(25) == 0 || head.at(25) == 4);
}

std::optional<QSize> qtSize(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = displayedSize(reader);
    if (size.isEmpty() && reader.canRead()) // a handler that cannot tell without decoding
        size = reader.read().size();
    if (size.isEmpty())
        return std::nullopt;
    return size;
}

// JPEG, PNG and WebP say in their headers all that the planners need, so a photo is never
// decoded to plan it. The rest are decoded (small): a GIF keeps its transparency in each frame's
// colour table, and a file cut short or with a damaged header is left to the decoder to judge.
std::optional<ImageFacts> qtFacts(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize displayed = displayedSize(reader);
    // Multi-page TIFFs are not animations, and Qt's TIFF page count upsets libtiff.
    const int frames = reader.supportsAnimation() ? std::max(1, reader.imageCount()) : 1;
    if (!displayed.isEmpty())
        if (const auto channels = ImageHeader::channels(path)) {
            const QByteArray icc = ColourProfile::embeddedIcc(path);
            return ImageFacts{QSizeF(displayed),
                              channels->alpha,
                              frames,
                              !icc.isEmpty() && isWide(QColorSpace::fromIccProfile(icc)),
                              channels->grey,
                              turned(reader)};
        }
    const QSize stored = reader.size();
    if (!stored.isEmpty() && std::max(stored.width(), stored.height()) > factsDecodeSide)
        reader.setScaledSize(stored.scaled(factsDecodeSide, factsDecodeSide, Qt::KeepAspectRatio)
                                 .expandedTo(QSize(1, 1)));
    const QImage first = reader.read();
    if (first.isNull())
        return std::nullopt;
    const QSize size = displayed.isEmpty() ? first.size() : displayed;
    return ImageFacts{QSizeF(size),
                      first.hasAlphaChannel(),
                      frames,
                      isWide(first.colorSpace()),
                      storedGrey(path, first),
                      turned(reader)};
}

std::optional<ImageFacts> heifFacts(const QString& path) {
    const auto info = HeifReader::inspect(path);
    if (!info)
        return std::nullopt;
    // As shown: a HEIF source is always read through an upright prepared copy.
    return ImageFacts{QSizeF(info->size), info->hasAlpha, 1, info->wideGamut, false, false};
}

std::optional<QSize> heifSize(const QString& path) {
    const auto info = HeifReader::inspect(path);
    if (!info)
        return std::nullopt;
    return info->size;
}

// The extension picks the decoder first; a file whose extension lies still gets the other one.
template <typename T>
std::optional<T> either(const QString& path, std::optional<T> (*qt)(const QString&),
                        std::optional<T> (*heif)(const QString&)) {
    const bool heifFirst = HeifReader::handlesExtension(path);
    if (auto found = heifFirst ? heif(path) : qt(path))
        return found;
    return heifFirst ? qt(path) : heif(path);
}

} // namespace

namespace ImageInspector {

std::optional<QSizeF> pixelSize(const QUrl& image) {
    if (!image.isLocalFile())
        return std::nullopt;
    const auto size = either<QSize>(image.toLocalFile(), qtSize, heifSize);
    if (!size)
        return std::nullopt;
    return QSizeF(*size);
}

std::optional<ImageFacts> facts(const QUrl& image) {
    if (!image.isLocalFile())
        return std::nullopt;
    return either<ImageFacts>(image.toLocalFile(), qtFacts, heifFacts);
}

} // namespace ImageInspector
