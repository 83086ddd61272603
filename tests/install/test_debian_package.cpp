#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The package built from this tree, as Debian's own checker and dpkg see it.
class TestDebianPackage : public QObject {
    Q_OBJECT

    QTemporaryDir out_;
    QString deb_;

    struct Run {
        int exitCode = -1;
        QString output;
    };

    static Run run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(240000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, process.errorString()};
        return {process.exitCode(), QString::fromUtf8(process.readAll())};
    }

  private slots:
    void initTestCase() {
        QVERIFY(out_.isValid());
        // A folder of its own, so a package built by hand in the build tree is left alone.
        const Run cpack =
            run(QStringLiteral(CPACK_COMMAND_PATH),
                {u"-G"_s, u"DEB"_s, u"--config"_s,
                 QStringLiteral(TERSIO_BUILD_DIR "/CPackConfig.cmake"), u"-B"_s, out_.path()});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
        const QStringList debs = QDir(out_.path()).entryList({u"*.deb"_s});
        QCOMPARE(debs.size(), 1);
        deb_ = out_.filePath(debs.constFirst());
    }

    void lintianReportsNothing() {
        const Run lintian = run(u"lintian"_s, {deb_});
        // As root lintian adds one notice about that; every other line is a finding.
        QStringList findings = lintian.output.split(u'\n', Qt::SkipEmptyParts);
        findings.removeIf(
            [](const QString& line) { return line.contains(u"running with root privileges"_s); });
        QVERIFY2(findings.isEmpty(), qPrintable(findings.join(u'\n')));
        QCOMPARE(lintian.exitCode, 0);
    }

    void holdsDocumentationWithPlainModes() {
        const Run contents = run(u"dpkg-deb"_s, {u"--contents"_s, deb_});
        QCOMPARE(contents.exitCode, 0);
        const struct {
            const char* path;
            const char* mode;
        } expected[] = {
            {"./usr/bin/tersio", "-rwxr-xr-x"},
            {"./usr/bin/tersio-cli", "-rwxr-xr-x"},
            {"./usr/share/man/man1/tersio.1.gz", "-rw-r--r--"},
            {"./usr/share/man/man1/tersio-cli.1.gz", "-rw-r--r--"},
            {"./usr/share/doc/tersio/copyright", "-rw-r--r--"},
            {"./usr/share/doc/tersio/changelog.gz", "-rw-r--r--"},
        };
        for (const auto& file : expected) {
            const QRegularExpression line(
                u"^%1 root/root .* %2$"_s.arg(QRegularExpression::escape(file.mode),
                                              QRegularExpression::escape(file.path)),
                QRegularExpression::MultilineOption);
            QVERIFY2(line.match(contents.output).hasMatch(), file.path);
        }
    }
};

QTEST_GUILESS_MAIN(TestDebianPackage)
#include "test_debian_package.moc"
