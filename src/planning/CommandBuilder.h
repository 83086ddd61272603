#pragma once

#include "model/CropVariant.h"
#include "model/MediaItem.h"
#include "model/TersioSettings.h"
#include "tools/EncoderCaps.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <stdexcept>

// A step run on ffmpeg's finished file before it is renamed into place. Each only ever makes the
// file smaller for the same look, and is skipped (with a note) when its tool is missing.
struct PostStep {
    enum class Kind {
        jpegRepack,      // lossless progressive re-pack with optimised Huffman tables
        pngPalette,      // palette quantisation, kept only when the look holds
        pngSqueeze,      // lossless recompression
        sourceIfSmaller, // the source re-packed, when the output came out larger than it
    };
    Kind kind = Kind::jpegRepack;
    bool grey = false;         // jpegRepack: the colour planes are flat and dropped
    bool keepMetadata = false; // the user keeps metadata: the re-pack copies it

    // "jpeg-lossless-progressive", "png-palette", "png-lossless-squeeze",
    // "source-if-smaller", with "-grey" and "-keep-metadata" appended for the options.
    QString name() const;

    friend bool operator==(const PostStep&, const PostStep&) = default;
};

// One planned ffmpeg invocation. The last element of `arguments` is always the destination path.
struct PlannedOutput {
    QString label;
    QUrl destination;
    QStringList arguments;
    double progressDuration = 0; // 0: the invocation asks for no progress reports
    QList<PostStep> post;        // in order, on the staged file

    friend bool operator==(const PlannedOutput&, const PlannedOutput&) = default;
};

// The system's one error type; what() and message() are the user-facing text.
class TersioError : public std::runtime_error {
  public:
    explicit TersioError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

  private:
    QString message_;
};

// Turns one source plus settings into output paths and ffmpeg argument lists. Pure, apart from
// outputDirectory creating the folder and writesOverSource looking at the two files.
namespace CommandBuilder {

// Creates the folder. Throws TersioError (empty custom folder, or the folder cannot be made,
// carrying the file system's reason).
QUrl outputDirectory(const MediaItem& item, const TersioSettings& settings);

// The folder outputDirectory would create, without touching the disk (dry runs). Throws
// TersioError for an empty custom folder.
QUrl plannedOutputDirectory(const MediaItem& item, const TersioSettings& settings);

// directory/stem[-suffix].ext, the name used exactly as built.
QUrl destination(const QUrl& directory, const QString& stem, const QString& suffix,
                 const QString& ext);

// The same invocation writing `fileName` in the same folder instead.
PlannedOutput renamed(const PlannedOutput& output, const QString& fileName);

// The file name without its last extension: "Holiday.2024.MOV" -> "Holiday.2024".
QString stem(const QUrl& source);

// "-hide_banner", "-nostdin", "-y", "-loglevel", "error", [progress], "-i", path.
QStringList header(const QUrl& source, bool withProgress);

// 0–100 quality onto an encoder scale; q = 100 gives best, 0 (or less, or NaN) gives worst.
int crf(double quality, int best, int worst);

// "-an", or "-c:a", codec, "-b:a", "<kbps>k", "-ac", "1"|"2".
QStringList audioArguments(const MediaItem& item, const TersioSettings& settings,
                           const QString& codec);

// The window a crop cuts from a frame of the given size, and the width it is scaled to.
struct CropWindow {
    qint64 width = 0;
    qint64 height = 0;
    qint64 x = 0;
    qint64 y = 0;
    qint64 scaledWidth = 0;

    friend bool operator==(const CropWindow&, const CropWindow&) = default;
};

// No window for an unmeasured frame or a crop whose aspect terms are not both positive.
std::optional<CropWindow> cropWindow(const CropVariant& crop, qint64 width, qint64 height);

QList<PlannedOutput> imagePlan(const MediaItem& item, const TersioSettings& settings,
                               const EncoderCaps& caps, const QUrl& directory);

QList<PlannedOutput> videoPlan(const MediaItem& item, const TersioSettings& settings,
                               const EncoderCaps& caps, const QUrl& directory);

// True when the planned destination and the source name the same file (canonical paths when
// both exist, cleaned absolute paths otherwise). The batch run refuses such an output.
bool writesOverSource(const PlannedOutput& output, const QUrl& source);

} // namespace CommandBuilder
