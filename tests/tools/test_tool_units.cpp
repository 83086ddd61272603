// Tools' output read back (progress, probes, PNG chunks, grey levels); icons sans theme.
#include "TestSupport.h"
#include "tools/FileIcon.h"
#include "tools/JpegRepack.h"
#include "tools/NumberText.h"
#include "tools/PngChunks.h"
#include "tools/PosterFrame.h"
#include "tools/Prober.h"
#include "tools/ProgressParser.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

using TestSupport::row;
using Chunks = QList<QByteArray>;
using Fractions = QList<double>;

namespace {

// A PNG of chunks holding three bytes each; the CRC is not checked.
QByteArray png(const QList<const char*>& types) {
    QByteArray bytes("\x89PNG\r\n\x1a\n", 8);
    for (const char* type : types)
        bytes += QByteArray("\0\0\0\3", 4) + type + "xxx" + QByteArray(4, '\x7f');
    return bytes;
}

// ffprobe's answer with one format duration and these streams.
QByteArray probeJson(const QByteArray& streams, const QByteArray& duration = "\"5.0\"") {
    return R"({"format": {"duration": )" + duration + R"(}, "streams": [)" + streams + "]}";
}

QByteArray video(int width, int height, const QByteArray& extra = {}) {
    return R"({"codec_type": "video", "width": )" + QByteArray::number(width) + R"(, "height": )" +
           QByteArray::number(height) + extra + "}";
}

// A 128 × 72 plane: `value` everywhere, the left half at `left` when given.
QByteArray plane(int value, int left = -1) {
    QByteArray bytes(128 * 72, char(value));
    for (int row = 0; left >= 0 && row < 72; ++row)
        std::fill_n(bytes.begin() + row * 128, 64, char(left));
    return bytes;
}

} // namespace

class TestToolUnits : public QObject {
    Q_OBJECT

  public:
    // File icons are asked for where no icon theme can be found: the data folders hold the MIME
    // database and no icons, set before the application exists (Qt reads them once).
    static void initMain() {
        static QTemporaryDir data;
        QFile::link("/usr/share/mime", data.filePath("mime"));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(data.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    }

  private slots:
    void withoutAThemeTheGlyphIsDrawn() {
        for (const auto& [file, kind] :
             {std::pair("clip.mp4", MediaKind::video), {"a.jpg", MediaKind::image}}) {
            const QImage icon = FileIcon::forFile(file, kind, 48);
            QCOMPARE(icon, FileIcon::glyph(kind, 48));
            QCOMPARE(icon.size(), QSize(48, 48));
            QVERIFY(qAlpha(icon.pixel(24, 24)) > 0); // something is drawn
        }
        QVERIFY(FileIcon::glyph(MediaKind::video, 48) != FileIcon::glyph(MediaKind::image, 48));
    }

    // The main thread blocks on the worker, so it cannot take the lookup the worker hands it:
    // the worker must still come back, with the glyph.
    void workerComesBackWhileTheMainThreadWaitsForIt() {
        QImage icon;
        std::unique_ptr<QThread> worker(QThread::create(
            [&icon] { icon = FileIcon::forFile("scan.tiff", MediaKind::image, 32); }));
        worker->start();
        QVERIFY(worker->wait(QDeadlineTimer(60000)));
        QCOMPARE(icon, FileIcon::glyph(MediaKind::image, 32));
    }

    void decimals_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value"); // NaN: refused
        row("integer", "2500000", 2500000.0);
        row("minus", "-90", -90.0);
        for (const char* refused : {"", "N/A", " 12", "12\r", "12,5", "inf", "nan", "\u0661\u0662"})
            row(*refused ? refused : "empty", refused, qQNaN());
    }
    void decimals() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(NumberText::parseDecimal(text).value_or(qQNaN()), value);
    }

    void progressFractions_data() {
        QTest::addColumn<double>("duration");
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Fractions>("expected");
        row("a quarter", 10.0, Chunks{"frame=3\nout_time_us=2500000\n"}, Fractions{0.25});
        row("beyond the end clamps", 10.0, Chunks{"out_time_us=12000000\n"}, Fractions{1.0});
        row("negative", 10.0, Chunks{"out_time_us=-5000\n"}, Fractions{});
        row("key split over chunks", 10.0,
            Chunks{"frame=1\nout_t", "ime_us=5000000\nprogress=continue\n"}, Fractions{0.5});
        row("digits split over chunks", 4.0,
            Chunks{"out_time_us=10", "00000\nout_time_us=2000000\n"}, Fractions{0.25, 0.5});
        row("other keys ignored", 10.0,
            Chunks{"out_time_ms=5000000\nout_time=00:00:05.0\n out_time_us=1\n"}, Fractions{});
        row("invalid UTF-8 chunk dropped", 10.0,
            Chunks{"out_time_us=1000000\n\xff\xfe\n", "out_time_us=3000000\n"}, Fractions{0.3});
        row("dropped chunk leaves the partial line waiting", 10.0,
            Chunks{"out_time_us=1000000\nout_ti", "me_us=\xff\n", "me_us=2000000\n"},
            Fractions{0.1, 0.2});
        row("character split over chunks", 10.0, Chunks{"x=\xc3", "\xa9\nout_time_us=7000000\n"},
            Fractions{0.7});
        // An overlong line is never taken for its tail.
        row("overlong line", 10.0,
            Chunks(64, QByteArray(1000, 'x')) << "out_time_us=1000000\nout_time_us=2000000\n",
            Fractions{0.2});
    }
    void progressFractions() {
        QFETCH(double, duration);
        QFETCH(Chunks, chunks);
        QFETCH(Fractions, expected);
        ProgressParser parser(duration);
        Fractions reported;
        for (const QByteArray& chunk : chunks)
            reported += parser.feed(chunk);
        QCOMPARE(reported, expected);
    }

    void probeAnswers_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<ProbeResult>("expected");
        row("video and audio",
            probeJson(video(1920, 1080) + R"(, {"codec_type": "audio"})", "\"12.48\""),
            ProbeResult{1920, 1080, 12.48, true, false});
        row("rotation -90 swaps",
            probeJson(video(1920, 1080, R"(, "side_data_list": [{"rotation": -90}])")),
            ProbeResult{1080, 1920, 5, false, false});
        row("first stream without width is passed over",
            probeJson(R"({"codec_type": "video"}, )" + video(640, 360)),
            ProbeResult{640, 360, 5, false, false});
        row("cover art does not override",
            probeJson(video(1280, 720) + ", " +
                      video(600, 600, R"(, "color_transfer": "smpte2084")")),
            ProbeResult{1280, 720, 5, false, false});
        row("fractional width is no width",
            probeJson(R"({"codec_type": "video", "width": 640.5, "height": 360})"),
            ProbeResult{0, 360, 5, false, false});
        row("entries without a type are skipped",
            probeJson(
                R"({}, {"codec_type": 7, "width": 10, "height": 10}, 5, {"codec_type": "audio"})"),
            ProbeResult{0, 0, 5, true, false});
        row("pq is hdr", probeJson(video(3840, 2160, R"(, "color_transfer": "smpte2084")")),
            ProbeResult{3840, 2160, 5, false, true});
        row("malformed", QByteArray(R"({"format": )"), ProbeResult{});
    }
    void probeAnswers() {
        QFETCH(QByteArray, json);
        QFETCH(ProbeResult, expected);
        QCOMPARE(Prober::parse(json), expected);
    }

    void pngMetadataChunks_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected"); // empty: refused
        const QList<const char*> look{"IHDR", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT",
                                      "cICP", "PLTE", "tRNS", "IDAT", "IDAT", "IEND"};
        const QByteArray plain = png({"IHDR", "IDAT", "IEND"});
        row("colour chunks stay", png(look), png(look));
        row("text, time, exif, size go",
            png({"IHDR", "tEXt", "pHYs", "IDAT", "tIME", "zTXt", "iTXt", "eXIf", "IEND"}), plain);
        row("unknown critical chunk stays", png({"IHDR", "IDAT", "ABCD", "IEND"}),
            png({"IHDR", "IDAT", "ABCD", "IEND"}));
        row("bytes after IEND dropped", plain + "trailing", plain);
        row("no IEND", png({"IHDR", "IDAT"}), QByteArray());
        row("length past the end", png({"IHDR"}) + QByteArray("\xff\xff\xff\xf0IDAT", 8),
            QByteArray());
    }
    void pngMetadataChunks() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QCOMPARE(PngChunks::withoutMetadata(input).value_or(QByteArray()), expected);
    }

    void jpegRepackRefusals() {
        for (const QByteArray& bytes : {QByteArray(), png({"IHDR", "IDAT", "IEND"}),
                                        QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF", 10)}) {
            QString error;
            QVERIFY(!JpegRepack::transform(bytes, {}, &error));
            QVERIFY(!error.isEmpty());
        }
    }

    // A candidate shows the picture when it has enough contrast and is not too dark.
    void posterVerdicts() {
        const auto picture = [](const QByteArray& grey) {
            return PosterFrame::showsPicture(PosterFrame::measure(grey));
        };
        QVERIFY(!picture(plane(0)) && !picture(plane(128)) && !picture(plane(255))); // flat
        QVERIFY(!picture(plane(0, 28)));    // dark with an edge
        QVERIFY(picture(plane(0, 32)));     // dim with an edge
        QVERIFY(!picture(plane(120, 126))); // faint texture
        QVERIFY(picture(plane(120, 128)));  // clear texture
        QVERIFY(!picture(QByteArray()));
    }

    void posterCandidates() {
        using Times = QList<double>;
        QCOMPARE(PosterFrame::candidateTimes(10), (Times{1, 2, 3, 4, 5}));
        QCOMPARE(PosterFrame::candidateTimes(30), (Times{3, 6, 9, 12, 15})); // no time twice
        QCOMPARE(PosterFrame::candidateTimes(45), (Times{3, 4.5, 9, 13.5, 18, 22.5}));
        QCOMPARE(PosterFrame::candidateTimes(3.3333), (Times{0.333, 0.667, 1.0, 1.333, 1.667}));
        QCOMPARE(PosterFrame::candidateTimes(0), Times{});
    }
};

QTEST_MAIN(TestToolUnits)
#include "test_tool_units.moc"
