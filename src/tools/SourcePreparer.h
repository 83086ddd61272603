#pragma once

#include <QImage>
#include <QString>

#include <memory>

// Photos that ffmpeg 5.1 would misread are decoded here instead and handed to it as a lossless
// intermediate: HEIC/HEIF (it cannot open them), AVIF (it ignores their rotation, mirroring
// and alpha) and any photo whose embedded colour profile is not sRGB (it ignores profiles).
// The intermediate is upright, in sRGB, with its alpha, in the system's temporary folder.
namespace SourcePreparer {

enum class Reason { none, heif, colourProfile };

// Reads headers only; safe on any thread.
Reason reasonFor(const QString& path);

// The failure text for a source ffmpeg cannot decode at all (an animated WebP); empty otherwise.
QString refusal(const QString& path);

// The intermediate file; removed from disk when the last owner lets go.
class PreparedFile {
  public:
    explicit PreparedFile(QString path) : path_(std::move(path)) {}
    ~PreparedFile();
    PreparedFile(const PreparedFile&) = delete;
    PreparedFile& operator=(const PreparedFile&) = delete;
    const QString& path() const { return path_; }

  private:
    QString path_;
};

struct Decoded {
    QImage image; // 8 bits per channel, upright, in sRGB; null on failure
    QString error;
};

// Decodes the whole picture (libheif or Qt), applies its orientation and converts it to sRGB.
Decoded decode(const QString& path);

// Writes `image` as a PAM file (which ffmpeg reads, alpha included) named
// tersio-prepared-XXXXXX.pam in `directory`; null with `error` set on failure.
std::shared_ptr<PreparedFile> write(const QImage& image, const QString& directory, QString* error);

// Reads back what `write` wrote; null when the file is not such a PAM.
QImage readPam(const QString& path);

struct Preparation {
    std::shared_ptr<PreparedFile> file; // null when the source needs none, or on failure
    QString error;                      // the item's failure text
};

// Blocking: run it on a worker thread. Writes into QDir::tempPath().
Preparation prepare(const QString& path);

} // namespace SourcePreparer
