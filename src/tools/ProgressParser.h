#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>

// Strict UTF-8 across chunk boundaries: a character split between two chunks survives, a chunk
// with invalid bytes gives nothing.
class Utf8Chunks {
  public:
    QString decode(const QByteArray& chunk);

  private:
    QStringDecoder decoder_{QStringDecoder::Utf8};
};

// Turns ffmpeg's "-progress pipe:1" stream into fractions of `duration` (seconds). Fed the raw
// output in arrival order; a line split over two chunks counts once it is complete.
class ProgressParser {
  public:
    explicit ProgressParser(double duration);

    // The fractions, each within 0…1, of the "out_time_us=" lines this chunk completes. A chunk
    // that is not valid UTF-8 is dropped. With no positive duration nothing is ever reported.
    QList<double> feed(const QByteArray& chunk);

  private:
    double duration_;
    QString partialLine_;
    bool skippingLine_ = false; // the rest of an overlong line is thrown away
    Utf8Chunks text_;
};
