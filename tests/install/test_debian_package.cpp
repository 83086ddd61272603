#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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
                {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                 QStringLiteral(TERSIO_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"),
                 out_.path()});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
        const QStringList debs = QDir(out_.path()).entryList({QStringLiteral("*.deb")});
        QCOMPARE(debs.size(), 1);
        deb_ = out_.filePath(debs.constFirst());
    }

    void lintianReportsNothing() {
        const Run lintian = run(QStringLiteral("lintian"), {deb_});
        // As root lintian adds one notice about that; every other line is a finding.
        QStringList findings = lintian.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        findings.removeIf([](const QString& line) {
            return line.contains(QLatin1String("running with root privileges"));
        });
        QVERIFY2(findings.isEmpty(), qPrintable(findings.join(QLatin1Char('\n'))));
        QCOMPARE(lintian.exitCode, 0);
    }

    void holdsDocumentationWithPlainModes() {
        const Run contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb_});
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
            const QRegularExpression line(QStringLiteral("^%1 root/root .* %2$")
                                              .arg(QRegularExpression::escape(file.mode),
                                                   QRegularExpression::escape(file.path)),
                                          QRegularExpression::MultilineOption);
            QVERIFY2(line.match(contents.output).hasMatch(), file.path);
        }
    }
};

QTEST_GUILESS_MAIN(TestDebianPackage)
#include "test_debian_package.moc"
