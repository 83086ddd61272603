#include "model/MediaItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

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
        env.insert(u"MANWIDTH"_s, u"80"_s);
        env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
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
        const Run man =
            run(u"man"_s,
                {u"--warnings"_s, u"-l"_s, installed(u"share/man/man1/%1.1.gz"_s.arg(program))},
                QProcess::SeparateChannels);
        if (!man.errors.isEmpty())
            qWarning("%s", qPrintable(man.errors));
        return man.exitCode == 0 && man.errors.isEmpty() ? man.output : QString();
    }

    // The lines of one section of a rendered page, up to the next heading.
    static QString section(const QString& page, const QString& heading) {
        const qsizetype start = page.indexOf(u'\n' + heading + u'\n');
        if (start < 0)
            return {};
        static const QRegularExpression nextHeading(u"\\n[A-Z][A-Z ]+\\n"_s);
        const qsizetype body = start + heading.size() + 2;
        const QRegularExpressionMatch next = nextHeading.match(page, body);
        return page.mid(body, next.hasMatch() ? next.capturedStart() - body : -1);
    }

    // The values of one key of the desktop entry, split at ';'.
    QStringList desktopValues(const QString& key) const {
        QFile file(installed(u"share/applications/app.veltrane.Tersio.desktop"_s));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        const QString prefix = key + u'=';
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
            if (line.startsWith(prefix))
                return line.mid(prefix.size()).split(u';', Qt::SkipEmptyParts);
        return {};
    }

  private slots:
    void initTestCase() {
        QVERIFY(prefix_.isValid());
        const Run install =
            run(QStringLiteral(CMAKE_COMMAND_PATH),
                {u"--install"_s, QStringLiteral(TERSIO_BUILD_DIR), u"--prefix"_s, prefix_.path()});
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
        QVERIFY(QFileInfo(installed(u"share/tersio/bin"_s)).isDir());

        const Run version = run(installed(u"bin/tersio-cli"_s), {u"--version"_s});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.output.contains(QStringLiteral(TERSIO_VERSION)),
                 qPrintable(version.output));
    }

    void validatorsAccept() {
        const Run desktop = run(u"desktop-file-validate"_s,
                                {installed(u"share/applications/app.veltrane.Tersio.desktop"_s)});
        QVERIFY2(desktop.exitCode == 0 && desktop.output.trimmed().isEmpty(),
                 qPrintable(desktop.output));
        const Run metainfo = run(u"appstreamcli"_s,
                                 {u"validate"_s, u"--no-net"_s,
                                  installed(u"share/metainfo/app.veltrane.Tersio.metainfo.xml"_s)});
        QVERIFY2(metainfo.exitCode == 0, qPrintable(metainfo.output));
    }

    void desktopEntryOpensEveryQueueType() {
        QCOMPARE(desktopValues(u"Exec"_s), QStringList{u"tersio %F"_s});
        QCOMPARE(desktopValues(u"Icon"_s), QStringList{u"app.veltrane.Tersio"_s});
        const QStringList declared = desktopValues(u"MimeType"_s);
        const QMimeDatabase mimes;
        const QSet<QString> extensions =
            MediaKinds::imageExtensions() + MediaKinds::videoExtensions();
        for (const QString& extension : extensions) {
            const QMimeType type =
                mimes.mimeTypeForFile(u"x."_s + extension, QMimeDatabase::MatchExtension);
            QStringList names = type.aliases();
            names.append(type.name());
            const bool covered = std::any_of(names.begin(), names.end(), [&](const QString& name) {
                return declared.contains(name);
            });
            QVERIFY2(covered, qPrintable(extension + u" is "_s + type.name()));
        }
    }

    void metainfoNamesReleaseAndScreenshot() {
        QFile file(installed(u"share/metainfo/app.veltrane.Tersio.metainfo.xml"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QStringList releases;
        QString launchable;
        QString screenshot;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"release")
                releases.append(xml.attributes().value(u"version"_s).toString());
            else if (xml.name() == u"launchable")
                launchable = xml.readElementText();
            else if (xml.name() == u"image")
                screenshot = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(releases, QStringList{QStringLiteral(TERSIO_VERSION)});
        QCOMPARE(launchable, u"app.veltrane.Tersio.desktop"_s);
        QVERIFY(screenshot.startsWith(u"https://"_s));
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
            const QRegularExpression whatis(u"^\\s+%1\\s+- \\w"_s.arg(program));
            QVERIFY2(whatis.match(section(text, u"NAME"_s)).hasMatch(), page.program);
            QVERIFY2(text.contains(QStringLiteral(TERSIO_VERSION)), page.program);
            for (const QString& heading : page.headings)
                QVERIFY2(!section(text, heading).trimmed().isEmpty(),
                         qPrintable(program + u' ' + heading));
        }
    }

    // The hand-written parts of the command's page keep up with what the program says.
    void cliPageAgreesWithTheProgram() {
        const Run help = run(installed(u"bin/tersio-cli"_s), {u"--help"_s});
        QCOMPARE(help.exitCode, 0);
        const QString page = rendered(u"tersio-cli"_s);

        static const QRegularExpression flag(u"(--[a-z][a-z0-9-]*)"_s);
        const QString examples = section(page, u"EXAMPLES"_s);
        QVERIFY(!examples.isEmpty());
        for (const auto& match : flag.globalMatch(examples))
            QVERIFY2(help.output.contains(match.captured(1)), qPrintable(match.captured(1)));

        const qsizetype stated = help.output.indexOf(u"Exit status"_s, 0, Qt::CaseInsensitive);
        QVERIFY2(stated >= 0, "--help no longer names the exit statuses");
        const QString statuses = help.output.mid(stated).section(u"\n\n"_s, 0, 0);
        const QString documented = section(page, u"EXIT STATUS"_s);
        static const QRegularExpression number(u"\\b(\\d+)\\b"_s);
        for (const auto& match : number.globalMatch(statuses)) {
            const QRegularExpression entry(u"^\\s+%1\\s"_s.arg(match.captured(1)),
                                           QRegularExpression::MultilineOption);
            QVERIFY2(entry.match(documented).hasMatch(), qPrintable(match.captured(1)));
        }
    }

    void docsNameLicenceAndVersion() {
        QFile copyright(installed(u"share/doc/tersio/copyright"_s));
        QVERIFY(copyright.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString dep5 = QString::fromUtf8(copyright.readAll());
        QVERIFY(dep5.startsWith(QStringLiteral(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));

        QFile metainfo(installed(u"share/metainfo/app.veltrane.Tersio.metainfo.xml"_s));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&metainfo);
        QString licence;
        while (!xml.atEnd() && licence.isEmpty())
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                xml.name() == u"project_license")
                licence = xml.readElementText();
        QVERIFY(!licence.isEmpty());
        // Named for the files, and its text given in a paragraph of its own.
        const QString field = u"\nLicense: "_s + licence + u'\n';
        const qsizetype first = dep5.indexOf(field);
        QVERIFY2(first >= 0, qPrintable(dep5));
        QVERIFY2(dep5.indexOf(field, first + 1) > 0, qPrintable(dep5));

        const Run changelog =
            run(u"gzip"_s, {u"-dc"_s, installed(u"share/doc/tersio/changelog.gz"_s)});
        QCOMPARE(changelog.exitCode, 0);
        QVERIFY2(changelog.output.startsWith(QStringLiteral("tersio (" TERSIO_VERSION ") ")),
                 qPrintable(changelog.output));
        static const QRegularExpression trailer(
            u"^ -- [^<]+ <[^>]+>  \\w{3}, \\d{2} \\w{3} \\d{4} [\\d:]{8} \\+0000$"_s,
            QRegularExpression::MultilineOption);
        QVERIFY2(trailer.match(changelog.output).hasMatch(), qPrintable(changelog.output));
    }
};

QTEST_MAIN(TestInstallTree)
#include "test_install_tree.moc"
