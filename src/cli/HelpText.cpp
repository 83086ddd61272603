#include "HelpText.h"

#include "CliFlags.h"
#include "CommandLine.h"

#include <QList>

using namespace Qt::StringLiterals;

namespace HelpText {
namespace {

struct Row {
    QString left;
    QString right;
};

QString table(const QList<Row>& rows, qsizetype column) {
    QString out;
    for (const auto& row : rows)
        out += u"  "_s + row.left.leftJustified(column) + u"  "_s + row.right + u'\n';
    return out;
}

} // namespace

QString usage(const TersioSettings& effective) {
    QList<Row> general;
    for (const auto& option : CommandLine::generalOptions()) {
        QString left = u"--"_s + option.names.first();
        if (!option.valueName.isEmpty())
            left += u' ' + option.valueName;
        for (const QString& alias : option.names.mid(1))
            left += u", -"_s + alias;
        general << Row{left, option.help};
    }
    QList<Row> settings;
    for (const auto& flag : CliFlags::settingFlags()) {
        // A --no-x that undoes --x shares its row.
        const QString negated = u"--no-"_s + flag.name.mid(2);
        if (flag.name.startsWith("--no-"_L1) && CliFlags::find(u"--"_s + flag.name.mid(5)))
            continue;
        QString left = flag.valueName.isEmpty() ? flag.name : flag.name + u' ' + flag.valueName;
        if (CliFlags::find(negated))
            left += u", "_s + negated;
        settings << Row{left, flag.help + u" (now "_s + flag.now(effective) + u')'};
    }
    qsizetype column = 0;
    for (const auto& row : general + settings)
        column = std::max(column, row.left.size());

    return u"Usage: tersio-cli [options] PATH...\n"
           u"       tersio-cli --merge-summaries FILE...\n\n"
           u"Makes compressed web renditions of the images and videos in each PATH (a file, or a\n"
           u"folder searched recursively) with the stored settings of the application, then\n"
           u"exits. Nothing is written to the settings store.\n\n"
           u"Options:\n"_s +
           table(general, column) +
           u"\nSettings (each flag overrides the stored value shown as 'now'):\n"_s +
           table(settings, column) +
           u"\nExit status: 0 every file done, 1 a file failed (with --dry-run: could not be\n"
           u"planned), 2 bad usage or no ffmpeg, 130 stopped by Ctrl-C (143 by SIGTERM).\n"
           u"A second Ctrl-C quits at once. --merge-summaries: 0 every file done, 1 a file\n"
           u"failed or is in no summary, 2 the summaries do not fit (two report one file).\n\n"
           u"With --shard, every worker builds the whole queue and its output names, then\n"
           u"encodes only its part; give each the same paths and settings. With --no-overwrite\n"
           u"a rerun of a part skips the outputs that were finished.\n\n"
           u"Reading a video, with --dry-run too, decodes one frame to place its poster (a few\n"
           u"more when that frame is black or blank).\n"_s;
}

QString version() {
    return u"tersio-cli "_s + QStringLiteral(TERSIO_VERSION) + u'\n';
}

} // namespace HelpText
