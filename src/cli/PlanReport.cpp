#include "PlanReport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace PlanReport {

static QJsonValue found(const std::optional<QString>& path) {
    return path ? QJsonValue(*path) : QJsonValue(QJsonValue::Null);
}

QJsonDocument json(const QList<ItemPlan>& plans, const std::optional<FFmpegTools>& tools) {
    QJsonArray items;
    for (const auto& plan : plans) {
        const MediaItem& item = plan.item;
        QJsonObject entry{
            {u"source"_s, item.url.toLocalFile()},
            {u"kind"_s, MediaKinds::rawValue(item.kind)},
            {u"width"_s, item.width},
            {u"height"_s, item.height},
            {u"duration"_s, item.duration},
            {u"hdr"_s, item.hdr},
            {u"hasAlpha"_s, item.hasAlpha},
            {u"grey"_s, item.grey},
        };
        if (plan.index >= 0)
            entry.insert(u"index"_s, qint64(plan.index));
        if (item.posterTime)
            entry.insert(u"posterTime"_s, *item.posterTime);
        if (!plan.error.isEmpty()) {
            entry.insert(u"error"_s, plan.error);
        } else {
            QJsonArray outputs;
            for (const auto& step : plan.steps) {
                QJsonObject output{
                    {u"label"_s, step.output.label},
                    {u"destination"_s, step.output.destination.toLocalFile()},
                    {u"arguments"_s, QJsonArray::fromStringList(step.output.arguments)},
                };
                QStringList post;
                for (const PostStep& postStep : step.output.post)
                    post << postStep.name();
                output.insert(u"post"_s, QJsonArray::fromStringList(post));
                if (step.skip)
                    output.insert(u"skip"_s, true);
                if (step.search)
                    output.insert(u"qualitySearch"_s,
                                  QJsonObject{{u"from"_s, step.search->from},
                                              {u"to"_s, step.search->to},
                                              {u"target"_s, step.search->target},
                                              {u"encodes"_s, step.search->encodes}});
                outputs.append(output);
            }
            entry.insert(u"outputs"_s, outputs);
            QJsonArray invocations;
            for (const auto& invocation : plan.invocations) {
                QJsonArray destinations;
                for (const int index : invocation.outputs)
                    destinations.append(plan.steps.at(index).output.destination.toLocalFile());
                invocations.append(QJsonObject{
                    {u"arguments"_s, QJsonArray::fromStringList(invocation.arguments)},
                    {u"destinations"_s, destinations},
                });
            }
            entry.insert(u"invocations"_s, invocations);
        }
        items.append(entry);
    }
    QJsonObject document{{u"items"_s, items}};
    if (tools)
        document.insert(u"tools"_s, QJsonObject{{u"ffmpeg"_s, tools->ffmpeg},
                                                {u"ffprobe"_s, found(tools->ffprobe)},
                                                {u"pngquant"_s, found(tools->pngquant)}});
    return QJsonDocument(document);
}

QString shellQuoted(const QString& argument) {
    static const QRegularExpression plain(u"^[A-Za-z0-9_@%+=:,./-]+$"_s);
    if (plain.match(argument).hasMatch())
        return argument;
    QString quoted = argument;
    quoted.replace(u"'"_s, u"'\\''"_s);
    return u'\'' + quoted + u'\'';
}

static QString facts(const MediaItem& item) {
    QString text = MediaKinds::rawValue(item.kind) + u", "_s + item.dimensionsLabel();
    if (item.kind == MediaKind::video) {
        text += u", "_s + QString::number(item.duration, 'f', 1) + u" s"_s;
        text += item.hasAudio ? u", audio"_s : u", no audio"_s;
        if (item.hdr)
            text += u", HDR"_s;
    } else {
        if (item.hasAlpha)
            text += u", transparent"_s;
        if (item.grey)
            text += u", grey"_s;
    }
    return text;
}

QString text(const QList<ItemPlan>& plans, const QString& ffmpeg) {
    QString out;
    for (const auto& plan : plans) {
        out += plan.item.url.toLocalFile() + u"  ("_s + facts(plan.item) + u")\n"_s;
        if (!plan.error.isEmpty()) {
            out += u"  fails: "_s + plan.error + u'\n';
            continue;
        }
        for (const auto& step : plan.steps) {
            out += u"  "_s + step.output.label + u" -> "_s + step.output.destination.toLocalFile() +
                   (step.skip ? u"  (exists, skipped)\n"_s : u"\n"_s);
            QStringList words{shellQuoted(ffmpeg)};
            for (const auto& argument : step.output.arguments)
                words << shellQuoted(argument);
            out += u"    "_s + words.join(u' ') + u'\n';
            QStringList post;
            for (const PostStep& postStep : step.output.post)
                post << postStep.name();
            if (!post.isEmpty())
                out += u"    then: "_s + post.join(u", "_s) + u'\n';
            if (step.search)
                out += u"    quality: automatic, searched from "_s +
                       QString::number(step.search->from) + u" to "_s +
                       QString::number(step.search->to) + u" for SSIM \u2265 "_s +
                       QString::number(step.search->target, 'f', 2) + u" in at most "_s +
                       QString::number(step.search->encodes) + u" encodes\n"_s;
        }
    }
    return out;
}

} // namespace PlanReport
