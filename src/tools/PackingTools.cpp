#include "PackingTools.h"

#include <QStringList>

namespace PackingTools {

QString quantise(FFmpegJob& job, const QString& pngquant, const QString& input,
                 const QString& output, bool keepMetadata, bool alpha) {
    QStringList arguments{QStringLiteral("--force"), QStringLiteral("--speed"),
                          QString::number(quantiseSpeed), QStringLiteral("--output"), output};
    if (alpha)
        arguments << QStringLiteral("--nofs");
    if (!keepMetadata)
        arguments << QStringLiteral("--strip");
    arguments << QStringLiteral("--") << input;
    const ShellResult result = job.run(pngquant, arguments, 0, {});
    if (result.status == 0)
        return {};
    const QStringList lines = result.stderrText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QStringLiteral("pngquant exited with code %1.").arg(result.status)
                           : lines.last().trimmed();
}

} // namespace PackingTools
