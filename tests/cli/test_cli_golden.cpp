#include "CliHarness.h"

#include <QRegularExpression>
#include <QtTest>

using namespace CliTest;
using TestSupport::row;
using TestSupport::words;

// What the command line prints and how it exits, compared with text kept in data/cli_golden.txt:
// plans of a mixed folder under many settings, the settings document, the help text and the
// refusals. TERSIO_WRITE_GOLDEN=1 rewrites that file from the current build.
class TestCliGolden : public CliHarness {
    Q_OBJECT

    QMap<QString, QString> golden_;
    QMap<QString, QString> actual_;

    QString goldenPath() const {
        return QString::fromLocal8Bit(qgetenv("TERSIO_SOURCE_DIR")) +
               u"/tests/cli/data/cli_golden.txt"_s;
    }

    // Machine-free text: the media folder becomes $MEDIA, and ids made fresh for each run (the
    // starter crops') become UUID, which still shows their upper-case, brace-less spelling. The
    // per-item "invocations" are left out so that a new way of running the same outputs does not
    // count as a change of plan.
    QString normalised(const Outcome& o, bool json) const {
        QByteArray out = o.out;
        if (json) {
            QJsonObject root = o.json();
            QJsonArray items;
            for (const auto& item : root[u"items"_s].toArray()) {
                QJsonObject object = item.toObject();
                object.remove(u"invocations"_s);
                items.append(object);
            }
            // One item a line keeps the file short and a difference easy to find.
            out.clear();
            for (const auto& item : items)
                out += QJsonDocument(item.toObject()).toJson(QJsonDocument::Compact) + '\n';
            root.remove(u"items"_s);
            out += QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n';
        }
        QString text = u"exit %1\n"_s.arg(o.status) + QString::fromUtf8(out);
        if (!o.err.isEmpty())
            text += u"stderr: "_s + o.err;
        if (!text.endsWith(u'\n'))
            text += u"(no newline at the end)\n"_s;
        static const QRegularExpression id(u"[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"_s);
        return text.replace(media_.path(), u"$MEDIA"_s).replace(id, u"UUID"_s);
    }

    void check(const QStringList& args, bool json = false) {
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QStringList real;
        for (QString a : args)
            real << a.replace(u"$MEDIA"_s, media_.path());
        const QString text = normalised(cli(real), json);
        actual_[name] = text;
        if (qEnvironmentVariableIsSet("TERSIO_WRITE_GOLDEN"))
            return;
        QVERIFY2(golden_.contains(name), qPrintable(u"no golden text for "_s + name));
        QCOMPARE(text, golden_.value(name));
    }

  private slots:
    void initTestCase() {
        QVERIFY(media_.isValid() && config_.isValid());
        // Sections "### name", the text, then a blank line.
        const QByteArray bytes = TestSupport::readFile(goldenPath());
        const QString all =
            bytes.isEmpty() ? QString() : u'\n' + QString::fromUtf8(bytes.chopped(1));
        for (const QString& section : all.split(u"\n### "_s, Qt::SkipEmptyParts))
            golden_[section.section(u'\n', 0, 0)] = section.mid(section.indexOf(u'\n') + 1);
        const QDir dir(media_.path());
        const auto make = [&](const QString& source, const QString& options, const QString& name) {
            QVERIFY(TestSupport::lavfi(source, options, dir.filePath(name)));
        };
        make(u"testsrc2=size=640x480"_s, u"-frames:v 1"_s, u"set/photo.jpg"_s);
        make(u"color=c=red@0.5:size=96x64,format=rgba"_s, u"-frames:v 1"_s, u"set/logo.png"_s);
        make(u"testsrc2=size=200x150,format=gray"_s, u"-frames:v 1"_s, u"set/sub/scan.png"_s);
        make(u"testsrc2=size=64x48:rate=5:duration=1"_s, u"-loop 0"_s, u"set/spin.gif"_s);
        makeClip(dir.filePath(u"set/clip.mp4"_s), u"640x360"_s, 1, 10);
        makeClip(dir.filePath(u"flat.mp4"_s), u"480x270"_s, 1, 10);
        QVERIFY(TestSupport::ffmpeg({u"-i"_s, dir.filePath(u"flat.mp4"_s), u"-c"_s, u"copy"_s,
                                     u"-metadata:s:v"_s, u"rotate=270"_s,
                                     dir.filePath(u"set/sub/portrait.mp4"_s)}));
        QFile::remove(dir.filePath(u"flat.mp4"_s));
        // A document unlike the defaults in every key the flags leave alone.
        QVERIFY(
            TestSupport::writeFile(dir.filePath(u"custom.json"_s),
                                   R"({"imageFormat":"webp","imageQuality":64.5,"imageMaxWidth":300,
"imageLimitWidth":true,"alsoEmitWebP":false,"stripMetadata":false,"videoQuality":81,
"videoMaxWidth":400,"videoLimitWidth":true,"speed":"faster","makeH264":true,"makeHEVC":true,
"makeWebM":false,"makePoster":false,"audio":"mono","audioKbps":64,"cropVariants":[
{"id":"6F1C0E9A-3C2B-4D55-9A51-0B8E2E8C7A11","name":"Tall","aspectW":4,"aspectH":5,
"targetWidth":320,"anchor":"top","enabled":true},
{"id":"00000000-0000-0000-0000-000000000000","name":"Wide","aspectW":16,"aspectH":9,
"targetWidth":640,"anchor":"left","enabled":false}],"outputMode":"subfolder",
"subfolderName":"web","customFolderPath":"","maxConcurrent":3,"overwriteExisting":false})"));
    }

    void init() { QFile::remove(storeFile()); }

    void dryRunPlans_data() {
        QTest::addColumn<QString>("flags");
        row("defaults", QString());
        row("webp, qualities", u"--image-format webp --image-quality=55.5 --video-quality 40"_s);
        row("avif, narrow, no crops", u"--image-format avif --image-max-width 100 --no-crops"_s);
        row("jpeg, no cap, metadata", u"--image-format jpeg --no-width-cap --keep-metadata"_s);
        row("hevc only, slow, mono",
            u"--hevc --no-webm --no-poster --speed slow --audio mono --audio-kbps 96"_s);
        row("png, webp copy, one crop", u"--webp-copy --image-format png --crops 1x1"_s);
        row("chosen folder, no overwrite", u"--output $MEDIA/out --no-overwrite --jobs 3"_s);
        row("subfolder, no audio, small video",
            u"--subfolder web --audio remove --video-max-width 320"_s);
        row("later flags win",
            u"--image-format jpeg --no-h264 --output $MEDIA/out --image-format "
            "png --h264 --subfolder late --no-width-cap --image-max-width 500"_s);
        row("settings file", u"--settings $MEDIA/custom.json"_s);
        row("automatic quality", u"--auto-quality same --webp-copy"_s);
    }
    void dryRunPlans() {
        QFETCH(QString, flags);
        check(words(u"--dry-run --json "_s + flags + u" $MEDIA/set"_s), true);
    }

    void texts_data() {
        QTest::addColumn<QStringList>("args");
        row("plan as text", words(u"--dry-run $MEDIA/set"_s));
        row("plan as text, automatic quality",
            words(u"--dry-run --auto-quality small $MEDIA/set"_s));
        row("print defaults", words(u"--print-settings"_s));
        row("print edited", words(u"--settings $MEDIA/custom.json --crops 16x9 --image-quality "
                                  "12.25 --output $MEDIA/o --print-settings"_s));
        row("help", words(u"--help"_s));
        row("help from file", words(u"-h --settings $MEDIA/custom.json --jobs 5"_s));
        // Refusals.
        row("unknown option", words(u"--bogus $MEDIA/set"_s));
        row("unknown short", words(u"-x $MEDIA/set"_s));
        row("quality too high", words(u"--image-quality 101 $MEDIA/set"_s));
        row("quality not a number", words(u"--video-quality=1e $MEDIA/set"_s));
        row("negative value", words(u"--image-quality -5 $MEDIA/set"_s));
        row("width too small", words(u"--image-max-width 1 $MEDIA/set"_s));
        row("jobs too many", words(u"--jobs 7 $MEDIA/set"_s));
        row("bad choice", words(u"--speed Fast $MEDIA/set"_s));
        row("bad ratio", words(u"--crops 9:16 $MEDIA/set"_s));
        row("ratio not stored", words(u"--crops 5x7 $MEDIA/set"_s));
        row("empty output", words(u"--output= $MEDIA/set"_s));
        row("blank subfolder", QStringList{u"--subfolder"_s, u" "_s, u"$MEDIA/set"_s});
        row("missing value", words(u"$MEDIA/set --audio-kbps"_s));
        row("bad shard", words(u"--shard 2/2 $MEDIA/set"_s));
        row("no paths", words(u"--dry-run"_s));
        row("missing path", words(u"--dry-run $MEDIA/nothing"_s));
        row("dash path after --", words(u"--dry-run -- --image-quality"_s));
        row("broken settings file", words(u"--settings $MEDIA/set/photo.jpg --print-settings"_s));
    }
    void texts() {
        QFETCH(QStringList, args);
        check(args);
    }

    void cleanupTestCase() {
        if (!qEnvironmentVariableIsSet("TERSIO_WRITE_GOLDEN"))
            return;
        QString text;
        for (auto it = actual_.cbegin(); it != actual_.cend(); ++it)
            text += u"### "_s + it.key() + u'\n' + it.value() + u'\n';
        QVERIFY(TestSupport::writeFile(goldenPath(), text.toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestCliGolden)
#include "test_cli_golden.moc"
