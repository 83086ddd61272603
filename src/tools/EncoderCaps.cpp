#include "EncoderCaps.h"

#include "Shell.h"

EncoderCaps EncoderCaps::detect(const QString& ffmpeg) {
    const auto result =
        Shell::run(ffmpeg, {QStringLiteral("-hide_banner"), QStringLiteral("-encoders")});
    return parse(result.stdoutText);
}

static QString trimmedBlanks(const QString& line) {
    qsizetype start = 0;
    qsizetype end = line.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(line[start]))
        ++start;
    while (end > start && blank(line[end - 1]))
        --end;
    return line.mid(start, end - start);
}

EncoderCaps EncoderCaps::parse(const QString& listing) {
    EncoderCaps caps;
    const auto lines = listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const auto& raw : lines) {
        const QString line = trimmedBlanks(raw);
        // Only single spaces separate columns; tabs stay inside a piece.
        const auto pieces = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (pieces.size() < 2 || pieces[0].size() < 5 || line.startsWith(QLatin1String("---")))
            continue;
        caps.names.insert(pieces[1]);
    }
    return caps;
}
