// Running tools: processes, ffmpeg jobs, finding ffmpeg, its encoders, probes, poster frames.
#include "PosterClips.h"
#include "TestSupport.h"
#include "tools/EncoderCaps.h"
#include "tools/FFmpegJob.h"
#include "tools/FFmpegLocator.h"
#include "tools/PosterFrame.h"
#include "tools/Prober.h"
#include "tools/Shell.h"

#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <atomic>

using TestSupport::row;
using Fractions = QList<double>;

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");
const QString ffprobePath = QStringLiteral("/usr/bin/ffprobe");

// Runs the job on a pool thread, as the batch run does, and stops it once the child has
// reported progress, so the stop always meets a running process.
ShellResult stopAfterFirstProgress(const QString& tool, const QStringList& arguments,
                                   double duration) {
    FFmpegJob job;
    std::atomic<bool> running{false};
    QFuture<ShellResult> future = QtConcurrent::run(
        [&] { return job.run(tool, arguments, duration, [&](double) { running = true; }); });
    if (!QTest::qWaitFor([&] { return running.load() || future.isFinished(); }, 120000))
        qWarning("the child never reported progress");
    job.stop();
    return future.result();
}

QStringList encode(const QString& source, const QString& output) {
    return TestSupport::words("-hide_banner -loglevel error -nostdin -y -progress pipe:1 -nostats "
                              "-f lavfi -i " +
                              source + " -c:v libx264 -preset ultrafast")
           << output;
}

} // namespace

class TestToolRuns : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.filePath(name); }
    QString script(const QString& name, const QByteArray& body) {
        return TestSupport::writeScript(path(name), body);
    }
    void make(const QStringList& arguments) {
        QString error;
        QVERIFY2(TestSupport::ffmpeg(arguments, &error), qPrintable(error));
    }

  private slots:
    void initTestCase() {
        const QStringList video{"-f", "lavfi", "-i", "testsrc2=s=160x90:r=10:d=1"};
        const QStringList tone{"-f", "lavfi", "-i", "sine=f=440:d=1"};
        make(video + tone +
             QStringList{"-c:v", "libx264", "-c:a", "aac", "-shortest", path("av.mp4")});
        make(video + QStringList{"-c:v", "libx264", path("silent.mp4")});
        make({"-i", path("silent.mp4"), "-c", "copy", "-metadata:s:v", "rotate=270",
              path("portrait.mp4")});
        make(tone + QStringList{"-c:a", "aac", path("tone.m4a")});
        make(
            TestSupport::words("-f lavfi -i testsrc2=s=128x72:r=10:d=0.5 -c:v libx265 -x265-params "
                               "log-level=error -pix_fmt yuv420p10le -color_primaries bt2020 "
                               "-color_trc arib-std-b67 -colorspace bt2020nc")
            << path("hlg.mp4"));
        using namespace PosterClips;
        QString error;
        for (const Clip& clip :
             {fadeIn, Clip{"black.mp4", lavfi("color=black:s=160x120:r=10:d=10"), 1},
              Clip{"grey.mp4", lavfi("color=gray:s=160x120:r=10:d=10"), 1}})
            QVERIFY2(PosterClips::make(dir_.path(), clip, "yuv420p", &error), qPrintable(error));
        // Coded on the full range, where black is 0 rather than 16.
        for (Clip clip : {fadeIn, card}) {
            clip.name.prepend("full-");
            QVERIFY2(PosterClips::make(dir_.path(), clip, "yuvj420p", &error), qPrintable(error));
        }
    }

    void shellRunsAnythingToTheEnd() {
        const auto missing = Shell::run(path("missing"), {});
        QCOMPARE(missing.status, -1);
        QVERIFY(missing.stdoutText.isEmpty() && !missing.stderrText.isEmpty());

        const auto bytes =
            Shell::run(script("bytes.sh", "printf 'ab\\377\\376cd'; echo fine >&2; exit 2\n"), {});
        QCOMPARE(bytes.status, 2);
        QVERIFY(bytes.stdoutText.isEmpty()); // not UTF-8: nothing, but the rest is reported
        QCOMPARE(bytes.stderrText, QStringLiteral("fine\n"));
        QCOMPARE(Shell::decodeUtf8("caf\xc3"), QString()); // cut inside a character
        // Standard input is at its end, so a child reading it does not wait.
        QCOMPARE(Shell::run(script("cat.sh", "cat; echo done\n"), {}).stdoutText,
                 QStringLiteral("done\n"));

        // 8 MiB to each stream, interleaved, far beyond any pipe buffer.
        const auto flood =
            Shell::run(script("flood.sh", "head -c 8388608 /dev/zero | tr '\\0' e >&2 &\n"
                                          "head -c 8388608 /dev/zero | tr '\\0' o\n"
                                          "wait\n"),
                       {});
        QCOMPARE(flood.status, 0);
        QCOMPARE(flood.stdoutText.size(), 8388608);
        QCOMPARE(flood.stderrText.size(), 8388608);
    }

    void jobReportsProgressAndErrors_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("errorText");
        QTest::addColumn<Fractions>("progress");
        row("key split over two writes",
            QByteArray("printf 'frame=1\\nout_t'; sleep 0.2; printf 'ime_us=5000000\\n'\n"), 0,
            QString(), Fractions{0.5});
        row("beyond the end",
            QByteArray("printf 'out_time_us=2500000\\n'; sleep 0.2; "
                       "printf 'out_time_us=12000000\\nprogress=end\\n'\n"),
            0, QString(), Fractions{0.25, 1.0});
        row("one error line", QByteArray("echo 'in.mov: No such file' >&2; exit 1\n"), 1,
            "in.mov: No such file\n", Fractions{});
        row("not UTF-8 is dropped", QByteArray("printf 'bad \\377\\n' >&2; exit 2\n"), 2, QString(),
            Fractions{});
        row("arguments reach the tool", QByteArray("printf '%s|' \"$@\" >&2\n"), 0,
            "-i|a b.mov|-y|", Fractions{});
    }
    void jobReportsProgressAndErrors() {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, errorText);
        QFETCH(Fractions, progress);
        FFmpegJob job;
        Fractions reported;
        const ShellResult result = job.run(script("job", body), {"-i", "a b.mov", "-y"}, 10,
                                           [&](double fraction) { reported << fraction; });
        QCOMPARE(result.status, status);
        QCOMPARE(result.stdoutText, QString());
        QCOMPARE(result.stderrText, errorText);
        QCOMPARE(reported, progress);
        QVERIFY(!job.cancelled());
    }

    void jobKeepsTheTailOfTheErrorText() {
        // The last line is what a failed item shows, so nothing at the end may be lost.
        const ShellResult result = FFmpegJob().run(
            script("chatty", "i=0; while [ $i -lt 3000 ]; do echo \"line $i\" >&2; "
                             "i=$((i+1)); done; echo 'Conversion failed!' >&2; exit 3\n"),
            {}, 0, {});
        QCOMPARE(result.status, 3);
        const QStringList lines = result.stderrText.split('\n');
        QCOMPARE(lines.size(), 3002);
        QCOMPARE(lines.mid(2999, 2), (QStringList{"line 2999", "Conversion failed!"}));
    }

    void jobStops() {
        bool called = false;
        const ShellResult missing = FFmpegJob().run(path("no-such-ffmpeg"), {"-version"}, 10,
                                                    [&](double) { called = true; });
        QCOMPARE(missing.status, -1);
        QVERIFY(!missing.stderrText.isEmpty() && !called);

        FFmpegJob stopped;
        stopped.stop();
        QVERIFY(stopped.cancelled());
        const ShellResult never =
            stopped.run(script("marks", "touch '" + path("launched").toUtf8() + "'\n"), {}, 10, {});
        QCOMPARE(never.status, 130);
        QCOMPARE(never.stderrText, QStringLiteral("Cancelled"));
        QVERIFY(!QFileInfo::exists(path("launched")));

        // If the stop only asked politely, this run would last as long as the test's time-out.
        const ShellResult stubborn = stopAfterFirstProgress(
            script("stubborn",
                   "trap '' TERM\nprintf 'out_time_us=1000000\\n'\nexec sleep 100000\n"),
            {}, 10);
        QCOMPARE(stubborn.status, 130);
        QCOMPARE(stubborn.stdoutText, QString());
        QCOMPARE(stubborn.stderrText, QStringLiteral("Cancelled"));
    }

    // Asked to terminate, ffmpeg closes its file: it is truncated but still readable.
    void jobStopsARealEncode() {
        const ShellResult stopped = stopAfterFirstProgress(
            ffmpegPath, encode("testsrc2=s=640x360:d=600", path("long.mp4")), 600);
        QCOMPARE(stopped.status, 130);
        QCOMPARE(stopped.stderrText, QStringLiteral("Cancelled"));
        QCOMPARE(Prober::probe(QUrl::fromLocalFile(path("long.mp4")), ffprobePath).width, 640);
    }

    // The stored path, then the bundled folder, then the search folders in order; ffprobe
    // from beside the chosen ffmpeg, else the first in the search folders.
    void locatesFFmpeg() {
        const QString root = path("locate");
        const auto tool = [&](const QString& folder, const char* name) {
            QDir().mkpath(root + '/' + folder);
            return TestSupport::writeScript(root + '/' + folder + '/' + name, "exit 0\n");
        };
        const QStringList four{root + "/homebrew", root + "/local", root + "/opt", root + "/usr"};
        const auto locate = [&](const QString& stored, const QString& bundled = {}) {
            return FFmpegLocator::locate({stored, bundled, four});
        };
        const QString usrProbe = tool("usr", "ffprobe");
        QVERIFY(!locate({}));
        const QString brewProbe = tool("homebrew", "ffprobe");
        TestSupport::writeFile(root + "/homebrew/ffmpeg", "not executable");
        const QString usr = tool("usr", "ffmpeg");
        QCOMPARE(locate({})->ffmpeg, usr);
        QCOMPARE(locate({})->ffprobe, usrProbe); // its sibling first
        const QString local = tool("local", "ffmpeg");
        QCOMPARE(locate({})->ffmpeg, local);
        QCOMPARE(locate({})->ffprobe, brewProbe); // no sibling
        const QString bundled = tool("res", "ffmpeg");
        QCOMPARE(locate({}, root + "/res")->ffmpeg, bundled);
        const QString custom = tool("custom", "my-ffmpeg-build");
        QCOMPARE(locate(custom, root + "/res")->ffmpeg, custom);
        // Unusable stored paths are passed over.
        QFile::link(root + "/nowhere", root + "/dangling");
        QFile::remove(tool("gone", "ffmpeg"));
        for (const QString& stored : {root + "/gone/ffmpeg", root + "/custom", root + "/dangling",
                                      QStringLiteral("~/ffmpeg")})
            QCOMPARE(locate(stored)->ffmpeg, local);

        const auto system = FFmpegLocator::locate({{}, {}, FFmpegLocator::searchDirectories()});
        QVERIFY(system && system->ffmpeg.endsWith("/ffmpeg") && system->ffprobe);
    }

    void listsEncodersOfAToolThatFails() {
        const QString fake = script("ffmpeg", "echo ' V....D libfake  Fake'; exit 1\n");
        QCOMPARE(EncoderCaps::detect(fake).names, QSet<QString>{"libfake"});
    }

    void probeArgumentsAndFailures() {
        const QString log = path("arguments.txt");
        const QString fake = script(
            "ffprobe-args", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + log.toUtf8() +
                                "'\necho '{\"format\": {\"duration\": \"1.5\"}}'\n");
        const QString source = path("name with spaces.mp4");
        QCOMPARE(Prober::probe(QUrl::fromLocalFile(source), fake),
                 (ProbeResult{0, 0, 1.5, false, false}));
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts),
                 TestSupport::words("-v error -print_format json -show_format -show_streams")
                     << source);

        const QUrl clip = QUrl::fromLocalFile(path("av.mp4"));
        QCOMPARE(Prober::probe(clip, std::nullopt), ProbeResult{});
        QCOMPARE(Prober::probe(clip, script("ffprobe-fails", "echo 'broken' >&2; exit 1\n")),
                 ProbeResult{});
        QCOMPARE(Prober::probe(clip, script("ffprobe-garbage", "printf '{\"format\": \\377}'\n")),
                 ProbeResult{});
        QCOMPARE(Prober::probe(QUrl::fromLocalFile(path("missing.mp4")), ffprobePath),
                 ProbeResult{});
    }

    // Clips that open on the picture, fade in or show a card are run through the engine's tests.
    void choosesAPosterTime() {
        const auto chosen = [&](const char* file, double duration,
                                const QString& tool = ffmpegPath) {
            return PosterFrame::choose(QUrl::fromLocalFile(path(file)), tool, duration);
        };
        QCOMPARE(chosen("full-fade.mp4", 10), 5.0); // full range, where black is 0
        QCOMPARE(chosen("full-card.mp4", 12), 2.4);
        QCOMPARE(chosen("black.mp4", 10), 1.0); // nothing better: the usual tenth
        QCOMPARE(chosen("grey.mp4", 10), 1.0);
        QCOMPARE(chosen("gone.mp4", 10), 1.0);
        QCOMPARE(chosen("fade.mp4", 10, QString()), 1.0);
        QCOMPARE(chosen("fade.mp4", 10, "/nonexistent/ffmpeg"), 1.0);
        QCOMPARE(chosen("fade.mp4", 100), 3.0); // seeks past the end
        QCOMPARE(chosen("fade.mp4", 0), 0.0);
    }
};

QTEST_GUILESS_MAIN(TestToolRuns)
#include "test_tool_runs.moc"
