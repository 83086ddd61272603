#include "CliApp.h"

#include "BatchSession.h"
#include "CommandLine.h"
#include "Console.h"
#include "DryRun.h"
#include "EffectiveSettings.h"
#include "HelpText.h"
#include "OutputFolders.h"
#include "StopSignals.h"
#include "SummaryFile.h"
#include "SummaryMerge.h"

#include "engine/AppModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace CliApp {
namespace {

constexpr int usageStatus = 2;

int usageError(const QString& message) {
    Console::err(u"tersio-cli: "_s + message + u"\nTry 'tersio-cli --help'.\n"_s);
    return usageStatus;
}

std::optional<FFmpegTools> findTools(const QString& chosen) {
    if (chosen.isEmpty())
        return FFmpegLocator::locate(); // the stored choice, the resources, the install folders
    return FFmpegLocator::locate(
        FFmpegLocator::SearchPlaces{chosen, {}, FFmpegLocator::searchDirectories()});
}

QList<QUrl> pathUrls(const QStringList& paths, QString* missing) {
    QList<QUrl> urls;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            *missing = path;
            return {};
        }
        urls << QUrl::fromLocalFile(QDir::cleanPath(info.absoluteFilePath()));
    }
    return urls;
}

BatchSession::Output outputMode(const CliRequest& request) {
    if (request.json)
        return BatchSession::Output::json;
    if (request.quiet)
        return BatchSession::Output::quiet;
    return Console::stdoutIsTerminal() ? BatchSession::Output::live : BatchSession::Output::lines;
}

// Files found in folders where this run would put their outputs; a file named outright stays.
// Returns how many were left out.
qsizetype leaveOutPreviousOutputs(AppModel& model, const CliRequest& request) {
    QStringList doomed;
    for (const MediaItem& item : model.items())
        if (OutputFolders::holds(item, model.settings()))
            doomed << item.id.toString();
    for (const QString& id : std::as_const(doomed))
        model.remove(id);
    if (!doomed.isEmpty() && !model.items().isEmpty() && !request.quiet && !request.json)
        Console::err(u"tersio-cli: left out "_s + QString::number(doomed.size()) +
                     u" file(s) inside "_s + OutputFolders::describe(model.settings()) + u'\n');
    return doomed.size();
}

// With a shard, only items up to its last one can change its names; the others among them are
// read for their names and left out of the plan.
int dryRun(const AppModel& model, const CliRequest& request) {
    QList<MediaItem> items = model.items();
    QSet<QUuid> namedOnly;
    if (request.shard) {
        const QList<qsizetype> own = request.shard->indices(items.size());
        items = own.isEmpty() ? QList<MediaItem>() : items.first(own.last() + 1);
        for (qsizetype i = 0; i < items.size(); ++i)
            if (!request.shard->holds(i))
                namedOnly.insert(items.at(i).id);
    }
    const QList<ItemPlan> plans =
        DryRun::planAll(items, *model.tools(), model.settings(), model.caps(), namedOnly);
    if (request.json)
        Console::out(PlanReport::json(plans, model.tools()).toJson(QJsonDocument::Indented));
    else if (!request.quiet)
        Console::out(PlanReport::text(plans, model.tools()->ffmpeg));
    bool anyError = false;
    for (const auto& plan : plans) {
        anyError = anyError || !plan.error.isEmpty();
        if (request.quiet && !plan.error.isEmpty())
            Console::err(plan.item.url.toLocalFile() + u": "_s + plan.error + u'\n');
    }
    return anyError ? 1 : 0;
}

// Exit status: 2 when the files do not fit together, 1 when an item is not done or is in no
// summary, 0 otherwise.
int mergeSummaries(const CliRequest& request) {
    if (request.shard || request.dryRun || !request.summaryFile.isEmpty())
        return usageError(u"--merge-summaries takes no --shard, --summary or --dry-run"_s);
    if (request.paths.isEmpty())
        return usageError(u"--merge-summaries: name the summary files to merge"_s);
    QList<SummaryMerge::Input> inputs;
    for (const QString& path : request.paths) {
        QString error;
        const std::optional<QJsonObject> summary = SummaryFile::read(path, &error);
        if (!summary)
            return usageError(error);
        inputs << SummaryMerge::Input{path, *summary};
    }
    const SummaryMerge::Result merged = SummaryMerge::merge(inputs);
    if (!merged.error.isEmpty())
        return usageError(merged.error);
    Console::out(QJsonDocument(merged.summary).toJson(QJsonDocument::Indented));
    if (!merged.missing.isEmpty()) {
        QStringList indices;
        for (const qsizetype i :
             merged.missing.first(std::min<qsizetype>(merged.missing.size(), 10)))
            indices << QString::number(i);
        Console::err(u"tersio-cli: "_s + QString::number(merged.missing.size()) +
                     u" queue item(s) are in no summary (index "_s + indices.join(u", "_s) +
                     (merged.missing.size() > 10 ? u", …"_s : QString()) +
                     u"): a shard has not reported\n"_s);
        return 1;
    }
    const QJsonObject totals = merged.summary.value(u"totals"_s).toObject();
    return totals.value(u"done"_s).toInteger() == merged.summary.value(u"queueSize"_s).toInteger()
               ? 0
               : 1;
}

} // namespace

int run(const QStringList& arguments) {
    const CommandLine::Parsed parsed = CommandLine::parse(arguments);
    if (!parsed.error.isEmpty())
        return usageError(parsed.error);
    const CliRequest& request = parsed.request;
    if (request.version) {
        Console::out(HelpText::version());
        return 0;
    }
    if (request.mergeSummaries && !request.help)
        return mergeSummaries(request);

    const EffectiveSettings::Result effective = EffectiveSettings::resolve(request);
    if (request.help) {
        // Help must work even when the settings the user named are broken.
        Console::out(HelpText::usage(effective.error.isEmpty() ? effective.settings
                                                               : TersioSettings::load()));
        return 0;
    }
    if (!effective.error.isEmpty())
        return usageError(effective.error);
    if (request.printSettings) {
        Console::out(EffectiveSettings::printable(effective.settings));
        return 0;
    }
    if (request.paths.isEmpty())
        return usageError(u"no paths given: name the files or folders to process"_s);
    if (!request.summaryFile.isEmpty()) {
        if (request.dryRun)
            return usageError(u"--summary is for runs; --dry-run --json prints the plan"_s);
        if (const QString error = SummaryFile::prepare(request.summaryFile); !error.isEmpty())
            return usageError(u"--summary: "_s + error);
    }
    QString missing;
    const QList<QUrl> urls = pathUrls(request.paths, &missing);
    if (!missing.isEmpty())
        return usageError(u"no such file or folder: "_s + missing);
    if (!request.ffmpegPath.isEmpty() && !FFmpegLocator::isExecutableFile(request.ffmpegPath))
        return usageError(u"--ffmpeg: "_s + request.ffmpegPath + u" is not an executable file"_s);

    const std::optional<FFmpegTools> tools = findTools(request.ffmpegPath);

    // The command line never writes the user's store, and its run reads every source itself.
    AppModel model(AppModelOptions{false, effective.settings, false, false});
    model.setTools(tools, tools ? EncoderCaps::detect(tools->ffmpeg) : EncoderCaps{});
    if (!model.tools()) {
        Console::err(u"tersio-cli: "_s + model.toolNote() + u'\n');
        return usageStatus;
    }
    model.add(urls);
    const qsizetype leftOut = leaveOutPreviousOutputs(model, request);
    if (model.items().isEmpty() && leftOut > 0)
        return usageError(u"nothing to process: all given files are inside "_s +
                          OutputFolders::describe(model.settings()) +
                          u", where earlier runs put their outputs"_s);
    if (model.items().isEmpty())
        return usageError(u"nothing to process: no images or videos among the given paths"_s);

    if (request.dryRun)
        return dryRun(model, request);

    BatchSession session(&model, outputMode(request),
                         BatchSession::Scope{request.shard, request.summaryFile});
    StopSignals signals_;
    QObject::connect(&signals_, &StopSignals::stopRequested, &session, &BatchSession::stop);
    QTimer::singleShot(0, &session, &BatchSession::start);
    return QCoreApplication::exec();
}

} // namespace CliApp
