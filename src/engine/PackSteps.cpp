#include "PackSteps.h"

#include "tools/ImageSsim.h"
#include "tools/JpegRepack.h"
#include "tools/PackingTools.h"
#include "tools/PalettePng.h"
#include "tools/PngChunks.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>

#include <zlib.h>

namespace PackSteps {

namespace {

// zlib's level for the exact palette: 9 takes three times as long for 2 % fewer bytes.
constexpr int exactLevel = 8;
// The most the squeeze was seen to take off ffmpeg's own level-9 stream (web PNGs, 0 to 3.7 %).
constexpr double squeezeGainAtMost = 0.04;

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

// Adds the time from its making to its end to one of the step times, when they are measured.
class StepClock {
  public:
    StepClock(const Context& context, qint64 StepTimes::*field)
        : times_(context.times), field_(field) {
        timer_.start();
    }
    ~StepClock() {
        if (times_)
            times_->*field_ += timer_.nsecsElapsed();
    }
    StepClock(const StepClock&) = delete;
    StepClock& operator=(const StepClock&) = delete;

  private:
    StepTimes* times_;
    qint64 StepTimes::*field_;
    QElapsedTimer timer_;
};

// What the palette step leaves to the squeeze after it.
struct PngState {
    // The image data was deflated by a palette writer (pngquant's or the exact one), as tightly
    // as the squeeze would.
    bool deflated = false;
};

// pngquant's copy of the staged file, made on a thread of its own while this one reads the
// picture, under a job of its own: stopped with the output's job, or when the copy is not wanted.
class Quantising {
  public:
    Quantising(const QString& pngquant, const QString& staged, bool keepMetadata, bool alpha)
        : candidate_(staged + QStringLiteral(".palette.png")),
          result_(std::async(std::launch::async, [=, this] {
              return PackingTools::quantise(job_, pngquant, staged, candidate_, keepMetadata,
                                            alpha);
          })) {}
    ~Quantising() {
        abandon();
        QFile::remove(candidate_);
    }
    Quantising(const Quantising&) = delete;
    Quantising& operator=(const Quantising&) = delete;

    // Stops pngquant and waits until it is gone.
    void abandon() {
        job_.stop();
        if (result_.valid())
            result_.wait();
    }

    // Waits for pngquant, passing on a stop of `outer`. The failure text; empty on success.
    QString finish(const FFmpegJob& outer) {
        while (result_.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
            if (outer.cancelled())
                job_.stop();
        return result_.get();
    }

    const QString& candidate() const { return candidate_; }

  private:
    FFmpegJob job_;
    QString candidate_;
    std::future<QString> result_;
};

// pngquant's copy replaces the staged file when it keeps the alpha and the look and is smaller.
QString keepQuantised(FFmpegJob& job, Quantising& quantising, const QString& staged,
                      const QImage& lossless, const Context& context, PngState& state) {
    if (const QString error = quantising.finish(job); !error.isEmpty())
        return job.cancelled() ? QString() : QStringLiteral("Palette step skipped: %1").arg(error);
    const QString& candidate = quantising.candidate();
    const QImage reduced(candidate);
    bool kept = !reduced.isNull() && QFileInfo(candidate).size() < QFileInfo(staged).size() &&
                (!context.alpha || alphaHolds(lossless, reduced));
    if (kept) {
        const StepClock clock(context, &StepTimes::ssim);
        const auto ssim = ImageSsim::flattened(lossless, reduced, context.alpha);
        kept = ssim && *ssim >= paletteSsimFloor;
    }
    if (kept && std::rename(QFile::encodeName(candidate).constData(),
                            QFile::encodeName(staged).constData()) == 0)
        state.deflated = true;
    return {};
}

// A picture of few colours becomes its exact palette PNG; any other is offered to pngquant,
// which starts at once and works while the picture is read here.
QString reducePalette(FFmpegJob& job, const QString& staged, const PostStep& step,
                      const Context& context, PngState& state) {
    const StepClock clock(context, &StepTimes::palette);
    std::optional<Quantising> quantising;
    if (context.tools.pngquant)
        quantising.emplace(*context.tools.pngquant, staged, step.keepMetadata, context.alpha);
    const QByteArray lossless = readAll(staged);
    const QImage image = QImage::fromData(lossless, "PNG");
    if (image.isNull())
        return QStringLiteral("Palette step skipped: the PNG could not be read.");
    if (const auto exact = PalettePng::exact(image, lossless, exactLevel)) {
        // Before the staged file changes under it.
        if (quantising)
            quantising->abandon();
        if (exact->size() < lossless.size() && writeAll(staged, *exact))
            state.deflated = true;
        return {};
    }
    if (!quantising)
        return QStringLiteral("pngquant not found: the PNG keeps all its colours.");
    return keepQuantised(job, *quantising, staged, image, context, state);
}

// True when the fall-back on the source will replace the staged file whatever the squeeze
// takes off it.
bool sourceWillWin(const PlannedOutput& output, const QString& staged, const Context& context) {
    const bool planned =
        std::any_of(output.post.begin(), output.post.end(), [](const PostStep& step) {
            return step.kind == PostStep::Kind::sourceIfSmaller;
        });
    const qint64 sourceBytes = QFileInfo(context.source).size();
    return planned && !context.sourcePrepared && sourceBytes > 0 &&
           double(QFileInfo(staged).size()) * (1 - squeezeGainAtMost) > double(sourceBytes) &&
           storedUpright(context.source);
}

// ffmpeg's image data deflated again, in one chunk, with the strategy meant for filtered rows,
// where that can pay; the metadata dropped unless it is kept. Level 9 would take twice as long
// for 1 % fewer bytes.
QString squeezePng(const QString& staged, const PlannedOutput& output, const PostStep& step,
                   const Context& context, const PngState& state) {
    const StepClock clock(context, &StepTimes::squeeze);
    const bool redeflate = !state.deflated && !sourceWillWin(output, staged, context);
    if (!redeflate && step.keepMetadata)
        return {};
    const QByteArray original = readAll(staged);
    std::optional<QByteArray> packed = original;
    if (redeflate)
        packed = PngChunks::redeflated(original, 8, Z_FILTERED).value_or(original);
    if (!step.keepMetadata)
        packed = PngChunks::withoutMetadata(*packed);
    if (packed && packed->size() < original.size())
        writeAll(staged, *packed);
    return {};
}

// The source's own pixels, re-packed without metadata, when the encode came out larger than an
// unchanged source: the output must never cost more than the file it replaces.
QString sourceIfSmaller(const QString& staged, const PostStep& step, const Context& context) {
    const StepClock clock(context, &StepTimes::fallback);
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

// Binary transparency must stay exactly as it was, soft transparency within a couple of levels
// on average: a palette that frays the edge of a logo does not look the same on every background.
bool alphaHolds(const QImage& lossless, const QImage& palette) {
    const QImage before = lossless.convertToFormat(QImage::Format_ARGB32);
    const QImage after = palette.convertToFormat(QImage::Format_ARGB32);
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

bool storedUpright(const QString& source) {
    QImageReader reader(source);
    return reader.transformation() == QImageIOHandler::TransformationNone;
}

QStringList run(FFmpegJob& job, const PlannedOutput& output, const QString& staged,
                const Context& context) {
    QStringList notes;
    PngState png;
    for (const PostStep& step : output.post) {
        QString note;
        switch (step.kind) {
        case PostStep::Kind::jpegRepack:
            note = repackJpeg(staged, step);
            break;
        case PostStep::Kind::pngPalette:
            note = reducePalette(job, staged, step, context, png);
            break;
        case PostStep::Kind::pngSqueeze:
            note = squeezePng(staged, output, step, context, png);
            break;
        case PostStep::Kind::sourceIfSmaller:
            note = sourceIfSmaller(staged, step, context);
            break;
        }
        if (!note.isEmpty())
            notes << note;
        if (job.cancelled())
            break;
    }
    return notes;
}

} // namespace PackSteps
