#include "TestSupport.h"
#include "tools/Shell.h"

#include <QTemporaryDir>
#include <QtTest>

class TestShell : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private slots:
    void launchFailure() {
        const auto result = Shell::run(dir.filePath("missing"), {});
        QCOMPARE(result.status, -1);
        QVERIFY(result.stdoutText.isEmpty());
        QVERIFY(!result.stderrText.isEmpty());

        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("not a program");
        plain.close();
        QCOMPARE(Shell::run(plain.fileName(), {}).status, -1);
    }

    void invalidUtf8BecomesEmptyButTheRestIsReported() {
        const auto script = TestSupport::writeScript(
            dir.filePath("bytes.sh"), "printf 'ab\\377\\376cd'; echo fine >&2; exit 2\n");
        const auto result = Shell::run(script, {});
        QCOMPARE(result.status, 2);
        QVERIFY(result.stdoutText.isEmpty());
        QCOMPARE(result.stderrText, QStringLiteral("fine\n"));
        QCOMPARE(Shell::decodeUtf8("caf\xc3"), QString()); // cut inside a character
        QCOMPARE(Shell::decodeUtf8("caf\xc3\xa9"), QStringLiteral("café"));
    }

    void standardInputIsAtEndOfFile() {
        const auto script = TestSupport::writeScript(dir.filePath("cat.sh"), "cat; echo done\n");
        QElapsedTimer timer;
        timer.start();
        const auto result = Shell::run(script, {});
        QCOMPARE(result.stdoutText, QStringLiteral("done\n"));
        QVERIFY(timer.elapsed() < 20000);
    }

    void floodingBothStreamsDoesNotStall() {
        // 8 MiB to each stream, interleaved, far beyond any pipe buffer.
        const auto script = TestSupport::writeScript(
            dir.filePath("flood.sh"), "head -c 8388608 /dev/zero | tr '\\0' e >&2 &\n"
                                      "head -c 8388608 /dev/zero | tr '\\0' o\n"
                                      "wait\n");
        const auto result = Shell::run(script, {});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.stdoutText.size(), 8388608);
        QCOMPARE(result.stderrText.size(), 8388608);
    }
};

QTEST_GUILESS_MAIN(TestShell)
#include "test_shell.moc"
