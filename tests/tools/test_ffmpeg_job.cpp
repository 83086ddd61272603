#include "TestSupport.h"
#include "tools/FFmpegJob.h"
#include "tools/Prober.h"

#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <atomic>

using TestSupport::row;

using Fractions = QList<double>;

namespace {

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

} // namespace

class TestFFmpegJob : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString script(const QString& name, const QByteArray& body) {
        return TestSupport::writeScript(dir_.filePath(name), body);
    }

  private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void reportsProgressFromTheStream_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<double>("duration");
        QTest::addColumn<Fractions>("expected");
        row("key split over two writes",
            QByteArray("printf 'frame=1\\nout_t'; sleep 0.2; "
                       "printf 'ime_us=5000000\\nprogress=continue\\n'\n"),
            10.0, Fractions{0.5});
        row("beyond the end",
            QByteArray("printf 'out_time_us=2500000\\n'; sleep 0.2; "
                       "printf 'out_time_us=12000000\\nprogress=end\\n'\n"),
            10.0, Fractions{0.25, 1.0});
    }

    void reportsProgressFromTheStream() {
        QFETCH(QByteArray, body);
        QFETCH(double, duration);
        QFETCH(Fractions, expected);
        FFmpegJob job;
        Fractions reported;
        const ShellResult result = job.run(script("progress", body), {}, duration,
                                           [&](double fraction) { reported << fraction; });
        QCOMPARE(result.status, 0);
        QCOMPARE(result.stdoutText, QString());
        QCOMPARE(result.stderrText, QString());
        QCOMPARE(reported, expected);
        QVERIFY(!job.cancelled());
    }

    void returnsStatusAndErrorText_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("errorText");
        row("one error line",
            QByteArray("echo 'out_time_us=1'; echo 'in.mov: No such file or directory' >&2; "
                       "exit 1\n"),
            1, "in.mov: No such file or directory\n");
        row("not UTF-8 is dropped", QByteArray("printf 'bad \\377\\n' >&2; exit 2\n"), 2,
            QString());
        row("arguments reach the tool", QByteArray("printf '%s|' \"$@\" >&2; exit 0\n"), 0,
            "-i|a b.mov|-y|");
    }

    void returnsStatusAndErrorText() {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, errorText);
        FFmpegJob job;
        const ShellResult result =
            job.run(script("fails", body), {"-i", "a b.mov", "-y"}, 10, [](double) {});
        QCOMPARE(result.status, status);
        QCOMPARE(result.stdoutText, QString());
        QCOMPARE(result.stderrText, errorText);
    }

    void keepsTheTailOfTheErrorText() {
        // The last line is what a failed item shows, so nothing at the end may be lost.
        FFmpegJob job;
        const ShellResult result =
            job.run(script("chatty", "i=0; while [ $i -lt 3000 ]; do echo \"line $i\" >&2; "
                                     "i=$((i+1)); done; echo 'Conversion failed!' >&2; exit 3\n"),
                    {}, 0, {});
        QCOMPARE(result.status, 3);
        const QStringList lines = result.stderrText.split('\n');
        QCOMPARE(lines.size(), 3002);
        QCOMPARE(lines.at(2999), QStringLiteral("line 2999"));
        QCOMPARE(lines.at(3000), QStringLiteral("Conversion failed!"));
    }

    void missingExecutableFailsAtOnce() {
        FFmpegJob job;
        bool called = false;
        const ShellResult result = job.run(dir_.filePath("no-such-ffmpeg"), {"-version"}, 10,
                                           [&](double) { called = true; });
        QCOMPARE(result.status, -1);
        QVERIFY(!result.stderrText.isEmpty());
        QVERIFY(!called);
    }

    void stopBeforeStartNeverLaunches() {
        const QString marker = dir_.filePath("launched");
        FFmpegJob job;
        job.stop();
        QVERIFY(job.cancelled());
        const ShellResult result =
            job.run(script("marks", "touch '" + marker.toUtf8() + "'\n"), {}, 10, {});
        QCOMPARE(result.status, 130);
        QCOMPARE(result.stderrText, QStringLiteral("Cancelled"));
        QVERIFY(!QFileInfo::exists(marker));
    }

    void stopKillsAChildThatIgnoresTerminate() {
        // If the stop only asked politely, this run would last as long as the test's time-out.
        const ShellResult result = stopAfterFirstProgress(
            script("stubborn", "trap '' TERM\nprintf 'out_time_us=1000000\\n'\n"
                               "exec sleep 100000\n"),
            {}, 10);
        QCOMPARE(result.status, 130);
        QCOMPARE(result.stdoutText, QString());
        QCOMPARE(result.stderrText, QStringLiteral("Cancelled"));
    }

    void encodesWithProgress() {
        const QString output = dir_.filePath("short.mp4");
        FFmpegJob job;
        Fractions reported;
        const ShellResult result =
            job.run("/usr/bin/ffmpeg",
                    {"-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-progress", "pipe:1",
                     "-nostats", "-f", "lavfi", "-i", "testsrc2=s=160x90:r=10:d=1", "-c:v",
                     "libx264", "-preset", "ultrafast", output},
                    1.0, [&](double fraction) { reported << fraction; });
        QCOMPARE(result.status, 0);
        QCOMPARE(result.stderrText, QString());
        QVERIFY(!reported.isEmpty());
        QVERIFY(std::is_sorted(reported.begin(), reported.end()));
        QVERIFY(reported.first() >= 0 && reported.last() <= 1);
        QVERIFY2(reported.last() > 0.8, qPrintable(QString::number(reported.last())));
        QCOMPARE(
            Prober::probe(QUrl::fromLocalFile(output), QStringLiteral("/usr/bin/ffprobe")).width,
            160);
    }

    void stopsARealEncode() {
        const QString output = dir_.filePath("long.mp4");
        const ShellResult result = stopAfterFirstProgress(
            "/usr/bin/ffmpeg",
            {"-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-progress", "pipe:1",
             "-nostats", "-f", "lavfi", "-i", "testsrc2=s=640x360:d=600", "-c:v", "libx264",
             "-preset", "ultrafast", output},
            600);
        QCOMPARE(result.status, 130);
        QCOMPARE(result.stderrText, QStringLiteral("Cancelled"));
        // Asked to terminate, ffmpeg closes its file: it is truncated but still readable.
        QCOMPARE(
            Prober::probe(QUrl::fromLocalFile(output), QStringLiteral("/usr/bin/ffprobe")).width,
            640);
    }
};

QTEST_GUILESS_MAIN(TestFFmpegJob)
#include "test_ffmpeg_job.moc"
