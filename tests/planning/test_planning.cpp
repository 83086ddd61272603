#include "PlanSamples.h"
#include "TestSupport.h"

#include <QtTest>

using TestSupport::row;
using namespace PlanSamples;

// Whole argument lists for ordinary sources are held by the command line's golden plans.
namespace {

const QString dot = QStringLiteral(" \u00B7 ");

QStringList labels(const Plan& plan) {
    QStringList result;
    for (const PlannedOutput& output : plan)
        result << output.label;
    return result;
}

QStringList names(const Plan& plan) {
    QStringList result;
    for (const PlannedOutput& output : plan)
        result << output.destination.fileName();
    return result;
}

QStringList filters(const PlannedOutput& output) {
    const QString vf = after(output.arguments, "-vf");
    return vf.isNull() ? QStringList() : vf.split(',');
}

QStringList without(QStringList arguments, const QString& option) {
    if (const qsizetype at = arguments.indexOf(option); at >= 0)
        arguments.remove(at, 2);
    return arguments;
}

CropVariant crop(qint64 w, qint64 h, qint64 target, CropAnchor anchor = CropAnchor::center) {
    return CropVariant::make("c", w, h, target, anchor, true);
}

} // namespace

// The planners' edge cases, per image and video output.
class TestPlanning : public QObject {
    Q_OBJECT

  private slots:
    // The cap keeps widths even and at least 2, is off when not positive, and applies to a
    // photo whose width is unknown.
    void imageWidthCap() {
        const auto filter = [](qint64 width, qint64 cap) {
            TersioSettings settings = format(ImageFormat::jpeg);
            settings.imageMaxWidth = cap;
            return after(images(photo("a.jpg", width, 2000), settings)[0].arguments, "-vf");
        };
        QCOMPARE(filter(3000, 1001), QStringLiteral("scale=1000:-2:flags=lanczos"));
        QCOMPARE(filter(3000, 1), QStringLiteral("scale=2:-2:flags=lanczos"));
        QCOMPARE(filter(3000, 0), QString());
        QCOMPARE(filter(3000, -5), QString());
        QCOMPARE(filter(0, 2400), QStringLiteral("scale=2400:-2:flags=lanczos"));
    }

    void imageFormats() {
        const auto outputs = [](const QString& source, ImageFormat format, bool webpCopy,
                                const EncoderCaps& encoders = caps()) {
            return names(images(photo(source, 4000, 3000), ::format(format, webpCopy), encoders));
        };
        const auto match = ImageFormat::matchSource;
        QCOMPARE(outputs("x.heic", match, false), QStringList{"x.jpg"});
        QCOMPARE(outputs("photo.jpeg", match, false), QStringList{"photo.jpg"});
        QCOMPARE(outputs("scan", match, false), QStringList{"scan.jpg"});
        QCOMPARE(outputs("w.WebP", match, true), QStringList{"w.webp"}); // no duplicate
        QCOMPARE(outputs("v.avif", match, false), QStringList{"v.avif"});
        QCOMPARE(outputs("a.b.gif", ImageFormat::png, true), (QStringList{"a.b.png", "a.b.webp"}));
        // A format without its encoder is left out.
        QCOMPARE(outputs("x.png", ImageFormat::webp, false, caps({"libsvtav1"})), QStringList());
        QCOMPARE(outputs("x.png", ImageFormat::avif, true, caps({"libwebp"})),
                 QStringList{"x.webp"});
        QCOMPARE(outputs("x.png", ImageFormat::jpeg, true, caps({})), QStringList{"x.jpg"});
    }

    // SVT-AV1 only takes frames of at least 64 × 64 with even sides, after scaling.
    void av1Encoder() {
        const auto chosen = [](const QStringList& encoders, qint64 width, qint64 height,
                               qint64 cap = 2400) {
            TersioSettings settings = format(ImageFormat::avif);
            settings.imageMaxWidth = cap;
            const Plan plan = images(photo("a.png", width, height), settings, caps(encoders));
            return plan.size() == 1 ? after(plan[0].arguments, "-c:v") : QString();
        };
        const QStringList both{"libsvtav1", "libaom-av1"}, aom{"libaom-av1"}, svt{"libsvtav1"};
        QCOMPARE(chosen(both, 1000, 800), QStringLiteral("libsvtav1"));
        QCOMPARE(chosen(aom, 1000, 800), QStringLiteral("libaom-av1"));
        QCOMPARE(chosen(both, 101, 78), QStringLiteral("libaom-av1")); // odd width
        QCOMPARE(chosen(both, 100, 77), QStringLiteral("libaom-av1")); // odd height
        QCOMPARE(chosen(both, 40, 40), QStringLiteral("libaom-av1"));
        QCOMPARE(chosen(both, 64, 64), QStringLiteral("libsvtav1"));
        QCOMPARE(chosen(both, 0, 0), QStringLiteral("libaom-av1"));           // unmeasured
        QCOMPARE(chosen(both, 3001, 2001), QStringLiteral("libsvtav1"));      // scaled even
        QCOMPARE(chosen(both, 4000, 100), QStringLiteral("libaom-av1"));      // scaled to a sliver
        QCOMPARE(chosen(both, 4000, 256, 1000), QStringLiteral("libsvtav1")); // to exactly 64
        QCOMPARE(chosen(both, 4000, 4000, 63), QStringLiteral("libaom-av1"));
        QCOMPARE(chosen(svt, 41, 41), QStringLiteral("libsvtav1")); // the only one there is
    }

    // Only an output of the source's own format and size may fall back on the source; every
    // JPEG and PNG is re-packed, and a grey source keeps one channel.
    void postSteps() {
        const auto steps = [](const QString& source, qint64 width, ImageFormat format,
                              bool grey = false, bool strip = true) {
            MediaItem item = photo(source, width, 600);
            item.grey = grey;
            TersioSettings settings = ::format(format);
            settings.stripMetadata = strip;
            QStringList names;
            for (const PostStep& step : images(item, settings).value(0).post)
                names << step.name();
            return names.join(' ');
        };
        const auto match = ImageFormat::matchSource;
        const QString jpeg = "jpeg-lossless-progressive";
        QCOMPARE(steps("a.JPEG", 1200, match), jpeg + " source-if-smaller");
        QCOMPARE(steps("a.jpg", 4000, match), jpeg); // scaled
        QCOMPARE(steps("a.jpg", 0, match), jpeg);    // unmeasured
        QCOMPARE(steps("g.jpg", 800, match, true),
                 QStringLiteral("jpeg-lossless-progressive-grey source-if-smaller-grey"));
        QCOMPARE(steps("s.png", 800, match, false, false),
                 QStringLiteral("png-palette-keep-metadata png-lossless-squeeze-keep-metadata "
                                "source-if-smaller-keep-metadata"));
        QCOMPARE(steps("x.heic", 800, match), jpeg);
        QCOMPARE(steps("x.jpg", 800, ImageFormat::png),
                 QStringLiteral("png-palette png-lossless-squeeze"));
        QCOMPARE(steps("x.jpg", 800, ImageFormat::webp), QString());
    }

    // ffmpeg would read "%d" in an image name as a frame number and write another file.
    void percentNamesAreWrittenLiterally() {
        const Plan plan = images(photo("50%d off.png", 300, 200), format(ImageFormat::png, true));
        QCOMPARE(plan[0].arguments.mid(plan[0].arguments.size() - 5),
                 (QStringList{"-update", "1", "-pred", "mixed", "/out/50%d off.png"}));
        QCOMPARE(plan[1].arguments.mid(plan[1].arguments.size() - 3),
                 (QStringList{"-f", "webp", "/out/50%d off.webp"}));
        const Plan jpeg = images(photo("take%02d.png", 300, 200), format(ImageFormat::jpeg));
        QCOMPARE(after(jpeg[0].arguments, "-update"), QStringLiteral("1"));
    }

    // A tenth of the way in, at most 3 s, unless a time was chosen; never with a decimal comma.
    void posterSeek() {
        const auto seek = [](double duration, std::optional<double> chosen = {}) {
            MediaItem item = clip(1280, 720, duration);
            item.posterTime = chosen;
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
            const Plan plan = videos(item);
            QLocale::setDefault(QLocale::c());
            const QStringList& arguments = plan.at(2).arguments; // the poster
            return arguments.count("-ss") == 1 ? after(arguments, "-ss") : QString();
        };
        QCOMPARE(seek(20), QStringLiteral("2.000"));
        QCOMPARE(seek(4.2), QStringLiteral("0.420"));
        QCOMPARE(seek(0), QString()); // unprobed
        QCOMPARE(seek(10, 5.0), QStringLiteral("5.000"));
        QCOMPARE(seek(10, 0.0), QString());
        QCOMPARE(seek(0, 2.4), QString()); // chosen, but the duration was lost
    }

    // Audio follows the source and the setting (Vorbis when there is no Opus); the speed picks
    // the H.264/HEVC preset and VP9's effort.
    void audioAndSpeed() {
        TersioSettings settings;
        settings.audio = AudioMode::mono;
        settings.audioKbps = 96;
        settings.speed = SpeedPreset::veryfast;
        settings.makeHEVC = true;
        QStringList noOpus = caps().names.values();
        noOpus.removeAll("libopus");
        const auto tail = [](const PlannedOutput& output) {
            return output.arguments.mid(output.arguments.size() - 7, 6).join(' ');
        };
        Plan plan = videos(clip(1280, 720, 10), settings, caps(noOpus));
        QCOMPARE(tail(plan[0]), QStringLiteral("-c:a aac -b:a 96k -ac 1"));
        QCOMPARE(tail(plan[1]), QStringLiteral("-c:a aac -b:a 96k -ac 1"));
        QCOMPARE(tail(plan[2]), QStringLiteral("-c:a libvorbis -b:a 96k -ac 1"));
        QCOMPARE(after(plan[1].arguments, "-preset"), QStringLiteral("veryfast"));
        QCOMPARE(after(plan[2].arguments, "-cpu-used"), QStringLiteral("3"));
        settings.speed = SpeedPreset::slow;
        plan = videos(clip(1280, 720, 10, false), settings);
        QCOMPARE(after(plan[1].arguments, "-preset"), QStringLiteral("slow"));
        QCOMPARE(after(plan[2].arguments, "-cpu-used"), QStringLiteral("1"));
        for (const PlannedOutput& output : plan.mid(0, 3))
            QCOMPARE(output.arguments.at(output.arguments.size() - 2), QStringLiteral("-an"));
    }

    void unprobedClipAndSwitches() {
        const Plan unprobed = videos(clip(0, 0, 0, false));
        QCOMPARE(labels(unprobed),
                 (QStringList{"MP4" + dot + "H.264", "WebM" + dot + "VP9", "Poster frame"}));
        for (const PlannedOutput& output : unprobed) {
            QCOMPARE(filters(output), QStringList{"scale=1920:-2:flags=lanczos"});
            QCOMPARE(output.progressDuration, 0.0);
        }
        for (const PlannedOutput& output : videos(clip(1280, 720, 20)))
            QCOMPARE(output.progressDuration, output.label == "Poster frame" ? 0.0 : 20.0);
        TersioSettings settings;
        settings.cropVariants.clear();
        QCOMPARE(labels(videos(clip(1280, 720, 10), settings, caps({"libvpx-vp9", "libx265"}))),
                 (QStringList{"WebM" + dot + "VP9", "Poster frame"}));
        settings.makeH264 = settings.makeWebM = settings.makePoster = false;
        QVERIFY(videos(clip(1280, 720, 10), settings).isEmpty());
        settings.makePoster = true;
        QCOMPARE(labels(videos(clip(1280, 720, 10), settings, caps({}))),
                 QStringList{"Poster frame"});
    }

    // Each crop cuts the largest window of its ratio at its anchor, never scaled up.
    void cropWindows() {
        const auto cut = [](qint64 width, qint64 height, const CropVariant& crop) {
            TersioSettings settings;
            settings.cropVariants = {crop};
            const Plan plan = videos(clip(width, height, 5), settings);
            const QString mp4 = filters(plan.value(3)).join(',');
            return plan.size() == 5 && filters(plan[4]).join(',') == mp4 ? mp4 : QString();
        };
        QCOMPARE(cut(1921, 1080, crop(9, 16, 720, CropAnchor::right)),
                 QStringLiteral("crop=606:1080:1315:0,scale=606:-2:flags=lanczos"));
        QCOMPARE(cut(1920, 1080, crop(1, 1, 801)),
                 QStringLiteral("crop=1080:1080:420:0,scale=800:-2:flags=lanczos"));
        // A leftover of 501 pixels across (wide) or down (tall), at each anchor.
        const char* wide[] = {"250:0", "250:0", "250:0", "0:0", "501:0"};
        const char* tall[] = {"0:250", "0:0", "0:501", "0:250", "0:250"};
        for (const CropAnchor anchor : Options::allCases<CropAnchor>()) {
            QCOMPARE(cut(1001, 1000, crop(1, 2, 500, anchor)),
                     QStringLiteral("crop=500:1000:%1,scale=500:-2:flags=lanczos")
                         .arg(wide[int(anchor)]));
            QCOMPARE(cut(1000, 1001, crop(2, 1, 500, anchor)),
                     QStringLiteral("crop=1000:500:%1,scale=500:-2:flags=lanczos")
                         .arg(tall[int(anchor)]));
        }
    }

    // Ratios with a term that is not positive have no window; the other crops still run, and
    // two crops of one ratio get the same names (told apart when names are claimed).
    void unusableRatiosAreSkipped() {
        TersioSettings settings;
        settings.cropVariants = {crop(0, 16, 720),  crop(9, 0, 720), crop(0, 0, 720),
                                 crop(-9, 16, 720), crop(4, 5, 800), crop(9, -16, 720),
                                 crop(4, 5, 400)};
        const Plan plan = videos(clip(1920, 1080, 5), settings);
        QCOMPARE(names(plan).mid(3),
                 (QStringList{"clip-4x5.mp4", "clip-4x5.webm", "clip-4x5.mp4", "clip-4x5.webm"}));
        QCOMPARE(filters(plan[3]),
                 (QStringList{"crop=864:1080:528:0", "scale=800:-2:flags=lanczos"}));
    }

    void hdrIsToneMappedFirst() {
        const QStringList toneMap = QStringLiteral("zscale=t=linear:npl=100,format=gbrpf32le,"
                                                   "zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
                                                   "zscale=t=bt709:m=bt709:r=tv,format=yuv420p")
                                        .split(',');
        TersioSettings settings;
        settings.makeHEVC = true;
        const Plan sdr = videos(clip(3840, 2160, 20), settings);
        const Plan hdr = videos(clip(3840, 2160, 20, true, true), settings);
        QCOMPARE(hdr.size(), sdr.size());
        for (qsizetype i = 0; i < hdr.size(); ++i) {
            QCOMPARE(filters(hdr[i]), toneMap + filters(sdr[i]));
            QCOMPARE(without(hdr[i].arguments, "-vf"), without(sdr[i].arguments, "-vf"));
        }
        // With nothing else to filter, the tone map stands alone.
        QCOMPARE(filters(videos(clip(1280, 720, 20, true, true), settings)[3]), toneMap);
    }
};

QTEST_GUILESS_MAIN(TestPlanning)
#include "test_planning.moc"
