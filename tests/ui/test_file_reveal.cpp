#include "FileReveal.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFileReveal : public QObject {
    Q_OBJECT

  private slots:
    void containingFolder() {
        QCOMPARE(FileReveal::containingFolder(u"/srv/shoot/optimised/hero.webm"_s),
                 QUrl(u"file:///srv/shoot/optimised"_s));
        QCOMPARE(FileReveal::containingFolder(u"/srv/a b/clip #1.mp4"_s),
                 QUrl::fromLocalFile(u"/srv/a b"_s));
    }

    // Without a file manager on the bus the folder opens instead, once.
    void fallsBackToTheFolder() {
        if (QDBusConnection::sessionBus().isConnected())
            QSKIP("a session bus is present; the fallback only runs without one");
        FileReveal reveal;
        QList<QUrl> opened;
        reveal.setFolderOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        QSignalSpy handled(&reveal, &FileReveal::handled);
        reveal.show(u"/srv/shoot/optimised/hero.webm"_s);
        QVERIFY(handled.count() == 1 || handled.wait());
        QCOMPARE(handled.count(), 1);
        QCOMPARE(handled.at(0).at(1).toBool(), false);
        QCOMPARE(opened, QList<QUrl>{QUrl(u"file:///srv/shoot/optimised"_s)});
    }
};

QTEST_MAIN(TestFileReveal)
#include "test_file_reveal.moc"
