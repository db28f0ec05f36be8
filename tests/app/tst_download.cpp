// 下载音乐 from the main window: the file is named and tagged for the song the
// audio address came from, and for no other.

#include "FileDialog.h"
#include "Form1.h"
#include "FormHarness.h"
#include "LocalHttpServer.h"

#include <QLineEdit>
#include <QNetworkProxy>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void namedAndTaggedForTheSongItCameFrom()
    {
        const QString demo = u"" SONAVEX_SOURCE_DIR "/resources/demo/"_s;
        const auto readFile = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
        };
        LocalHttpServer server; // every host, as the proxy
        QVERIFY(server.listen());
        server.serveDirectory(demo);
        QNetworkProxy::setApplicationProxy(
            {QNetworkProxy::HttpProxy, u"127.0.0.1"_s, server.port()});
        FormHarness harness;
        harness.install();
        Form1 form;
        stopVersionTimer(&form);
        const QString saved = harness.exeDir.filePath(u"song.mp3"_s);
        // Saves the page's song, waiting for the box that says the download has ended.
        const auto download = [&](const QString &page) {
            control<QLineEdit>(&form, "Text1")->setText(page);
            form.Command1_Click();
            FileDialog::setNextFileName(saved);
            MessageBox::setNextAnswer(MessageBox::Ok);
            MessageBox::clearHistory();
            QTest::mouseClick(control(&form, "Command2"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(MessageBox::history().size(), 1, 10000);
        };
        const QByteArray audio = readFile(demo + u"lzscuw.changba.com/84263517.mp3"_s);
        const QString photoPath = demo + u"aliimg.changba.com/cache/photo/284736105_200_200.jpg"_s;
        const QByteArray photo = readFile(photoPath);
        // The same song, its photo named as a file on this computer.
        server.route(u"changba.com/s/local-photo"_s,
                     HttpResponse::text(readFile(demo + u"changba.com/s/demo-audio"_s)
                                            .replace("http://aliimg.changba.com/cache/photo/"
                                                     "284736105_200_200.jpg",
                                                     photoPath.toUtf8())));

        download(u"http://changba.com/s/demo-audio"_s);
        QCOMPARE(FileDialog::history().last().suggestedPath.section(u'/', -1),
                 u"小鹿同学 - 晴天.mp3"_s);
        QCOMPARE(form.statusLine(), u"正在下载音乐.."_s);
        // A tag with the photo and the page address, then the server's bytes unchanged.
        const QByteArray tagged = readFile(saved);
        QCOMPARE(tagged.right(audio.size()), audio);
        QVERIFY(tagged.contains(photo));
        QVERIFY(tagged.contains("http://changba.com/s/demo-audio"));

        // A page cannot carry a picture of this computer away in a song file.
        download(u"http://changba.com/s/local-photo"_s);
        const QByteArray withoutPhoto = readFile(saved);
        QVERIFY(withoutPhoto.contains("http://changba.com/s/local-photo"));
        QVERIFY(!withoutPhoto.contains(photo.left(4096)));

        // Without an audio marker the address stays, but it is not this page's song.
        download(u"http://changba.com/s/demo-partial"_s);
        QCOMPARE(FileDialog::history().last().suggestedPath.section(u'/', -1), u"84263517.mp3"_s);
        QCOMPARE(readFile(saved), audio);
    }
};

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
