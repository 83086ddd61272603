#include "model/MediaItem.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

// `cmake --install` into a scratch prefix: the standard tree, and files the desktop accepts.
class TestInstallTree : public QObject {
    Q_OBJECT

    QTemporaryDir prefix_;

    QString installed(const QString& relative) const { return prefix_.filePath(relative); }

    struct Run {
        int exitCode = -1;
        QString output;
    };

    static Run run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, process.errorString()};
        return {process.exitCode(), QString::fromUtf8(process.readAll())};
    }

    // The values of one key of the desktop entry, split at ';'.
    QStringList desktopValues(const QString& key) const {
        QFile file(installed(QStringLiteral("share/applications/app.veltrane.Tersio.desktop")));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        const QString prefix = key + QLatin1Char('=');
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
            if (line.startsWith(prefix))
                return line.mid(prefix.size()).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        return {};
    }

  private slots:
    void initTestCase() {
        QVERIFY(prefix_.isValid());
        const Run install = run(QStringLiteral(CMAKE_COMMAND_PATH),
                                {QStringLiteral("--install"), QStringLiteral(TERSIO_BUILD_DIR),
                                 QStringLiteral("--prefix"), prefix_.path()});
        QVERIFY2(install.exitCode == 0, qPrintable(install.output));
    }

    void laysOutTheStandardTree() {
        for (const char* program : {"bin/tersio", "bin/tersio-cli"}) {
            const QFileInfo info(installed(QLatin1String(program)));
            QVERIFY2(info.isFile() && info.isExecutable(), program);
        }
        for (const char* file : {"share/applications/app.veltrane.Tersio.desktop",
                                 "share/icons/hicolor/scalable/apps/app.veltrane.Tersio.svg",
                                 "share/metainfo/app.veltrane.Tersio.metainfo.xml"})
            QVERIFY2(QFileInfo(installed(QLatin1String(file))).isFile(), file);
        QVERIFY(QFileInfo(installed(QStringLiteral("share/tersio/bin"))).isDir());

        const Run version =
            run(installed(QStringLiteral("bin/tersio-cli")), {QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.output.contains(QStringLiteral(TERSIO_VERSION)),
                 qPrintable(version.output));
    }

    void validatorsAccept() {
        const Run desktop =
            run(QStringLiteral("desktop-file-validate"),
                {installed(QStringLiteral("share/applications/app.veltrane.Tersio.desktop"))});
        QVERIFY2(desktop.exitCode == 0 && desktop.output.trimmed().isEmpty(),
                 qPrintable(desktop.output));
        const Run metainfo =
            run(QStringLiteral("appstreamcli"),
                {QStringLiteral("validate"), QStringLiteral("--no-net"),
                 installed(QStringLiteral("share/metainfo/app.veltrane.Tersio.metainfo.xml"))});
        QVERIFY2(metainfo.exitCode == 0, qPrintable(metainfo.output));
    }

    void desktopEntryOpensEveryQueueType() {
        QCOMPARE(desktopValues(QStringLiteral("Exec")), QStringList{QStringLiteral("tersio %F")});
        QCOMPARE(desktopValues(QStringLiteral("Icon")),
                 QStringList{QStringLiteral("app.veltrane.Tersio")});
        const QStringList declared = desktopValues(QStringLiteral("MimeType"));
        const QMimeDatabase mimes;
        const QSet<QString> extensions =
            MediaKinds::imageExtensions() + MediaKinds::videoExtensions();
        for (const QString& extension : extensions) {
            const QMimeType type = mimes.mimeTypeForFile(QStringLiteral("x.") + extension,
                                                         QMimeDatabase::MatchExtension);
            QStringList names = type.aliases();
            names.append(type.name());
            const bool covered = std::any_of(names.begin(), names.end(), [&](const QString& name) {
                return declared.contains(name);
            });
            QVERIFY2(covered, qPrintable(extension + QStringLiteral(" is ") + type.name()));
        }
    }

    void metainfoNamesReleaseAndScreenshot() {
        QFile file(installed(QStringLiteral("share/metainfo/app.veltrane.Tersio.metainfo.xml")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QStringList releases;
        QString launchable;
        QString screenshot;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"release")
                releases.append(xml.attributes().value(QLatin1String("version")).toString());
            else if (xml.name() == u"launchable")
                launchable = xml.readElementText();
            else if (xml.name() == u"image")
                screenshot = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(releases, QStringList{QStringLiteral(TERSIO_VERSION)});
        QCOMPARE(launchable, QStringLiteral("app.veltrane.Tersio.desktop"));
        QVERIFY(screenshot.startsWith(QStringLiteral("https://")));
    }

    void iconIsARoundedGradientSquare() {
        QImageReader reader(
            installed(QStringLiteral("share/icons/hicolor/scalable/apps/app.veltrane.Tersio.svg")));
        reader.setScaledSize(QSize(128, 128));
        const QImage icon = reader.read().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!icon.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(qAlpha(icon.pixel(1, 1)), 0); // rounded corner
        const QColor light = icon.pixelColor(14, 40);
        const QColor deep = icon.pixelColor(114, 90);
        QCOMPARE(light.alpha(), 255);
        QVERIFY(light.blue() > light.red() && deep.blue() > deep.red());
        QVERIFY(light.lightness() > deep.lightness());
    }
};

QTEST_MAIN(TestInstallTree)
#include "test_install_tree.moc"
