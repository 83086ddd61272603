#include "CommandLine.h"

using namespace Qt::StringLiterals;

namespace CommandLine {
namespace {

// Flags that are not settings: switches, the ones that take a path, and --shard.
bool* switchField(CliRequest& r, const QString& name) {
    if (name == "--dry-run"_L1)
        return &r.dryRun;
    if (name == "--json"_L1)
        return &r.json;
    if (name == "--quiet"_L1 || name == "-q"_L1)
        return &r.quiet;
    if (name == "--print-settings"_L1)
        return &r.printSettings;
    if (name == "--help"_L1 || name == "-h"_L1)
        return &r.help;
    if (name == "--version"_L1)
        return &r.version;
    if (name == "--merge-summaries"_L1)
        return &r.mergeSummaries;
    return nullptr;
}

QString* pathField(CliRequest& r, const QString& name) {
    if (name == "--settings"_L1)
        return &r.settingsFile;
    if (name == "--ffmpeg"_L1)
        return &r.ffmpegPath;
    if (name == "--summary"_L1)
        return &r.summaryFile;
    return nullptr;
}

} // namespace

Parsed parse(const QStringList& arguments) {
    Parsed out;
    CliRequest& r = out.request;
    bool flagsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (flagsEnded || !arg.startsWith(u'-') || arg == "-"_L1) {
            r.paths << arg;
            continue;
        }
        if (arg == "--"_L1) {
            flagsEnded = true;
            continue;
        }
        const qsizetype eq = arg.indexOf(u'=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        const std::optional<QString> inlineValue =
            eq < 0 ? std::nullopt : std::optional(arg.mid(eq + 1));

        const CliFlags::Flag* flag = CliFlags::find(name);
        QString* path = pathField(r, name);
        const bool shard = name == "--shard"_L1;
        const bool takesValue = path || shard || (flag && !flag->valueName.isEmpty());

        if (!flag && !path && !shard && !switchField(r, name)) {
            out.error = u"unknown option "_s + name;
            return out;
        }
        if (!takesValue && inlineValue) {
            out.error = name + u" takes no value"_s;
            return out;
        }
        QString value;
        if (takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                out.error = name + u" needs a value"_s;
                return out;
            }
        }
        if (shard) {
            r.shard = Shard::parse(value, &out.error);
            if (!r.shard)
                return out;
        } else if (path) {
            if (value.isEmpty()) {
                out.error = name + u" needs a path"_s;
                return out;
            }
            *path = value;
        } else if (flag) {
            CliFlags::Prepared prepared = flag->prepare(value);
            if (!prepared.error.isEmpty()) {
                out.error = prepared.error;
                return out;
            }
            r.edits << prepared.edit;
        } else {
            *switchField(r, name) = true;
        }
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
