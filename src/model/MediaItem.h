#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

enum class MediaKind { image, video };

namespace MediaKinds {
QString rawValue(MediaKind kind);
std::optional<MediaKind> fromRaw(const QString& raw);
const QSet<QString>& imageExtensions();
const QSet<QString>& videoExtensions();
// The kind a file joins the queue as, judged by its lower-cased extension alone.
std::optional<MediaKind> kindForPath(const QString& path);
} // namespace MediaKinds

struct ItemStatus {
    enum class Case { queued, reading, working, done, failed, cancelled };

    Case value = Case::queued;
    QString message; // only for failed

    static ItemStatus queued() { return {Case::queued, {}}; }
    static ItemStatus reading() { return {Case::reading, {}}; }
    static ItemStatus working() { return {Case::working, {}}; }
    static ItemStatus done() { return {Case::done, {}}; }
    static ItemStatus failed(QString message) { return {Case::failed, std::move(message)}; }
    static ItemStatus cancelled() { return {Case::cancelled, {}}; }

    // queued, failed and cancelled items are processed again by the next run.
    bool needsWork() const {
        return value == Case::queued || value == Case::failed || value == Case::cancelled;
    }
    bool isActive() const { return value == Case::reading || value == Case::working; }

    // The lower-case case name: "queued", "failed", …
    QString name() const;

    friend bool operator==(const ItemStatus&, const ItemStatus&) = default;
};

struct ProducedFile {
    QUuid id = QUuid::createUuid();
    QString label;
    QUrl url;
    qint64 bytes = 0;
    QString note; // what was left undone on it (an optional tool missing), for the user
    // How closely it matches its source (ffmpeg's SSIM "All", 0–1); absent when it was not
    // scored (a video without "Measure video quality", a kept file) or the score failed.
    std::optional<double> ssim;
    // The image quality (0–100) the automatic search chose; absent for a fixed quality.
    std::optional<int> quality;

    friend bool operator==(const ProducedFile&, const ProducedFile&) = default;
};

size_t qHash(const ProducedFile& file, size_t seed = 0);

// What the file system says about a file: enough to tell whether facts read from it earlier
// still describe it (a rewrite changes the time, a replacement the inode).
struct FileStamp {
    qint64 bytes = 0;
    qint64 modifiedNs = 0;
    quint64 inode = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct MediaItem {
    QUuid id = QUuid::createUuid();
    QUrl url;
    // The folder the item was found in when a whole folder was added (absolute, cleaned);
    // empty for a file added by itself. A chosen output folder mirrors the structure below it.
    QString addedFolder;
    MediaKind kind = MediaKind::image;
    qint64 sourceBytes = 0;
    qint64 width = 0;
    qint64 height = 0;
    double duration = 0;
    bool hasAudio = false;
    bool hdr = false;      // PQ or HLG video: tone-mapped to SDR by the planner
    bool hasAlpha = false; // image with an alpha channel: flattened onto white for JPEG/AVIF
    // Where the poster is taken once its frames were looked at; absent: the usual tenth.
    std::optional<double> posterTime;
    // The file as it was when the facts above were read; absent until they are.
    std::optional<FileStamp> factsStamp;
    bool grey = false;   // image with a single colour channel: JPEG outputs stay grey
    bool turned = false; // image stored turned or mirrored, which its decoding applies (EXIF)
    ItemStatus status;
    double progress = 0;
    QString currentTask;
    QList<ProducedFile> outputs;

    // "1920 × 1080", or "—" while the size is not known.
    QString dimensionsLabel() const;
    // The first output stands for the item in every savings figure.
    std::optional<qint64> primaryOutputBytes() const;
};
