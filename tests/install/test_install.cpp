#include "LaunchArguments.h"
#include "model/MediaItem.h"

#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString touch(const QString& file) {
    QDir().mkpath(QFileInfo(file).path());
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write("x");
    return file;
}

// Runs the built application offscreen in a private runtime and config folder; it appends the
// paths it queues to a report file, and an unreachable proxy keeps its update check local.
// Every instance still running is ended with it.
class AppLauncher {
  public:
    AppLauncher() {
        for (const char* folder : {"runtime", "config", "media"})
            QDir(dir_.path()).mkpath(QLatin1String(folder));
        QFile::setPermissions(dir_.filePath(u"runtime"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~AppLauncher() {
        for (const auto& process : processes_) {
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
            process->waitForFinished(5000);
        }
    }

    QString root() const { return dir_.filePath(u"media"_s); }
    QString socketPath() const { return dir_.filePath(u"runtime/app.veltrane.Tersio.socket"_s); }
    QStringList reported() const {
        QFile report(dir_.filePath(u"report.txt"_s));
        if (!report.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(report.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    bool waitForReported(qsizetype lines) const {
        return QTest::qWaitFor([&] { return reported().size() >= lines; }, 30000);
    }

    QProcess* start(const QStringList& arguments, const QString& workingDirectory) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, dir_.filePath(u"runtime"_s));
        env.insert(u"XDG_CONFIG_HOME"_s, dir_.filePath(u"config"_s));
        env.insert(u"TERSIO_TEST_REPORT_FILE"_s, dir_.filePath(u"report.txt"_s));
        for (const char* name : {"https_proxy", "http_proxy", "HTTPS_PROXY", "HTTP_PROXY"})
            env.insert(QLatin1String(name), u"http://127.0.0.1:9"_s);
        env.remove(u"no_proxy"_s);
        env.remove(u"NO_PROXY"_s);
        auto& process = processes_.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(workingDirectory);
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(TERSIO_APP), arguments);
        process->waitForStarted();
        return process.get();
    }

  private:
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

void verifyForwarded(QProcess* later) {
    QVERIFY(later->waitForFinished(20000));
    QCOMPARE(later->exitStatus(), QProcess::NormalExit);
    QCOMPARE(later->exitCode(), 0);
}

} // namespace

// The installed tree and the Debian package as desktop, man, lintian and dpkg see them; then
// launches of the built application: paths reach the queue of the one running window.
class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir prefix_, packages_;
    QString metainfo_; // the metainfo file's text

    QString installed(const QString& relative) const { return prefix_.filePath(relative); }

    struct Run {
        int exitCode = -1;
        QString output, errors; // errors only when kept apart from the output
    };
    static Run run(const QString& program, const QStringList& arguments, bool apart = false) {
        QProcess process;
        process.setProcessChannelMode(apart ? QProcess::SeparateChannels
                                            : QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"MANWIDTH"_s, u"80"_s);
        env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(240000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, process.errorString(), {}};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                apart ? QString::fromUtf8(process.readAllStandardError()) : QString()};
    }

    // A manual page as man prints it, with groff's warnings on; empty when either complains.
    QString rendered(const QString& program) const {
        const Run man = run(
            u"man"_s,
            {u"--warnings"_s, u"-l"_s, installed(u"share/man/man1/%1.1.gz"_s.arg(program))}, true);
        return man.exitCode == 0 && man.errors.isEmpty() ? man.output : man.errors;
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

    QStringList desktopValues(const QString& key) const {
        QFile file(installed(u"share/applications/app.veltrane.Tersio.desktop"_s));
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
            if (line.startsWith(key + u'='))
                return line.mid(key.size() + 1).split(u';', Qt::SkipEmptyParts);
        return {};
    }

  private slots:
    void initTestCase() {
        const Run install =
            run(QStringLiteral(CMAKE_COMMAND_PATH),
                {u"--install"_s, QStringLiteral(TERSIO_BUILD_DIR), u"--prefix"_s, prefix_.path()});
        QVERIFY2(install.exitCode == 0, qPrintable(install.output));
        QFile file(installed(u"share/metainfo/app.veltrane.Tersio.metainfo.xml"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        metainfo_ = QString::fromUtf8(file.readAll());
    }

    void desktopFilesAreValidAndComplete() {
        const Run desktop = run(u"desktop-file-validate"_s,
                                {installed(u"share/applications/app.veltrane.Tersio.desktop"_s)});
        QVERIFY2(desktop.exitCode == 0 && desktop.output.trimmed().isEmpty(),
                 qPrintable(desktop.output));
        const Run appstream = run(
            u"appstreamcli"_s, {u"validate"_s, u"--no-net"_s,
                                installed(u"share/metainfo/app.veltrane.Tersio.metainfo.xml"_s)});
        QVERIFY2(appstream.exitCode == 0, qPrintable(appstream.output));

        QVERIFY(QFileInfo::exists(installed(
            u"share/icons/hicolor/scalable/apps/%1.svg"_s.arg(desktopValues(u"Icon"_s).value(0)))));
        const QStringList declared = desktopValues(u"MimeType"_s);
        for (const QString& extension :
             MediaKinds::imageExtensions() + MediaKinds::videoExtensions()) {
            const QMimeType type =
                QMimeDatabase().mimeTypeForFile(u"x."_s + extension, QMimeDatabase::MatchExtension);
            const QStringList names = type.aliases() << type.name();
            QVERIFY2(std::any_of(names.begin(), names.end(),
                                 [&](const QString& name) { return declared.contains(name); }),
                     qPrintable(extension + u" is "_s + type.name()));
        }
        QStringList releases;
        for (const auto& match :
             QRegularExpression(u"<release [^>]*version=\"([^\"]+)\""_s).globalMatch(metainfo_))
            releases << match.captured(1);
        QCOMPARE(releases, QStringList{QStringLiteral(TERSIO_VERSION)});
    }

    void manualPagesRenderWithTheirSections() {
        const QStringList common{u"NAME"_s,    u"SYNOPSIS"_s, u"DESCRIPTION"_s,
                                 u"OPTIONS"_s, u"FILES"_s,    u"SEE ALSO"_s};
        for (const auto& [program, headings] :
             {std::pair(u"tersio"_s, common),
              std::pair(u"tersio-cli"_s, common + QStringList{u"EXIT STATUS"_s, u"EXAMPLES"_s})}) {
            const QString text = rendered(program);
            const QRegularExpression whatis(u"^\\s+%1\\s+- \\w"_s.arg(program));
            QVERIFY2(whatis.match(section(text, u"NAME"_s)).hasMatch(), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral(TERSIO_VERSION)), qPrintable(program));
            for (const QString& heading : headings)
                QVERIFY2(!section(text, heading).trimmed().isEmpty(),
                         qPrintable(program + u' ' + heading));
        }
    }

    // The examples on the command's page use only flags the program knows.
    void cliPageAgreesWithTheProgram() {
        const Run help = run(installed(u"bin/tersio-cli"_s), {u"--help"_s});
        QCOMPARE(help.exitCode, 0);
        const QString page = rendered(u"tersio-cli"_s);
        static const QRegularExpression flag(u"(--[a-z][a-z0-9-]*)"_s);
        const QString examples = section(page, u"EXAMPLES"_s);
        QVERIFY(!examples.isEmpty());
        for (const auto& match : flag.globalMatch(examples))
            QVERIFY2(help.output.contains(match.captured(1)), qPrintable(match.captured(1)));
    }

    void docsNameLicenceAndVersion() {
        QFile copyright(installed(u"share/doc/tersio/copyright"_s));
        QVERIFY(copyright.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString dep5 = QString::fromUtf8(copyright.readAll());
        QVERIFY(dep5.startsWith(
            u"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"_s));
        // The licence named for the files, and its text given in a paragraph of its own.
        const QString field =
            u"\nLicense: "_s +
            QRegularExpression(u"<project_license>([^<]+)<"_s).match(metainfo_).captured(1) + u'\n';
        QVERIFY2(dep5.indexOf(field, dep5.indexOf(field) + 1) > 0, qPrintable(dep5));

        const Run version = run(installed(u"bin/tersio-cli"_s), {u"--version"_s});
        QVERIFY2(version.output.contains(QStringLiteral(TERSIO_VERSION)),
                 qPrintable(version.output));
        const Run changelog =
            run(u"gzip"_s, {u"-dc"_s, installed(u"share/doc/tersio/changelog.gz"_s)});
        QVERIFY2(changelog.output.startsWith(QStringLiteral("tersio (" TERSIO_VERSION ") ")),
                 qPrintable(changelog.output));
        static const QRegularExpression trailer(
            u"^ -- [^<]+ <[^>]+>  \\w{3}, \\d{2} \\w{3} \\d{4} [\\d:]{8} \\+0000$"_s,
            QRegularExpression::MultilineOption);
        QVERIFY2(trailer.match(changelog.output).hasMatch(), qPrintable(changelog.output));
    }

    // Built into a folder of its own, so a package built by hand in the build tree is left alone.
    void debianPackagePassesLintian() {
        const Run cpack =
            run(QStringLiteral(CPACK_COMMAND_PATH),
                {u"-G"_s, u"DEB"_s, u"--config"_s,
                 QStringLiteral(TERSIO_BUILD_DIR "/CPackConfig.cmake"), u"-B"_s, packages_.path()});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
        const QStringList debs = QDir(packages_.path()).entryList({u"*.deb"_s});
        QCOMPARE(debs.size(), 1);
        const QString deb = packages_.filePath(debs.constFirst());

        const Run lintian = run(u"lintian"_s, {deb});
        // As root lintian adds one notice about that; every other line is a finding.
        QStringList findings = lintian.output.split(u'\n', Qt::SkipEmptyParts);
        findings.removeIf([](const QString& l) { return l.contains(u"running with root"_s); });
        QVERIFY2(findings.isEmpty() && lintian.exitCode == 0, qPrintable(findings.join(u'\n')));
    }
    void laterLaunchesHandOverTheirPaths() {
        // Only arguments naming existing files count: not an empty one, nor an address.
        QVERIFY(LaunchArguments::pathUrls({QString(), u"gone.jpg"_s, u"file:///etc"_s}, u"/"_s)
                    .isEmpty());
        AppLauncher app;
        const QString media = app.root();
        const QString first = touch(media + u"/first.jpg"_s);
        touch(media + u"/set/one.webp"_s);
        touch(media + u"/set/deeper/two.mkv"_s);
        touch(media + u"/set/list.csv"_s);
        touch(media + u"/later/clip.mp4"_s);
        touch(media + u"/later/sheet.ods"_s);
        const QString loose = touch(media + u"/loose.png"_s);

        QProcess* running =
            app.start({u"set"_s, u"nothing-here.jpg"_s, u"set/list.csv"_s, first}, media);
        QVERIFY(app.waitForReported(3));
        const QStringList reported = app.reported();
        QCOMPARE(
            QSet<QString>(reported.begin(), reported.end()),
            (QSet<QString>{first, media + u"/set/one.webp"_s, media + u"/set/deeper/two.mkv"_s}));

        // Relative to the later launch's own folder; the unsupported file is dropped. The
        // running window adds before it confirms, so the report is complete already.
        verifyForwarded(app.start({u"."_s, u"../loose.png"_s}, media + u"/later"_s));
        QCOMPARE(app.reported().mid(3), (QStringList{media + u"/later/clip.mp4"_s, loose}));
        // Without paths a later launch only brings the window forward.
        verifyForwarded(app.start({}, media));
        QCOMPARE(app.reported().size(), 5);
        QCOMPARE(running->state(), QProcess::Running);
    }

    // What a crashed instance leaves: a socket file nobody listens on.
    void replacesTheSocketOfACrashedInstance() {
        AppLauncher app;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(app.socketPath()).constData(),
                 sizeof(address.sun_path));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
        QVERIFY(QFileInfo::exists(app.socketPath()));

        const QString photo = touch(app.root() + u"/photo.heic"_s);
        const QString video = touch(app.root() + u"/video.webm"_s);
        QProcess* running = app.start({photo}, app.root());
        QVERIFY(app.waitForReported(1));
        QCOMPARE(running->state(), QProcess::Running);
        verifyForwarded(app.start({video}, app.root()));
        QCOMPARE(app.reported(), (QStringList{photo, video}));
    }

    void simultaneousLaunchesOpenOneWindow() {
        AppLauncher app;
        const QString a = touch(app.root() + u"/a.jpg"_s);
        const QString b = touch(app.root() + u"/b.jpg"_s);
        QProcess* one = app.start({a}, app.root());
        QProcess* two = app.start({b}, app.root());
        QVERIFY(app.waitForReported(2));
        // Exactly one ended, having handed its file over; the other holds both.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return one->state() == QProcess::NotRunning || two->state() == QProcess::NotRunning;
            },
            20000));
        QProcess* ended = one->state() == QProcess::NotRunning ? one : two;
        QCOMPARE(ended->exitCode(), 0);
        QCOMPARE((ended == one ? two : one)->state(), QProcess::Running);
        const QStringList reported = app.reported();
        QCOMPARE(QSet<QString>(reported.begin(), reported.end()), (QSet<QString>{a, b}));
    }
};

QTEST_MAIN(TestInstall)
#include "test_install.moc"
