#include "ScoreReference.h"

#include "planning/FusedArguments.h"
#include "planning/PlanPieces.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>

namespace ScoreReference {

namespace {

QString labelled(QString chain, const QString& side) {
    static const QRegularExpression label(QStringLiteral("\\[([A-Za-z0-9_]+)\\]"));
    return chain.replace(label, QStringLiteral("[%1_\\1]").arg(side));
}

} // namespace

QString filters(const PlannedOutput& output, bool alpha, const QString& pick) {
    const QStringList& planned = output.arguments;
    const qsizetype input = planned.indexOf(QStringLiteral("-i"));
    QStringList kept{PlanPieces::noPaletteToPlanar()};
    const qsizetype vf = planned.indexOf(QStringLiteral("-vf"), input);
    const QString chain =
        input >= 0 && vf > 0 && vf + 1 < planned.size() - 1 ? planned.at(vf + 1) : QString();
    // Through filters that keep every frame and its time the same frames come out whether they
    // are picked before or after, and picked first only they are scaled (or tone-mapped).
    const bool pickFirst =
        !pick.isEmpty() && FusedArguments::allOneToOne(FusedArguments::filterPieces(chain));
    if (pickFirst)
        kept.prepend(pick);
    if (!chain.isEmpty())
        kept << labelled(chain, QStringLiteral("p"));
    if (alpha)
        kept << labelled(PlanPieces::flattenOntoWhite(), QStringLiteral("r"));
    if (!pick.isEmpty() && !pickFirst)
        kept << pick;
    kept << QStringLiteral("format=gbrp");
    return kept.join(QLatin1Char(','));
}

bool sourceServes(const PlannedOutput& output, bool alpha) {
    if (alpha || output.progressDuration > 0 ||
        PlanPieces::extension(output.destination) != QLatin1String("jpg"))
        return false;
    const FusedArguments::Parsed parsed = FusedArguments::parse(output);
    const QString source = PlanPieces::extension(QUrl::fromLocalFile(parsed.source));
    return parsed.why.isEmpty() && parsed.seek.isEmpty() && parsed.filters.isEmpty() &&
           (source == QLatin1String("jpg") || source == QLatin1String("jpeg"));
}

QString unwritableBecause(const PlannedOutput& output) {
    // A video's score samples frames over its whole length: raw, they would fill the disk.
    if (output.progressDuration > 0)
        return QStringLiteral("it lasts");
    // The reference reads the process's input as it is decoded; a seek or another input option
    // of this output alone (in a shared process) would not apply to it.
    const FusedArguments::Parsed parsed = FusedArguments::parse(output);
    if (!parsed.why.isEmpty())
        return parsed.why;
    if (!parsed.seek.isEmpty() || parsed.filters.value(0).startsWith(QLatin1String("trim=")))
        return QStringLiteral("it seeks");
    return {};
}

qsizetype insert(QStringList& arguments, qsizetype after, const PlannedOutput& output, bool alpha,
                 int index, const QString& path) {
    const QString label = QStringLiteral("[reference%1]").arg(index);
    // A graph of its own: the encode's graph may set other scaling flags for the conversions
    // ffmpeg inserts, and the reference must be the very picture a score reading the source
    // builds. So it scales the source once more rather than taking the encoder's frames, whose
    // scale already turned them into the encoder's pixel format.
    // FITS: the one format ffmpeg writes planar RGB into with a header giving its size, so the
    // score reads the planes its ssim compares, in-process or in ffmpeg, without a conversion.
    const QStringList added{QStringLiteral("-filter_complex"),
                            QStringLiteral("[0:V:0]") + filters(output, alpha) + label,
                            QStringLiteral("-map"),
                            label,
                            QStringLiteral("-frames:v"),
                            QStringLiteral("1"),
                            QStringLiteral("-c:v"),
                            QStringLiteral("fits"),
                            QStringLiteral("-f"),
                            QStringLiteral("image2pipe"),
                            path};
    for (qsizetype k = 0; k < added.size(); ++k)
        arguments.insert(after + 1 + k, added.at(k));
    return after + added.size();
}

void addAll(FusedPlan::Invocation& invocation, const QList<PlannedOutput>& plan, bool alpha,
            bool turned) {
    invocation.referenceSlots = QList<qsizetype>(invocation.outputs.size(), -1);
    if (invocation.inputSlot < 0)
        return;
    qsizetype at = invocation.inputSlot;
    QHash<QString, qsizetype> slotOf; // by the filters of the reference: outputs alike share one
    const auto needsOne = [&](const PlannedOutput& output) {
        return unwritableBecause(output).isEmpty() && (turned || !sourceServes(output, alpha));
    };
    for (qsizetype k = 0; k < invocation.outputs.size(); ++k) {
        const PlannedOutput& output = plan.at(invocation.outputs.at(k));
        if (!needsOne(output))
            continue;
        const QString look = filters(output, alpha);
        if (slotOf.contains(look)) {
            invocation.referenceSlots[k] = slotOf.value(look);
            continue;
        }
        const qsizetype slot =
            insert(invocation.arguments, at, output, alpha, int(k),
                   output.destination.toLocalFile() + QStringLiteral(".reference.fits"));
        for (qsizetype& other : invocation.writeSlots)
            other += slot - at;
        at = slot;
        invocation.referenceSlots[k] = slot;
        slotOf.insert(look, slot);
    }
    // Outputs their source serves: a reference written for another is still cheaper to read.
    for (qsizetype k = 0; k < invocation.outputs.size(); ++k) {
        const PlannedOutput& output = plan.at(invocation.outputs.at(k));
        if (invocation.referenceSlots[k] < 0 && unwritableBecause(output).isEmpty())
            invocation.referenceSlots[k] = slotOf.value(filters(output, alpha), -1);
    }
}

} // namespace ScoreReference
