#include "NumberText.h"

#include <charconv>
#include <cmath>

namespace NumberText {

std::optional<double> parseDecimal(QStringView text) {
    // from_chars takes a minus sign but not a plus sign.
    if (text.startsWith(u'+')) {
        text = text.mid(1);
        if (text.startsWith(u'-'))
            return std::nullopt;
    }
    // Non-ASCII characters become multi-byte sequences that from_chars rejects.
    const QByteArray bytes = text.toUtf8();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (bytes.isEmpty() || error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace NumberText
