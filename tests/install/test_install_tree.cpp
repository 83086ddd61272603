#include "model/MediaItem.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMimeDatabase>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
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
        QString errors; // only when kept apart from the output
    };

    static Run run(const QString& program, const QStringList& arguments,
                   QProcess::ProcessChannelMode channels = QProcess::MergedChannels) {
        QProcess process;
        process.setProcessChannelMode(channels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, process.errorString()};
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        if (channels == QProcess::MergedChannels)
            return {process.exitCode(), output, {}};
        return {process.exitCode(), output, QString::fromUtf8(process.readAllStandardError())};
    }

    // A manual page as man prints it, with groff's warnings on; empty when either complains.
    QString rendered(const QString& program) const {
        const Run man = run(QStringLiteral("man"),
                            {QStringLiteral("--warnings"), QStringLiteral("-l"),
                             installed(QStringLiteral("share/man/man1/%1.1.gz").arg(program))},
                            QProcess::SeparateChannels);
        if (!man.errors.isEmpty())
            qWarning("%s", qPrintable(man.errors));
        return man.exitCode == 0 && man.errors.isEmpty() ? man.output : QString();
    }

    // The lines of one section of a rendered page, up to the next heading.
    static QString section(const QString& page, const QString& heading) {
        const qsizetype start = page.indexOf(QLatin1Char('\n') + heading + QLatin1Char('\n'));
        if (start < 0)
            return {};
        static const QRegularExpression nextHeading(QStringLiteral("\\n[A-Z][A-Z ]+\\n"));
        const qsizetype body = start + heading.size() + 2;
        const QRegularExpressionMatch next = nextHeading.match(page, body);
        return page.mid(body, next.hasMatch() ? next.capturedStart() - body : -1);
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
                                 "share/man/man1/tersio.1.gz", "share/man/man1/tersio-cli.1.gz",
                                 "share/doc/tersio/copyright", "share/doc/tersio/changelog.gz",
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

    void manualPagesRenderWithTheirSections() {
        const struct {
            const char* program;
            QStringList headings;
        } pages[] = {
            {"tersio", {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "FILES", "SEE ALSO"}},
            {"tersio-cli",
             {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "FILES", "EXAMPLES",
              "SEE ALSO"}},
        };
        for (const auto& page : pages) {
            const QString program = QLatin1String(page.program);
            const QString text = rendered(program);
            QVERIFY2(!text.isEmpty(), page.program);
            const QRegularExpression whatis(QStringLiteral("^\\s+%1\\s+- \\w").arg(program));
            QVERIFY2(whatis.match(section(text, QStringLiteral("NAME"))).hasMatch(), page.program);
            QVERIFY2(text.contains(QStringLiteral(TERSIO_VERSION)), page.program);
            for (const QString& heading : page.headings)
                QVERIFY2(!section(text, heading).trimmed().isEmpty(),
                         qPrintable(program + QLatin1Char(' ') + heading));
        }
    }

    // The hand-written parts of the command's page keep up with what the program says.
    void cliPageAgreesWithTheProgram() {
        const Run help =
            run(installed(QStringLiteral("bin/tersio-cli")), {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        const QString page = rendered(QStringLiteral("tersio-cli"));

        static const QRegularExpression flag(QStringLiteral("(--[a-z][a-z0-9-]*)"));
        const QString examples = section(page, QStringLiteral("EXAMPLES"));
        QVERIFY(!examples.isEmpty());
        for (const auto& match : flag.globalMatch(examples))
            QVERIFY2(help.output.contains(match.captured(1)), qPrintable(match.captured(1)));

        const qsizetype stated =
            help.output.indexOf(QStringLiteral("Exit status"), 0, Qt::CaseInsensitive);
        QVERIFY2(stated >= 0, "--help no longer names the exit statuses");
        const QString statuses = help.output.mid(stated).section(QStringLiteral("\n\n"), 0, 0);
        const QString documented = section(page, QStringLiteral("EXIT STATUS"));
        static const QRegularExpression number(QStringLiteral("\\b(\\d+)\\b"));
        for (const auto& match : number.globalMatch(statuses)) {
            const QRegularExpression entry(QStringLiteral("^\\s+%1\\s").arg(match.captured(1)),
                                           QRegularExpression::MultilineOption);
            QVERIFY2(entry.match(documented).hasMatch(), qPrintable(match.captured(1)));
        }
    }

    void docsNameLicenceAndVersion() {
        QFile copyright(installed(QStringLiteral("share/doc/tersio/copyright")));
        QVERIFY(copyright.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString dep5 = QString::fromUtf8(copyright.readAll());
        QVERIFY(dep5.startsWith(QStringLiteral(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));

        QFile metainfo(
            installed(QStringLiteral("share/metainfo/app.veltrane.Tersio.metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&metainfo);
        QString licence;
        while (!xml.atEnd() && licence.isEmpty())
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                xml.name() == u"project_license")
                licence = xml.readElementText();
        QVERIFY(!licence.isEmpty());
        // Named for the files, and its text given in a paragraph of its own.
        const QString field = QStringLiteral("\nLicense: ") + licence + QLatin1Char('\n');
        const qsizetype first = dep5.indexOf(field);
        QVERIFY2(first >= 0, qPrintable(dep5));
        QVERIFY2(dep5.indexOf(field, first + 1) > 0, qPrintable(dep5));

        const Run changelog = run(
            QStringLiteral("gzip"),
            {QStringLiteral("-dc"), installed(QStringLiteral("share/doc/tersio/changelog.gz"))});
        QCOMPARE(changelog.exitCode, 0);
        QVERIFY2(changelog.output.startsWith(QStringLiteral("tersio (" TERSIO_VERSION ") ")),
                 qPrintable(changelog.output));
        static const QRegularExpression trailer(
            QStringLiteral("^ -- [^<]+ <[^>]+>  \\w{3}, \\d{2} \\w{3} \\d{4} [\\d:]{8} \\+0000$"),
            QRegularExpression::MultilineOption);
        QVERIFY2(trailer.match(changelog.output).hasMatch(), qPrintable(changelog.output));
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
