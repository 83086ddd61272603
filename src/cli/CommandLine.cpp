#include "CommandLine.h"

#include <QCommandLineParser>
#include <QHash>

using namespace Qt::StringLiterals;

namespace CommandLine {

const QList<GeneralOption>& generalOptions() {
    using R = CliRequest;
    static const QList<GeneralOption> options{
        {{u"dry-run"_s},
         {},
         u"plan every file and print the ffmpeg commands; encode nothing"_s,
         &R::dryRun},
        {{u"json"_s},
         {},
         u"print one JSON document: the plan, or a summary of the run"_s,
         &R::json},
        {{u"quiet"_s, u"q"_s}, {}, u"print only failures (to standard error)"_s, &R::quiet},
        {{u"settings"_s},
         u"FILE"_s,
         u"start from the settings document in FILE, not the stored one"_s,
         nullptr,
         &R::settingsFile},
        {{u"print-settings"_s},
         {},
         u"print the effective settings document and exit"_s,
         &R::printSettings},
        {{u"ffmpeg"_s},
         u"PATH"_s,
         u"use this ffmpeg (and the ffprobe beside it)"_s,
         nullptr,
         &R::ffmpegPath},
        {{u"shard"_s},
         u"K/N"_s,
         u"process only the files whose place in the queue modulo N is K"_s},
        {{u"summary"_s},
         u"FILE"_s,
         u"also write the JSON summary of the run to FILE"_s,
         nullptr,
         &R::summaryFile},
        {{u"merge-summaries"_s},
         {},
         u"print the summaries named as PATHs as one and exit"_s,
         &R::mergeSummaries},
        {{u"help"_s, u"h"_s}, {}, u"show this text"_s, &R::help},
        {{u"version"_s}, {}, u"show the version"_s, &R::version},
    };
    return options;
}

namespace {

// The parser's own complaint, in the words this tool has always used. Besides unknown options
// it only refuses a missing value or a value given to a switch, and quotes the option's name.
QString usageError(const QCommandLineParser& parser,
                   const QHash<QString, const GeneralOption*>& general,
                   const QHash<QString, const CliFlags::Flag*>& settings) {
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty())
        return u"unknown option "_s + (unknown.first().size() == 1 ? u"-"_s : u"--"_s) +
               unknown.first();
    const QString quoted = parser.errorText().section(u'\'', 1, 1);
    QString name = quoted;
    while (name.startsWith(u'-'))
        name.remove(0, 1);
    const GeneralOption* option = general.value(name);
    const CliFlags::Flag* flag = settings.value(name);
    if (!option && !flag)
        return parser.errorText();
    const bool takesValue = option ? !option->valueName.isEmpty() : !flag->valueName.isEmpty();
    return quoted + (takesValue ? u" needs a value"_s : u" takes no value"_s);
}

} // namespace

Parsed parse(const QStringList& arguments) {
    QCommandLineParser parser;
    // Every name, aliases included, leads to its general option or its setting flag.
    QHash<QString, const GeneralOption*> general;
    QHash<QString, const CliFlags::Flag*> settings;
    for (const GeneralOption& option : generalOptions()) {
        parser.addOption(QCommandLineOption(option.names, option.help, option.valueName));
        for (const QString& name : option.names)
            general.insert(name, &option);
    }
    for (const CliFlags::Flag& flag : CliFlags::settingFlags()) {
        parser.addOption(QCommandLineOption(flag.name.mid(2), flag.help, flag.valueName));
        settings.insert(flag.name.mid(2), &flag);
    }

    Parsed out;
    if (!parser.parse(QStringList{u"tersio-cli"_s} + arguments)) {
        out.error = usageError(parser, general, settings);
        return out;
    }

    CliRequest& r = out.request;
    r.paths = parser.positionalArguments();
    // optionNames() keeps the command line's order, repeats included; the values of one option
    // come in the same order.
    QHash<const void*, qsizetype> used;
    const auto nextValue = [&](const void* option, const QString& name) {
        return parser.values(name).value(used[option]++);
    };
    for (const QString& name : parser.optionNames()) {
        if (const GeneralOption* option = general.value(name)) {
            const QString value = option->valueName.isEmpty() ? QString() : nextValue(option, name);
            if (option->isOn) {
                r.*option->isOn = true;
            } else if (option->path) {
                if (value.isEmpty()) {
                    out.error = u"--"_s + name + u" needs a path"_s;
                    return out;
                }
                r.*option->path = value;
            } else {
                r.shard = Shard::parse(value, &out.error);
                if (!r.shard)
                    return out;
            }
            continue;
        }
        const CliFlags::Flag* flag = settings.value(name);
        CliFlags::Prepared prepared =
            flag->prepare(flag->valueName.isEmpty() ? QString() : nextValue(flag, name));
        if (!prepared.error.isEmpty()) {
            out.error = prepared.error;
            return out;
        }
        r.edits << prepared.edit;
    }
    return out;
}

QString applyEdits(const CliRequest& request, TersioSettings& settings) {
    for (const auto& edit : request.edits)
        if (QString error = edit(settings); !error.isEmpty())
            return error;
    return {};
}

} // namespace CommandLine
