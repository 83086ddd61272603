#include "PackSteps.h"

#include "tools/JpegRepack.h"
#include "tools/PackingTools.h"
#include "tools/PngChunks.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

#include <QImage>

#include <cstdio>
#include <cstdlib>

namespace PackSteps {

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

bool isJpeg(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0;
}

// The progressive re-pack, or, on pictures so small that its scan headers cost more than they
// save, the same bytes without metadata.
std::optional<QByteArray> repacked(const QByteArray& jpeg, const PostStep& step, QString* error) {
    auto packed = JpegRepack::transform(jpeg, {step.grey, step.keepMetadata}, error);
    const auto plain =
        step.keepMetadata ? std::optional<QByteArray>(jpeg) : JpegRepack::withoutMetadata(jpeg);
    if (!packed || (!step.grey && plain && plain->size() < packed->size()))
        return plain;
    return packed;
}

QString repackJpeg(const QString& staged, const PostStep& step) {
    QString error;
    const auto packed = repacked(readAll(staged), step, &error);
    if (!packed)
        return QStringLiteral("JPEG re-pack skipped: %1").arg(error);
    if (!writeAll(staged, *packed))
        return QStringLiteral("JPEG re-pack skipped: the file could not be rewritten.");
    return {};
}

// Binary transparency must stay exactly as it was, soft transparency within a couple of levels
// on average: a palette that frays the edge of a logo does not look the same on every background.
bool alphaHolds(const QString& lossless, const QString& palette) {
    const QImage before = QImage(lossless).convertToFormat(QImage::Format_ARGB32);
    const QImage after = QImage(palette).convertToFormat(QImage::Format_ARGB32);
    if (before.isNull() || before.size() != after.size())
        return false;
    qint64 softError = 0;
    qint64 softPixels = 0;
    for (int y = 0; y < before.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        for (int x = 0; x < before.width(); ++x) {
            const int was = qAlpha(a[x]);
            const int error = std::abs(qAlpha(b[x]) - was);
            if (was == 0 || was == 255) {
                if (error != 0)
                    return false;
            } else {
                softError += error;
                ++softPixels;
            }
        }
    }
    return softError <= qint64(softAlphaTolerance) * softPixels;
}

QString reducePalette(const QString& staged, const PostStep& step, const Context& context) {
    if (!context.tools.pngquant)
        return QStringLiteral("pngquant not found: the PNG keeps all its colours.");
    const QString candidate = staged + QStringLiteral(".palette.png");
    QString note;
    if (const QString error = PackingTools::quantise(*context.tools.pngquant, staged, candidate,
                                                     step.keepMetadata, context.alpha);
        !error.isEmpty()) {
        note = QStringLiteral("Palette step skipped: %1").arg(error);
    } else {
        const auto ssim =
            PackingTools::flattenedSsim(context.tools.ffmpeg, staged, candidate, context.alpha);
        if (ssim && *ssim >= paletteSsimFloor &&
            (!context.alpha || alphaHolds(staged, candidate)) &&
            QFileInfo(candidate).size() < QFileInfo(staged).size() &&
            std::rename(QFile::encodeName(candidate).constData(),
                        QFile::encodeName(staged).constData()) == 0)
            return {};
    }
    QFile::remove(candidate);
    return note;
}

QString stripPngMetadata(const QString& staged) {
    const QByteArray original = readAll(staged);
    const auto stripped = PngChunks::withoutMetadata(original);
    if (stripped && stripped->size() < original.size())
        writeAll(staged, *stripped);
    return {};
}

QString squeezePng(const QString& staged, const PostStep& step, const Context& context) {
    QString note;
    if (!context.tools.optipng)
        note = QStringLiteral("optipng not found: the PNG was not squeezed.");
    else if (const QString error = PackingTools::squeeze(*context.tools.optipng, staged);
             !error.isEmpty())
        note = QStringLiteral("PNG squeeze skipped: %1").arg(error);
    if (!step.keepMetadata)
        stripPngMetadata(staged);
    return note;
}

// The source's own pixels, re-packed without metadata, when the encode came out larger than an
// unchanged source: the output must never cost more than the file it replaces.
QString sourceIfSmaller(const QString& staged, const PostStep& step, const Context& context) {
    const qint64 sourceBytes = QFileInfo(context.source).size();
    if (context.sourcePrepared || sourceBytes <= 0 || QFileInfo(staged).size() <= sourceBytes ||
        !storedUpright(context.source))
        return {};
    const QByteArray source = readAll(context.source);
    if (isJpeg(staged)) {
        const auto packed = repacked(source, step, nullptr);
        if (!packed || packed->size() >= QFileInfo(staged).size() || !writeAll(staged, *packed))
            return QStringLiteral("Larger than its source: the source could not be re-packed.");
        return {};
    }
    const auto kept =
        step.keepMetadata ? std::optional<QByteArray>(source) : PngChunks::withoutMetadata(source);
    if (!kept || !writeAll(staged, *kept))
        return QStringLiteral("Larger than its source: the source could not be re-packed.");
    return {};
}

} // namespace

bool storedUpright(const QString& source) {
    QImageReader reader(source);
    return reader.transformation() == QImageIOHandler::TransformationNone;
}

QStringList run(const PlannedOutput& output, const QString& staged, const Context& context) {
    QStringList notes;
    for (const PostStep& step : output.post) {
        QString note;
        switch (step.kind) {
        case PostStep::Kind::jpegRepack:
            note = repackJpeg(staged, step);
            break;
        case PostStep::Kind::pngPalette:
            note = reducePalette(staged, step, context);
            break;
        case PostStep::Kind::pngSqueeze:
            note = squeezePng(staged, step, context);
            break;
        case PostStep::Kind::sourceIfSmaller:
            note = sourceIfSmaller(staged, step, context);
            break;
        }
        if (!note.isEmpty())
            notes << note;
    }
    return notes;
}

} // namespace PackSteps
