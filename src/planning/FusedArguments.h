#pragma once

#include "planning/CommandBuilder.h"

#include <QString>
#include <QStringList>

// Reading one planned argument list back into the pieces a fused command is built from.
namespace FusedArguments {

// One planned argument list taken apart. The planners write
//   <global options> [-ss T] -i SOURCE [-vf CHAIN] <output options> DESTINATION
// and everything the fused command needs is read from those pieces.
struct Parsed {
    QString why; // not empty: this output runs alone
    QStringList globals;
    QString source;
    QString seek;
    QStringList filters; // shareable filters in order; a labelled tail stays one piece, last
    bool frameForFrame = true;
    QStringList options; // output options in planned order, without the filter chain
    bool audio = false;
    int frameLimit = 0;
    QString pixelFormat; // "-pix_fmt", empty when the encoder's default is taken
    QString destination;
};

// Splits a -vf chain into shareable pieces (see the .cpp).
QStringList filterPieces(const QString& chain);
bool allOneToOne(const QStringList& pieces);
Parsed parse(const PlannedOutput& output);
// The global options without the progress stream, which the fused command sets once.
QStringList withoutProgress(const QStringList& globals);

} // namespace FusedArguments
