// Decoded copies kept for the compare view: read back exactly as decoded, dropped when their
// source changes, and never more of them than the budget allows.
#include "HeifTestWriter.h"
#include "tools/DecodedCopies.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestDecodedCopies : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;

    QString path(const QString& name) const { return temp_.filePath(name); }

    // A transparent HEIC, which a run always decodes for ffmpeg.
    void heic(const QString& name, QColor colour) {
        QImage picture(64, 48, QImage::Format_RGBA8888);
        picture.fill(colour);
        for (int x = 0; x < 16; ++x)
            picture.setPixelColor(x, x, QColor(0, 0, 0, 0));
        QVERIFY(HeifTestWriter::write(path(name), picture));
    }

    std::shared_ptr<SourcePreparer::PreparedFile> prepared(const QString& name) {
        auto preparation = SourcePreparer::prepare(path(name));
        return preparation.file;
    }

  private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid());
        qputenv("TMPDIR", QFile::encodeName(temp_.path()));
        heic("first.heic", QColor(200, 40, 30, 160));
        heic("second.heic", QColor(20, 140, 230));
    }

    void copiesReadBackAsDecoded() {
        for (const QString name : {"first.heic", "second.heic"}) {
            const auto copy = prepared(name);
            QVERIFY(copy);
            const QImage read = SourcePreparer::readPam(copy->path());
            const QImage decoded = SourcePreparer::decode(path(name)).image;
            QVERIFY(!read.isNull());
            QCOMPARE(read.convertToFormat(QImage::Format_RGBA8888),
                     decoded.convertToFormat(QImage::Format_RGBA8888));
        }
        QVERIFY(SourcePreparer::readPam(path("first.heic")).isNull());
    }

    void copiesStayWithinTheBudgetAndFollowTheirSource() {
        auto first = prepared("first.heic");
        auto second = prepared("second.heic");
        QVERIFY(first && second);
        const QString firstPath = first->path();
        const qint64 one = QFileInfo(firstPath).size();

        DecodedCopies::keep(path("first.heic"), first); // no budget: nothing is kept
        QVERIFY(!DecodedCopies::find(path("first.heic")));

        DecodedCopies::setBudget(one + one / 2);
        DecodedCopies::keep(path("first.heic"), std::move(first));
        QCOMPARE(DecodedCopies::find(path("first.heic"))->path(), firstPath);
        DecodedCopies::keep(path("second.heic"), std::move(second));
        QVERIFY2(!DecodedCopies::find(path("first.heic")), "the oldest copy goes first");
        QVERIFY2(!QFile::exists(firstPath), "a dropped copy leaves the disk");
        QVERIFY(DecodedCopies::find(path("second.heic")));

        QFile touched(path("second.heic"));
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                    QFileDevice::FileModificationTime));
        touched.close();
        QVERIFY2(!DecodedCopies::find(path("second.heic")), "the source changed since");
        DecodedCopies::setBudget(0);
    }
};

QTEST_MAIN(TestDecodedCopies)
#include "test_decoded_copies.moc"
