#include "ByteCount.h"

#include <QLocale>

#include <cmath>
#include <cstdlib>

namespace ByteCount {

QString text(qint64 bytes) {
    if (bytes == 0)
        return QStringLiteral("Zero KB");
    const QLocale c = QLocale::c();
    const QString sign = bytes < 0 ? QStringLiteral("-") : QString();
    const double magnitude = std::abs(static_cast<double>(bytes));

    auto number = [&](double value, int decimals) {
        QString s = c.toString(value, 'f', decimals);
        if (s.contains(QLatin1Char('.'))) {
            while (s.endsWith(QLatin1Char('0')))
                s.chop(1);
            if (s.endsWith(QLatin1Char('.')))
                s.chop(1);
        }
        return s;
    };

    const double kb = magnitude / 1e3;
    if (std::round(kb) < 1000) {
        const double shown = std::max(1.0, std::round(kb));
        return sign + number(shown, 0) + QStringLiteral(" KB");
    }
    const double mb = magnitude / 1e6;
    if (std::round(mb * 10) / 10 < 1000)
        return sign + number(mb, 1) + QStringLiteral(" MB");
    return sign + number(magnitude / 1e9, 2) + QStringLiteral(" GB");
}

} // namespace ByteCount
