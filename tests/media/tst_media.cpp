#include "AppPaths.h"
#include "LocalHttpServer.h"
#include "MessageBox.h"
#include "ModalDialogs.h"
#include "PictureFiles.h"
#include "PictureLoader.h"
#include "VideoExport.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

enum Expect { Picture, Nothing, Error };

class TestMedia : public QObject
{
    Q_OBJECT
    LocalHttpServer m_server;
    QTemporaryDir m_dir;
    QString m_savedCurrent = QDir::currentPath();
    QImage m_picture = QImage(32, 24, QImage::Format_RGB32);

    void put(const QString &name, const QByteArray &bytes)
    {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

private slots:
    void initTestCase()
    {
        // Every pixel differs, so a dropped, flipped or shifted one shows.
        for (int y = 0; y < m_picture.height(); ++y)
            for (int x = 0; x < m_picture.width(); ++x)
                m_picture.setPixel(x, y, qRgb(x * 8, y * 10, 255 - x * 4 - y));
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && m_picture.save(&buffer, "PNG"));

        QVERIFY(m_server.listen());
        HttpResponse r = HttpResponse::text(png, "image/png");
        m_server.route(u"/a.png"_s, r);
        m_server.route(u"/moved.png"_s, HttpResponse::redirect("/a.png"));
        r.behaviour = HttpResponse::Behaviour::HangUpMidBody;
        m_server.route(u"/cut.png"_s, r);
        r.behaviour = HttpResponse::Behaviour::Silent;
        m_server.route(u"/silent.png"_s, r);
        m_server.route(u"/page"_s, HttpResponse::text("<html>not a picture</html>"));
        PictureFiles::setTimeoutMsForTesting(600);

        put(u"p.png"_s, png);
        put(u"odd:p.png"_s, png);
        put(u"text.png"_s, "just text\r\n");
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }
    void cleanupTestCase()
    {
        PictureFiles::setTimeoutMsForTesting(0);
        QDir::setCurrent(m_savedCurrent);
    }

    // Only an error of the path loader reaches the file loader, and only a
    // failure of both is an error; a plain failure of the first is "nothing".
    void outcomes_data()
    {
        QTest::addColumn<QString>("location"); // %1 the server, %2 the folder
        QTest::addColumn<int>("expect");
        QTest::newRow("web picture") << "%1/a.png" << int(Picture);
        QTest::newRow("redirected") << "%1/moved.png" << int(Picture);
        QTest::newRow("404") << "%1/gone.png" << int(Nothing);
        QTest::newRow("cut mid-body") << "%1/cut.png" << int(Nothing);
        QTest::newRow("time-out") << "%1/silent.png" << int(Nothing);
        QTest::newRow("web page") << "%1/page" << int(Error);
        QTest::newRow("local path") << "%2/p.png" << int(Picture);
        QTest::newRow("missing file") << "%2/none.png" << int(Nothing);
        QTest::newRow("text file") << "%2/text.png" << int(Error);
        QTest::newRow("ftp") << "ftp://127.0.0.1/p.png" << int(Error);
        // Refused as an unknown scheme, then read as the relative name it also is.
        QTest::newRow("fallback") << "odd:p.png" << int(Picture);
    }
    void outcomes()
    {
        QFETCH(QString, location);
        QFETCH(int, expect);
        location.replace(QLatin1String("%1"), m_server.baseUrl());
        const PictureFiles::Result loaded =
            LoadPicture(location.replace(QLatin1String("%2"), m_dir.path()));
        QCOMPARE(loaded.outcome == PictureFiles::Outcome::Error, expect == Error);
        QCOMPARE(loaded.errorText.isEmpty(), expect == Picture);
        if (expect == Picture)
            QCOMPARE(loaded.picture.convertToFormat(QImage::Format_RGB32), m_picture);
        else
            QVERIFY(loaded.picture.isNull());
    }

    void init() { MessageBox::clearHistory(); }
    void cleanup() { AppPaths::setExecutableFolderForTesting(QString()); }

    void fileBytes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("urlBytes");
        QTest::newRow("markup unescaped, spaces kept") << " a\"&b<c> " << QByteArray(" a\"&b<c> ");
        // 中 and 文 are D6D0 and CEC4 in GB2312, which GBK extends.
        QTest::newRow("GBK, not UTF-8") << "v/中文.js" << QByteArray("v/\xD6\xD0\xCE\xC4.js");
        QTest::newRow("not in GBK") << "a한b" << QByteArray("a?b");
    }
    void fileBytes()
    {
        QFETCH(QString, url);
        QFETCH(QByteArray, urlBytes);
        QTemporaryDir dir;
        // A longer first file, so a rewrite that does not truncate shows.
        QVERIFY(WriteVideoHtm(dir.path(), VideoSnippet(QString(100, QLatin1Char('x')))));
        QVERIFY(WriteVideoHtm(dir.path(), VideoSnippet(url)));
        QCOMPARE(readAll(dir.filePath(u"video.htm"_s)),
                 "<div><script src=\"" + urlBytes +
                     "\" type=\"text/javascript\"></script></div>\r\n");
    }

    void exportShowsForm2()
    {
        QTemporaryDir dir;
        AppPaths::setExecutableFolderForTesting(dir.path());
        ModalDialogs modal;
        bool escapeKeptItOpen = false;
        QStringList texts;
        modal.whenShown([&](QWidget *dialog) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            escapeKeptItOpen = dialog->isVisible();
            texts << dialog->windowTitle();
            for (const char *name :
                 {"Frame1", "Frame2", "Label1", "Label2", "Label3", "Text1", "Text2"}) {
                const QWidget *w = dialog->findChild<QWidget *>(QLatin1String(name));
                texts << w->property(w->inherits("QGroupBox") ? "title" : "text").toString();
            }
            dialog->close();
        });
        QString html;
        QVERIFY(ExportVideo(nullptr, u"abc"_s, html));
        QVERIFY(modal.handled());
        QVERIFY(escapeKeptItOpen);
        QCOMPARE(texts, QStringList(
                            {u"获取MV"_s, u"视频信息"_s, u"友情提示"_s, u"视频地址："_s,
                             u"HTML调用代码："_s,
                             u"已在当前文件夹下生成名为“video.htm”的网页文件，您打开即可预览视频"_s,
                             u"abc"_s, html}));
        QCOMPARE(readAll(dir.filePath(u"video.htm"_s)).size(), 63);
        QVERIFY(MessageBox::history().isEmpty());
    }

    void failureWarnsAndKeepsOldFile()
    {
        QTemporaryDir dir;
        AppPaths::setExecutableFolderForTesting(dir.filePath(u"missing"_s));
        MessageBox::setNextAnswer(MessageBox::Ok);
        QString html;
        QVERIFY(!ExportVideo(nullptr, u"abc"_s, html));
        QCOMPARE(MessageBox::history().size(), 1);
        QCOMPARE(MessageBox::history().first().text,
                 u"无法生成video.htm文件,请检查软件所在文件夹是否可写 .."_s);
        QCOMPARE(MessageBox::history().first().flags, 48);

        // A full disk, made with a file size limit, which binds root too.
        QVERIFY(WriteVideoHtm(dir.path(), u"old"_s));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const rlimit small{10, saved.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = WriteVideoHtm(dir.path(), VideoSnippet(u"abc"_s));
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(!written);
        QCOMPARE(readAll(dir.filePath(u"video.htm"_s)), QByteArray("old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList(u"video.htm"_s));
    }
};

QTEST_MAIN(TestMedia)
#include "tst_media.moc"
