#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// Joins the run summaries that the parts of one queue wrote into the summary of the whole.
namespace SummaryMerge {

struct Input {
    QString name; // the file it came from, for messages
    QJsonObject summary;
};

struct Result {
    QJsonObject summary;      // items in queue order, totals added, no "shard"
    QList<qsizetype> missing; // queue indices no input reports: a part that has not reported
    QString error;            // the inputs do not fit together; nothing was merged
};

Result merge(const QList<Input>& inputs);

} // namespace SummaryMerge
