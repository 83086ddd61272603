#include "ProgressParser.h"

#include "NumberText.h"

#include <algorithm>

namespace {

const QLatin1String timeKey("out_time_us=");

// A progress line is a few dozen characters; a stream that never ends its line is not one.
constexpr qsizetype longestLine = 4096;

} // namespace

QString Utf8Chunks::decode(const QByteArray& chunk) {
    QString text = decoder_.decode(chunk);
    if (decoder_.hasError()) {
        decoder_.resetState();
        return {};
    }
    return text;
}

ProgressParser::ProgressParser(double duration) : duration_(duration) {}

QList<double> ProgressParser::feed(const QByteArray& chunk) {
    QList<double> fractions;
    if (chunk.isEmpty() || !(duration_ > 0))
        return fractions;
    partialLine_ += text_.decode(chunk);
    if (skippingLine_) {
        const qsizetype newline = partialLine_.indexOf(u'\n');
        if (newline < 0) {
            partialLine_.clear();
            return fractions;
        }
        partialLine_.remove(0, newline + 1);
        skippingLine_ = false;
    }

    qsizetype start = 0;
    for (qsizetype end = partialLine_.indexOf(u'\n'); end >= 0;
         start = end + 1, end = partialLine_.indexOf(u'\n', start)) {
        const QStringView line = QStringView(partialLine_).mid(start, end - start);
        if (!line.startsWith(timeKey))
            continue;
        const auto micros = NumberText::parseDecimal(line.mid(timeKey.size()));
        if (!micros || *micros < 0)
            continue;
        fractions.append(std::clamp(*micros / 1'000'000.0 / duration_, 0.0, 1.0));
    }
    partialLine_.remove(0, start);
    if (partialLine_.size() > longestLine) {
        partialLine_.clear();
        skippingLine_ = true;
    }
    return fractions;
}
