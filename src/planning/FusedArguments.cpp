#include "FusedArguments.h"

#include <QRegularExpression>
#include <QSet>

namespace FusedArguments {

namespace {
const QSet<QString> flagGlobals{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                                QStringLiteral("-y"), QStringLiteral("-nostats")};
const QSet<QString> valueGlobals{QStringLiteral("-loglevel"), QStringLiteral("-progress")};

// Options that name streams or graphs of their own: the fused command has to own those.
const QSet<QString> ownGraph{QStringLiteral("-map"),
                             QStringLiteral("-filter_complex"),
                             QStringLiteral("-lavfi"),
                             QStringLiteral("-filter_complex_script"),
                             QStringLiteral("-filter"),
                             QStringLiteral("-filter:v"),
                             QStringLiteral("-filter_script"),
                             QStringLiteral("-vn"),
                             QStringLiteral("-i")};

// Filters that turn each frame into exactly one frame: with only these in a chain, keeping the
// poster's frame before or after them picks the same picture, so the pick can sit after the
// filters the poster shares with other outputs.
const QSet<QString> oneToOne{
    QStringLiteral("scale"),   QStringLiteral("crop"),    QStringLiteral("zscale"),
    QStringLiteral("format"),  QStringLiteral("tonemap"), QStringLiteral("split"),
    QStringLiteral("lutrgb"),  QStringLiteral("overlay"), QStringLiteral("setsar"),
    QStringLiteral("pad"),     QStringLiteral("null"),    QStringLiteral("colorspace"),
    QStringLiteral("hflip"),   QStringLiteral("vflip"),   QStringLiteral("transpose"),
    QStringLiteral("unsharp"), QStringLiteral("eq")};

} // namespace

// Splits a -vf chain at its top-level commas. From the first labelled or ';'-joined piece on,
// the rest stays one piece: its labels are local to it and are renamed where it is placed.
QStringList filterPieces(const QString& chain) {
    QStringList pieces;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < chain.size(); ++i) {
        const QChar c = chain.at(i);
        if (c == QLatin1Char('\\') && i + 1 < chain.size()) {
            current += c;
            current += chain.at(++i);
            continue;
        }
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && (c == QLatin1Char('[') || c == QLatin1Char(';'))) {
            pieces << current + chain.mid(i);
            return pieces;
        }
        if (!quoted && c == QLatin1Char(',')) {
            pieces << current;
            current.clear();
            continue;
        }
        current += c;
    }
    pieces << current;
    return pieces;
}

bool allOneToOne(const QStringList& pieces) {
    static const QRegularExpression name(QStringLiteral("(?:^|[,;\\]])\\s*([A-Za-z0-9_]+)"));
    for (const QString& piece : pieces) {
        QString bare = piece;
        bare.remove(QRegularExpression(QStringLiteral("'[^']*'")));
        auto matches = name.globalMatch(bare);
        while (matches.hasNext())
            if (!oneToOne.contains(matches.next().captured(1)))
                return false;
    }
    return true;
}

Parsed parse(const PlannedOutput& output) {
    Parsed p;
    const QStringList& a = output.arguments;
    const qsizetype input = a.indexOf(QStringLiteral("-i"));
    if (input < 0 || input + 2 >= a.size()) {
        p.why = QStringLiteral("it names no input and destination");
        return p;
    }
    if (a.indexOf(QStringLiteral("-i"), input + 1) >= 0) {
        p.why = QStringLiteral("it reads more than one input");
        return p;
    }
    // Before the input: global options, which the shared process takes once, and a seek, which
    // becomes the output's own frame pick. Any other input option would change what every
    // output decodes.
    for (qsizetype i = 0; i < input; ++i) {
        const QString& option = a.at(i);
        if (flagGlobals.contains(option)) {
            p.globals << option;
        } else if (valueGlobals.contains(option) && i + 1 < input) {
            p.globals << option << a.at(++i);
        } else if (option == QLatin1String("-ss") && i + 1 < input) {
            p.seek = a.at(++i);
            // A plain number of seconds: clock forms ("00:01") would need escaping in a graph.
            static const QRegularExpression seconds(QStringLiteral("^\\d+(\\.\\d+)?$"));
            if (!seconds.match(p.seek).hasMatch()) {
                p.why = QStringLiteral("its seek is not a plain number of seconds");
                return p;
            }
        } else {
            p.why = QStringLiteral("it sets the input option %1").arg(option);
            return p;
        }
    }
    p.source = a.at(input + 1);
    p.destination = a.last();
    bool chainSeen = false;
    for (qsizetype i = input + 2; i + 1 < a.size(); ++i) {
        const QString& option = a.at(i);
        if (ownGraph.contains(option)) {
            p.why = QStringLiteral("it uses %1").arg(option);
            return p;
        }
        if (option == QLatin1String("-vf") && i + 2 < a.size()) {
            if (chainSeen) {
                p.why = QStringLiteral("it has two filter chains");
                return p;
            }
            chainSeen = true;
            p.filters = filterPieces(a.at(++i));
            p.frameForFrame = allOneToOne(p.filters);
            continue;
        }
        // Audio is planned with its encoder named; outputs without one are pictures, whose
        // muxers take no audio.
        if (option == QLatin1String("-c:a"))
            p.audio = true;
        if ((option == QLatin1String("-frames:v") || option == QLatin1String("-vframes")) &&
            i + 2 < a.size())
            p.frameLimit = a.at(i + 1).toInt();
        if (option == QLatin1String("-pix_fmt") && i + 2 < a.size())
            p.pixelFormat = a.at(i + 1);
        p.options << option;
    }
    // Kept before the filters when they may drop or add frames, as the input seek was.
    if (!p.seek.isEmpty() && !p.frameForFrame) {
        p.filters.prepend(QStringLiteral("trim=start=") + p.seek);
        p.seek.clear();
    }
    return p;
}

QStringList withoutProgress(const QStringList& globals) {
    QStringList rest;
    for (qsizetype i = 0; i < globals.size(); ++i) {
        if (globals.at(i) == QLatin1String("-progress")) {
            ++i;
            continue;
        }
        if (globals.at(i) != QLatin1String("-nostats"))
            rest << globals.at(i);
    }
    return rest;
}

} // namespace FusedArguments
