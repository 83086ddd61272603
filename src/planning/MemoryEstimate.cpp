#include "MemoryEstimate.h"

#include <unistd.h>

#include <algorithm>

namespace {

constexpr qint64 MB = 1024 * 1024;

QString valueAfter(const QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

// Megabytes per megapixel of output frame, measured on 1080p and 720x1280 encodes (2 threads):
// mostly the look-ahead and reference frames each encoder keeps.
qint64 perMegapixel(const QString& codec) {
    if (codec == QLatin1String("libx264"))
        return 220;
    if (codec == QLatin1String("libx265"))
        return 200;
    if (codec == QLatin1String("libvpx-vp9"))
        return 150;
    if (codec == QLatin1String("libsvtav1") || codec == QLatin1String("libaom-av1"))
        return 120;
    return 30; // still-image encoders hold a frame or two
}

} // namespace

namespace MemoryEstimate {

QSize outputSize(const PlannedOutput& output, QSize source) {
    QSize size = source;
    const QString vf = valueAfter(output.arguments, QStringLiteral("-vf"));
    for (const QString& filter : vf.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList terms = filter.section(QLatin1Char('='), 1).split(QLatin1Char(':'));
        if (filter.startsWith(QLatin1String("crop=")) && terms.size() >= 2) {
            size = QSize(terms.at(0).toInt(), terms.at(1).toInt());
        } else if (filter.startsWith(QLatin1String("scale=")) && !terms.isEmpty()) {
            const int width = terms.at(0).toInt();
            if (width > 0 && size.width() > 0)
                size = QSize(width, int(qint64(size.height()) * width / size.width()));
            else if (width > 0)
                size = QSize(width, width); // unknown source: assume square, on the high side
        }
    }
    return size;
}

qint64 outputBytes(const PlannedOutput& output, QSize source) {
    QSize size = outputSize(output, source);
    if (size.isEmpty())
        size = QSize(1920, 1080);
    const double megapixels = double(size.width()) * double(size.height()) / 1e6;
    const QString codec = valueAfter(output.arguments, QStringLiteral("-c:v"));
    return qint64(megapixels * double(perMegapixel(codec) * MB)) + 16 * MB;
}

qint64 processBytes(const QList<PlannedOutput>& outputs, QSize source) {
    const QSize decoded = source.isEmpty() ? QSize(1920, 1080) : source;
    // About 24 decoded frames in flight (decoder threads and references) at 1.5 bytes a pixel.
    qint64 total = 64 * MB + qint64(decoded.width()) * decoded.height() * 36;
    for (const PlannedOutput& output : outputs)
        total += outputBytes(output, source);
    return total;
}

qint64 budget(qint64 physicalBytes) {
    return std::max<qint64>(physicalBytes / 2, 2048 * MB);
}

qint64 physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
}

bool mayStart(qint64 runningBytes, qint64 nextBytes, qint64 budgetBytes) {
    return runningBytes <= 0 || runningBytes + nextBytes <= budgetBytes;
}

} // namespace MemoryEstimate
