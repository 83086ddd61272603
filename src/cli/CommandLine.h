#pragma once

#include "CliFlags.h"
#include "Shard.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the command line asked for. Values are checked while parsing, so a request that parses
// can only fail later on files (settings, paths, tools) or on --crops against stored crops.
struct CliRequest {
    QStringList paths;
    QString settingsFile; // empty: the user's stored settings
    QString ffmpegPath;   // empty: the usual search
    QString summaryFile;  // empty: no summary file
    std::optional<Shard> shard;
    bool mergeSummaries = false; // the paths are summaries to merge
    bool dryRun = false;
    bool json = false;
    bool quiet = false;
    bool printSettings = false;
    bool help = false;
    bool version = false;
    QList<CliFlags::Edit> edits; // in command-line order; later ones win
};

namespace CommandLine {

// A flag that is not a setting. It sets a switch or a path of the request, or, with neither,
// is --shard.
struct GeneralOption {
    QStringList names; // the long name first: {"quiet", "q"}
    QString valueName; // "FILE"; empty for a switch
    QString help;
    bool CliRequest::*isOn = nullptr;
    QString CliRequest::*path = nullptr;
};

// In the order of the help text.
const QList<GeneralOption>& generalOptions();

struct Parsed {
    CliRequest request;
    QString error; // non-empty: bad usage
};

// `arguments` without the program name. Accepts "--flag value" and "--flag=value"; "--" ends
// the flags. Flags apply in command-line order, so a later one wins.
Parsed parse(const QStringList& arguments);

// Applies the request's edits in order; returns the first error, empty on success.
QString applyEdits(const CliRequest& request, TersioSettings& settings);

} // namespace CommandLine
