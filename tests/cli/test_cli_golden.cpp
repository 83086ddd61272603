#include "CliHarness.h"

#include <QRegularExpression>
#include <QtTest>

using namespace CliTest;

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

    void check(const QString& name, const QStringList& args, bool json = false) {
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

    static void makeStill(const QString& path, const QString& source) {
        QVERIFY(TestSupport::ffmpeg(
            {u"-f"_s, u"lavfi"_s, u"-i"_s, source, u"-frames:v"_s, u"1"_s, path}));
    }

  private slots:
    void initTestCase() {
        QVERIFY(media_.isValid() && config_.isValid());
        QFile file(goldenPath());
        if (file.open(QIODevice::ReadOnly)) {
            QString name;
            QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
            lines.removeLast(); // after the file's last newline
            for (const QString& line : std::as_const(lines)) {
                if (line.startsWith(u"### "_s))
                    name = line.mid(4);
                else if (!name.isEmpty())
                    golden_[name] += line + u'\n';
            }
            for (auto& text : golden_)
                text.chop(1); // the blank line between sections
        }
        const QDir dir(media_.path());
        dir.mkpath(u"set/sub"_s);
        makeStill(dir.filePath(u"set/photo.jpg"_s), u"testsrc2=size=640x480"_s);
        makeStill(dir.filePath(u"set/logo.png"_s), u"color=c=red@0.5:size=96x64,format=rgba"_s);
        makeStill(dir.filePath(u"set/sub/scan.png"_s), u"testsrc2=size=200x150,format=gray"_s);
        QVERIFY(TestSupport::ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s,
                                     u"testsrc2=size=64x48:rate=5:duration=1"_s, u"-loop"_s, u"0"_s,
                                     dir.filePath(u"set/spin.gif"_s)}));
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
        QTest::addColumn<QStringList>("flags");
        QTest::newRow("defaults") << QStringList{};
        QTest::newRow("webp, qualities")
            << QStringList{u"--image-format"_s, u"webp"_s, u"--image-quality=55.5"_s,
                           u"--video-quality"_s, u"40"_s};
        QTest::newRow("avif, narrow, no crops") << QStringList{
            u"--image-format"_s, u"avif"_s, u"--image-max-width"_s, u"100"_s, u"--no-crops"_s};
        QTest::newRow("jpeg, no cap, metadata") << QStringList{
            u"--image-format"_s, u"jpeg"_s, u"--no-width-cap"_s, u"--keep-metadata"_s};
        QTest::newRow("hevc only, slow, mono")
            << QStringList{u"--hevc"_s,  u"--no-webm"_s, u"--no-poster"_s,  u"--speed"_s, u"slow"_s,
                           u"--audio"_s, u"mono"_s,      u"--audio-kbps"_s, u"96"_s};
        QTest::newRow("png, webp copy, one crop")
            << QStringList{u"--webp-copy"_s, u"--image-format"_s, u"png"_s, u"--crops"_s, u"1x1"_s};
        QTest::newRow("chosen folder, no overwrite") << QStringList{
            u"--output"_s, u"$MEDIA/out"_s, u"--no-overwrite"_s, u"--jobs"_s, u"3"_s};
        QTest::newRow("subfolder, no audio, small video")
            << QStringList{u"--subfolder"_s,       u"web"_s, u"--audio"_s, u"remove"_s,
                           u"--video-max-width"_s, u"320"_s};
        QTest::newRow("later flags win") << QStringList{u"--image-format"_s,
                                                        u"jpeg"_s,
                                                        u"--no-h264"_s,
                                                        u"--output"_s,
                                                        u"$MEDIA/out"_s,
                                                        u"--image-format"_s,
                                                        u"png"_s,
                                                        u"--h264"_s,
                                                        u"--subfolder"_s,
                                                        u"late"_s,
                                                        u"--no-width-cap"_s,
                                                        u"--image-max-width"_s,
                                                        u"500"_s};
        QTest::newRow("settings file") << QStringList{u"--settings"_s, u"$MEDIA/custom.json"_s};
        QTest::newRow("automatic quality")
            << QStringList{u"--auto-quality"_s, u"same"_s, u"--webp-copy"_s};
    }
    void dryRunPlans() {
        QFETCH(QStringList, flags);
        check(QString::fromLatin1(QTest::currentDataTag()),
              QStringList{u"--dry-run"_s, u"--json"_s} + flags + QStringList{u"$MEDIA/set"_s},
              true);
    }

    void texts_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("plan as text") << QStringList{u"--dry-run"_s, u"$MEDIA/set"_s};
        QTest::newRow("plan as text, automatic quality")
            << QStringList{u"--dry-run"_s, u"--auto-quality"_s, u"small"_s, u"$MEDIA/set"_s};
        QTest::newRow("print defaults") << QStringList{u"--print-settings"_s};
        QTest::newRow("print edited")
            << QStringList{u"--settings"_s, u"$MEDIA/custom.json"_s, u"--crops"_s,
                           u"16x9"_s,       u"--image-quality"_s,    u"12.25"_s,
                           u"--output"_s,   u"$MEDIA/o"_s,           u"--print-settings"_s};
        QTest::newRow("help") << QStringList{u"--help"_s};
        QTest::newRow("help from file")
            << QStringList{u"-h"_s, u"--settings"_s, u"$MEDIA/custom.json"_s, u"--jobs"_s, u"5"_s};
    }
    void texts() {
        QFETCH(QStringList, args);
        check(QString::fromLatin1(QTest::currentDataTag()), args);
    }

    void refusals_data() {
        QTest::addColumn<QStringList>("args");
        const QString set = u"$MEDIA/set"_s;
        QTest::newRow("unknown option") << QStringList{u"--bogus"_s, set};
        QTest::newRow("unknown short") << QStringList{u"-x"_s, set};
        QTest::newRow("quality too high") << QStringList{u"--image-quality"_s, u"101"_s, set};
        QTest::newRow("quality not a number") << QStringList{u"--video-quality=1e"_s, set};
        QTest::newRow("negative value") << QStringList{u"--image-quality"_s, u"-5"_s, set};
        QTest::newRow("width too small") << QStringList{u"--image-max-width"_s, u"1"_s, set};
        QTest::newRow("jobs too many") << QStringList{u"--jobs"_s, u"7"_s, set};
        QTest::newRow("bad choice") << QStringList{u"--speed"_s, u"Fast"_s, set};
        QTest::newRow("bad ratio") << QStringList{u"--crops"_s, u"9:16"_s, set};
        QTest::newRow("ratio not stored") << QStringList{u"--crops"_s, u"5x7"_s, set};
        QTest::newRow("empty output") << QStringList{u"--output="_s, set};
        QTest::newRow("blank subfolder") << QStringList{u"--subfolder"_s, u" "_s, set};
        QTest::newRow("missing value") << QStringList{set, u"--audio-kbps"_s};
        QTest::newRow("bad shard") << QStringList{u"--shard"_s, u"2/2"_s, set};
        QTest::newRow("no paths") << QStringList{u"--dry-run"_s};
        QTest::newRow("missing path") << QStringList{u"--dry-run"_s, u"$MEDIA/nothing"_s};
        QTest::newRow("dash path after --")
            << QStringList{u"--dry-run"_s, u"--"_s, u"--image-quality"_s};
        QTest::newRow("broken settings file")
            << QStringList{u"--settings"_s, u"$MEDIA/set/photo.jpg"_s, u"--print-settings"_s};
    }
    void refusals() {
        QFETCH(QStringList, args);
        check(QString::fromLatin1(QTest::currentDataTag()), args);
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
