#include "TestSupport.h"
#include "tools/SourcePreparer.h"

#include <QColorSpace>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <lcms2.h>

#include <array>
#include <memory>

using TestSupport::row;

// Photos with embedded profiles of every kind, prepared for ffmpeg, against Little CMS's own
// tools (jpgicc for JPEGs, transicc for single colours): the colours must be the ones an
// ICC-aware viewer shows.
namespace {

const QString iccFolder = QStringLiteral("/usr/share/color/icc/");

using Rgb = std::array<double, 3>; // 0–255

// Profiles made with Little CMS's own API, both on sRGB's tone curve: a phone's Display P3
// (P3 primaries, D65 white), and a grey whose pixels already show right as they are.
QByteArray madeIcc(bool grey) {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgbCurve[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[] = {curve, curve, curve};
    cmsHPROFILE profile =
        grey ? cmsCreateGrayProfile(cmsD50_xyY(), curve) : cmsCreateRGBProfile(&white, &p3, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray icc(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return icc;
}

// Mean CIEDE2000 difference of two lists of sRGB colours.
double meanDeltaE(const QList<Rgb>& a, const QList<Rgb>& b) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    const auto transform = std::shared_ptr<void>(
        cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0),
        cmsDeleteTransform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    const auto toLab = [&](const Rgb& rgb) {
        const double unit[] = {rgb[0] / 255, rgb[1] / 255, rgb[2] / 255};
        cmsCIELab out;
        cmsDoTransform(transform.get(), unit, &out, 1);
        return out;
    };
    double sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const cmsCIELab x = toLab(a[i]), y = toLab(b[i]);
        sum += cmsCIE2000DeltaE(&x, &y, 1, 1, 1);
    }
    return a.isEmpty() ? 1e9 : sum / double(a.size());
}

// The colours at the centres of a 16-pixel grid: at least 8 pixels from every patch edge.
QList<Rgb> colours(const QImage& image) {
    QList<Rgb> out;
    for (int y = 8; y < image.height(); y += 16)
        for (int x = 8; x < image.width(); x += 16) {
            const QColor c = image.pixelColor(x, y);
            out << Rgb{double(c.red()), double(c.green()), double(c.blue())};
        }
    return out;
}

} // namespace

class TestColourMatch : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    void tool(const QString& program, const QStringList& arguments) {
        QString error;
        QVERIFY2(TestSupport::runTool(program, arguments, &error), qPrintable(error));
    }

    // transicc's sRGB for every grey level 0–255 through the grey profile.
    static QList<Rgb> transiccGreys(const QString& profile) {
        QProcess process;
        process.start("transicc", {"-n", "-t1", "-b", "-i" + profile});
        QByteArray input;
        for (int level = 0; level < 256; ++level)
            input += QByteArray::number(level) + '\n';
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(60000);
        QList<Rgb> out;
        for (const QByteArray& line : process.readAllStandardOutput().trimmed().split('\n'))
            if (const auto n = line.simplified().split(' '); n.size() == 3)
                out << Rgb{n[0].toDouble(), n[1].toDouble(), n[2].toDouble()};
        return out;
    }

  private slots:
    void initTestCase() {
        // A colour checker over a spectrum: skin, foliage and sky tones, greys and the gamut edge.
        QVERIFY(TestSupport::ffmpeg({"-f", "lavfi", "-i", "colorchart=patch_size=64x64", "-f",
                                     "lavfi", "-i", "colorspectrum=s=384x128", "-filter_complex",
                                     "[0][1]vstack,format=rgb24", "-frames:v", "1",
                                     path("chart.png")}));
        QVERIFY(TestSupport::ffmpeg(
            {"-i", path("chart.png"), "-q:v", "1", "-pix_fmt", "yuvj444p", path("chart.jpg")}));
        QVERIFY(
            TestSupport::ffmpeg({"-i", path("chart.png"), "-pix_fmt", "gray", path("grey.png")}));
        QVERIFY(TestSupport::writeFile(path("p3.icc"), madeIcc(false)));
        QVERIFY(TestSupport::writeFile(path("srgb-grey.icc"), madeIcc(true)));

        const QList<std::pair<QString, QString>> tagged{
            {"p3.jpg", path("p3.icc")},
            {"adobe.jpg", iccFolder + "colord/AdobeRGB1998.icc"},
            {"grey-gamma.png", iccFolder + "ghostscript/sgray.icc"},
            {"grey-linear.png", iccFolder + "Gray.icc"},
            {"srgb-v2.jpg", iccFolder + "sRGB.icc"},
            {"srgb-v4.jpg", iccFolder + "colord/sRGB.icc"},
            {"grey-srgb.png", path("srgb-grey.icc")}};
        for (const auto& [file, profile] : tagged) {
            QVERIFY(
                QFile::copy(path(file.endsWith(".png") ? "grey.png" : "chart.jpg"), path(file)));
            tool("exiftool", {"-q", "-overwrite_original", "-ICC_Profile<=" + profile, path(file)});
        }
        // jpgicc writes CMYK JPEGs the way Adobe's software does (inverted, with its marker).
        for (const auto& [profile, file] : {std::pair("default_cmyk.icc", "cmyk-v2.jpg"),
                                            std::pair("ps_cmyk.icc", "cmyk-v4.jpg")})
            tool("jpgicc", {"-o" + iccFolder + "ghostscript/" + profile, "-e", "-q98",
                            path("chart.jpg"), path(file)});
        // Profiles that show like sRGB are left to ffmpeg, which reads every file as sRGB.
        for (const char* file : {"srgb-v2.jpg", "srgb-v4.jpg", "grey-srgb.png"})
            QVERIFY2(SourcePreparer::reasonFor(path(file)) == SourcePreparer::Reason::none, file);
    }

    void sameColoursAsLittleCmsTools_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("greyProfile"); // empty: a JPEG that jpgicc converts
        row("Display P3 JPEG, matrix", "p3.jpg", QString());
        row("Adobe RGB JPEG, matrix v4", "adobe.jpg", QString());
        row("CMYK JPEG, LUT v2, Lab", "cmyk-v2.jpg", QString());
        row("CMYK JPEG, LUT v4, XYZ", "cmyk-v4.jpg", QString());
        row("grey PNG, gamma 1.8", "grey-gamma.png", iccFolder + "ghostscript/sgray.icc");
        row("grey PNG, linear", "grey-linear.png", iccFolder + "Gray.icc");
    }

    void sameColoursAsLittleCmsTools() {
        QFETCH(QString, file);
        QFETCH(QString, greyProfile);
        QCOMPARE(SourcePreparer::reasonFor(path(file)), SourcePreparer::Reason::colourProfile);
        const auto decoded = SourcePreparer::decode(path(file));
        QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
        QCOMPARE(decoded.image.size(), QSize(384, 384));
        QCOMPARE(decoded.image.colorSpace(), QColorSpace(QColorSpace::SRgb));

        const QImage untouched(path(file)); // what ffmpeg would have read
        QImage referenceImage;
        if (greyProfile.isEmpty()) {
            tool("jpgicc", {"-t1", "-b", "-q100", path(file), path("reference.jpg")});
            referenceImage = QImage(path("reference.jpg"));
        } else {
            const QList<Rgb> greys = transiccGreys(greyProfile);
            QCOMPARE(greys.size(), 256);
            referenceImage = QImage(untouched.size(), QImage::Format_RGB32);
            for (int y = 0; y < untouched.height(); ++y)
                for (int x = 0; x < untouched.width(); ++x) {
                    const Rgb& c = greys[qGray(untouched.pixel(x, y))];
                    referenceImage.setPixel(x, y, qRgb(qRound(c[0]), qRound(c[1]), qRound(c[2])));
                }
        }
        const QList<Rgb> raw = colours(untouched), reference = colours(referenceImage);
        QCOMPARE(reference.size(), raw.size());

        const double converted = meanDeltaE(colours(decoded.image), reference);
        const double unconverted = meanDeltaE(raw, reference);
        qInfo("%s: mean CIEDE2000 %.2f against the tool, %.2f unconverted", qPrintable(file),
              converted, unconverted);
        QVERIFY2(unconverted > 1.5, "the sample cannot tell a conversion from none");
        QVERIFY(converted < 1);
    }
};

QTEST_MAIN(TestColourMatch)
#include "test_colour_match.moc"
