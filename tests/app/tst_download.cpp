// 下载音乐 from the main window: the file is named and tagged for the song the
// audio address came from, and for no other.

#include "FileDialog.h"
#include "Form1.h"
#include "FormHarness.h"
#include "LocalHttpServer.h"
#include "WebBrowser.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QNetworkProxyFactory>
#include <QtTest>

#include <attachedpictureframe.h>
#include <id3v2tag.h>
#include <mpegfile.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QString demo = u"" SONAVEX_SOURCE_DIR "/resources/demo/"_s;
const QString photo = u"aliimg.changba.com/cache/photo/284736105_200_200.jpg"_s;

QByteArray page(const QString &title, const QString &script)
{
    return u"<html><head><title>%1</title></head><body><div class=\"pcsong_photos\">"
           "<img src=\"http://%2\" width=\"90\" /></div><script>%3</script></body></html>"_s
               .arg(title, photo, script)
               .toUtf8();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestDownload : public QObject
{
    Q_OBJECT
    FormHarness m_harness;
    LocalHttpServer m_server;
    std::unique_ptr<Form1> m_form;
    QTemporaryDir m_saveDir;

    void extract(const QString &id, const QByteArray &body)
    {
        m_server.route(u"changba.com/s/"_s + id, HttpResponse::text(body));
        control<QLineEdit>(m_form.get(), "Text1")->setText(u"http://changba.com/s/"_s + id);
        QTest::mouseClick(control(m_form.get(), "Command1"), Qt::LeftButton);
    }
    QString saved() const { return m_saveDir.filePath(u"song.mp3"_s); }
    // The name the save dialog offered; the file is saved as saved().
    QString download()
    {
        FileDialog::clearHistory();
        FileDialog::setNextFileName(saved());
        MessageBox::setNextAnswer(MessageBox::Ok);
        QSignalSpy finished(control<WebBrowser>(m_form.get(), "WebBrowser1"),
                            &WebBrowser::downloadFinished);
        QTest::mouseClick(control(m_form.get(), "Command2"), Qt::LeftButton);
        if (!finished.wait(10000))
            return u"(no download)"_s;
        return QFileInfo(FileDialog::history().value(0).suggestedPath).fileName();
    }

private slots:
    void initTestCase()
    {
        FormHarness::setProgramFont();
        QVERIFY(m_server.listen());
        m_server.serveDirectory(demo);
        qputenv("http_proxy", m_server.baseUrl().toLatin1());
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        m_harness.install();
        m_form = std::make_unique<Form1>();
        stopVersionTimer(m_form.get());
        control(m_form.get(), "Text1")->setEnabled(true);
        control(m_form.get(), "Command1")->setEnabled(true);
    }
    void cleanupTestCase() { m_harness.uninstall(); }

    void namedAndTaggedForTheSongItCameFrom()
    {
        const QString mp3 = u"http://lzscuw.changba.com/84263517.mp3"_s;
        extract(u"a"_s, page(u"因为爱情 - Heightened  唱吧,最时尚的手机KTV"_s,
                             u"var songInfo = {mp3:\"%1\"};"_s.arg(mp3)));
        QCOMPARE(download(), u"Heightened - 因为爱情.mp3"_s);
        TagLib::MPEG::File file(saved().toLocal8Bit().constData(), false);
        QVERIFY(file.hasID3v2Tag());
        TagLib::ID3v2::Tag *tag = file.ID3v2Tag();
        QCOMPARE(QString::fromStdString(tag->artist().to8Bit(true)), u"Heightened"_s);
        const auto *cover =
            dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(tag->frameList("APIC").front());
        QCOMPARE(QByteArray(cover->picture().data(), int(cover->picture().size())),
                 readFile(demo + photo));
        QCOMPARE(QString::fromStdString(tag->frameList("WOAS").front()->toString().to8Bit()),
                 u"http://changba.com/s/a"_s);
        QCOMPARE(readFile(saved()).mid(int(file.firstFrameOffset())),
                 readFile(demo + u"lzscuw.changba.com/84263517.mp3"_s));

        // A later page without the audio marker leaves the address: not this page's song.
        extract(u"b"_s, page(u"晴天 - 小鹿同学 - 唱吧，最火爆的手机KTV"_s, QString()));
        QCOMPARE(m_form->songPage().strMp3Url, mp3);
        QCOMPARE(download(), u"84263517.mp3"_s);
        TagLib::MPEG::File untagged(saved().toLocal8Bit().constData(), false);
        QVERIFY(!untagged.hasID3v2Tag());
    }
};

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
