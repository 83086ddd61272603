#include "CompareImageProvider.h"
#include "CompareViewport.h"
#include "ViewText.h"

#include "PhotoSources.h"
#include "TestSupport.h"
#include <QColorSpace>
#include <QColorTransform>
#include <QQuickTextureFactory>
#include <QSignalSpy>
#include <QTemporaryDir>

using TestSupport::row;
using namespace Qt::StringLiterals;

// The compare view without a window: its geometry (in an 800 × 600 view), caption and pictures.
class TestCompare : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    CompareImageProvider provider_;

    // + and - the zoom ladder, a digit zooms to it, f fits, w a wheel notch out at the corner,
    // a five times in at (200, 150), p a drag far right, < and > divider steps, L and R the
    // divider dragged far left and right.
    static void press(CompareViewport& view, QChar key) {
        if (key.isDigit())
            return view.zoomTo(key.digitValue());
        switch (key.toLatin1()) {
        case '+':
            return view.zoomIn();
        case '-':
            return view.zoomOut();
        case 'f':
            return view.fit();
        case 'w':
            return view.zoomBy(0.8, {});
        case 'a':
            return view.zoomBy(5, {200, 150});
        case 'p':
            return view.panBy({5000, 0});
        case 'L':
        case 'R':
            return view.setDivider(key == u'L' ? 0 : 2000);
        default:
            return view.moveDivider(key == u'<' ? -1 : 1);
        }
    }

  private slots:
    void geometry_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<bool>("fitting");
        QTest::addColumn<double>("left");    // the picture's left edge in the view
        QTest::addColumn<double>("divider"); // a 400-wide picture at 100% shows at x 200–600
        const QSize big(4000, 3000), small(400, 300);
        row("12 MP fits at a fifth", big, u""_s, 0.2, true, 0.0, 400.0);
        row("out below the fit fits", big, u"+-"_s, 0.2, true, 0.0, 400.0);
        row("the wheel stops at the fit", big, u"+w"_s, 0.2, true, 0.0, 400.0);
        row("the ladder", big, u"+1++-"_s, 1.5, false, -2600.0, 400.0);
        row("no further than 800%", big, u"8+"_s, 8.0, false, -15600.0, 400.0);
        row("the point under the pointer stays", big, u"a"_s, 1.0, false, -800.0, 400.0);
        row("panning stops at the left edge", big, u"ap"_s, 1.0, false, 0.0, 400.0);
        row("a small picture is never enlarged", small, u"-"_s, 1.0, true, 200.0, 400.0);
        row("100% on a small picture", small, u"f1"_s, 1.0, false, 200.0, 400.0);
        row("divider held on the picture", small, u"L>R"_s, 1.0, true, 200.0, 600.0);
        row("divider steps are twentieths", small, u">>><<<<"_s, 1.0, true, 200.0, 380.0);
        row("zoomed in, the divider has the view", small, u"3L>"_s, 3.0, false, -200.0, 40.0);
    }
    void geometry() {
        QFETCH(QSize, picture);
        QFETCH(QString, keys);
        CompareViewport view;
        view.setViewSize({800, 600});
        view.setPictureSize(QSizeF(picture));
        for (const QChar key : keys)
            press(view, key);
        QTEST(view.zoom(), "zoom");
        QTEST(view.fitting(), "fitting");
        QTEST(view.picture().left(), "left");
        QTEST(view.divider(), "divider");
    }

    void caption_data() {
        QTest::addColumn<qint64>("output");
        QTest::addColumn<double>("score");
        QTest::addColumn<QString>("caption");
        row("smaller, scored", 1'000'000LL, 0.9624,
            u"1 MB  \u00B7  60% smaller  \u00B7  SSIM 0.962"_s);
        row("a saving rounds down", 2'499'999LL, -1.0, u"2.5 MB  \u00B7  0% smaller"_s);
        row("a growth rounds up", 2'500'001LL, std::nan(""), u"2.5 MB  \u00B7  1% larger"_s);
    }
    void caption() {
        QFETCH(qint64, output);
        QFETCH(double, score);
        QFETCH(QString, caption);
        QCOMPARE(ViewText::compareCaption(u"JPEG"_s, 2'500'000, output, score),
                 u"Original 2.5 MB  \u00B7  JPEG "_s + caption);
    }

    // A sideways Adobe RGB photo (EXIF orientation 6) and its upright output, as an Image gets
    // them: the same size, upright, the photo converted to sRGB rather than read as sRGB.
    void picturesAreUprightSrgbAndLineUp() {
        using namespace PhotoSources;
        const QSize stored(64, 32);
        QImage pattern = quadrants(stored);
        pattern.setColorSpace(QColorSpace::AdobeRgb);
        const QString source = dir_.filePath(u"turned photo.jpg"_s);
        const QString output = dir_.filePath(u"turned photo.webp"_s);
        QVERIFY(pattern.save(source, nullptr, 95));
        QVERIFY(TestSupport::runTool(
            u"exiftool"_s, {u"-q"_s, u"-Orientation#=6"_s, u"-overwrite_original"_s, source}));
        QVERIFY(quadrants(stored).transformed(QTransform().rotate(90)).save(output, nullptr, 95));

        QList<QImage> pair;
        for (const QString& path : {source, output}) {
            std::unique_ptr<QQuickImageResponse> response(
                provider_.requestImageResponse(QUrl::toPercentEncoding(path), {}));
            QVERIFY(QSignalSpy(response.get(), &QQuickImageResponse::finished).wait(30000));
            QVERIFY2(response->errorString().isEmpty(), qPrintable(response->errorString()));
            pair << std::unique_ptr<QQuickTextureFactory>(response->textureFactory())->image();
        }
        QCOMPARE(pair[0].size(), stored.transposed());
        QCOMPARE(pair[1].size(), pair[0].size());
        QCOMPARE(quadrantsOf(pair[0]), shownQuadrants(6));
        QCOMPARE(quadrantsOf(pair[1]), shownQuadrants(6));
        const QColor red = pair[0].pixelColor(24, 16);
        const QColor srgbRed = QColorSpace(QColorSpace::AdobeRgb)
                                   .transformationToColorSpace(QColorSpace::SRgb)
                                   .map(quadrantColours()[0]);
        QVERIFY2(colourDistance(red, srgbRed) < 15, qPrintable(red.name()));
        QVERIFY(colourDistance(red, quadrantColours()[0]) > 30);
    }
};

QTEST_MAIN(TestCompare)
#include "test_compare.moc"
