#include "AppPaths.h"
#include "LocalHttpServer.h"
#include "MessageBox.h"
#include "ModalDialogs.h"
#include "PictureFiles.h"
#include "PictureLoader.h"
#include "VideoExport.h"

#include <QBuffer>
#include <QDir>
#include <QLabel>
#include <QScopeGuard>
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

    static void putIn(const QString &folder, const QString &name, const QByteArray &bytes)
    {
        QFile f(QDir(folder).filePath(name));
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

    // A full disk, made with a file size limit, which binds root too.
    void writeFailureKeepsOldFile()
    {
        QTemporaryDir dir;
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

    // The program folder when it can be written, else the user's documents
    // folder, created on demand; the hint names the folder the file is in.
    void exportFolder_data()
    {
        QTest::addColumn<bool>("programWritable");
        QTest::addColumn<bool>("documentsPossible");
        QTest::addColumn<QString>("documentsName");
        QTest::addColumn<QString>("expectIn"); // "program", "documents" or "" for the box
        const QString documents = u"home/Documents/Sonavex"_s;
        QTest::newRow("writable program folder") << true << true << documents << u"program"_s;
        QTest::newRow("read-only program folder") << false << true << documents << u"documents"_s;
        QTest::newRow("read-only program folder, long documents name")
            << false << true << u"home/"_s + QString(80, u'd') + u"/Sonavex"_s << u"documents"_s;
        QTest::newRow("read-only program folder, no documents folder")
            << false << false << documents << QString();
    }
    void exportFolder()
    {
        QFETCH(bool, programWritable);
        QFETCH(bool, documentsPossible);
        QFETCH(QString, documentsName);
        QFETCH(QString, expectIn);

        QTemporaryDir dir;
        const QString program = dir.filePath(u"program"_s);
        QVERIFY(QDir().mkpath(program));
        putIn(program, u"video.htm"_s, "old\r\n");
        putIn(program, u"video.htm.Zz9Zz9"_s, "leftover");
        // Beneath a plain file no folder can be made, whoever asks.
        putIn(dir.path(), u"plain"_s, "");
        const QString documents =
            dir.filePath(documentsPossible ? documentsName : u"plain/Sonavex"_s);
        AppPaths::setExecutableFolderForTesting(program);
        AppPaths::setDocumentsFolderForTesting(documents);
        if (!programWritable) {
            // The bits bind a normal user; the seam binds root as well.
            QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
            AppPaths::setReadOnlyFolderForTesting(program);
        }
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            AppPaths::setReadOnlyFolderForTesting(QString());
            AppPaths::setDocumentsFolderForTesting(QString());
        });

        ModalDialogs modal;
        QString hint;
        bool hintFits = false;
        modal.whenShown([&](QWidget *dialog) {
            const QLabel *label = dialog->findChild<QLabel *>(u"Label3"_s);
            hint = label->text();
            // One line as wide as the frame, or wrapped lines that all show.
            hintFits = label->wordWrap()
                           ? label->heightForWidth(label->width()) <= label->height() &&
                                 label->parentWidget()->rect().contains(label->geometry())
                           : label->fontMetrics().horizontalAdvance(hint) <= label->width();
            dialog->close();
        });
        MessageBox::setNextAnswer(MessageBox::Ok);
        QString html;
        const bool shown = ExportVideo(nullptr, u"abc"_s, html);

        const QByteArray snippet =
            "<div><script src=\"abc\" type=\"text/javascript\"></script></div>\r\n";
        const QByteArray programFile = expectIn == u"program"_s ? snippet : QByteArray("old\r\n");
        QCOMPARE(readAll(program + u"/video.htm"_s), programFile);
        QCOMPARE(QFile::exists(program + u"/video.htm.Zz9Zz9"_s), expectIn != u"program"_s);
        if (expectIn == u"documents"_s)
            QCOMPARE(readAll(documents + u"/video.htm"_s), snippet);
        else
            QVERIFY(!QFile::exists(documents + u"/video.htm"_s));

        QCOMPARE(shown, !expectIn.isEmpty());
        QCOMPARE(modal.handled(), shown);
        QCOMPARE(hintFits, shown);
        if (expectIn == u"program"_s)
            QCOMPARE(hint, u"已在当前文件夹下生成名为“video.htm”的网页文件，您打开即可预览视频"_s);
        if (expectIn == u"documents"_s)
            QCOMPARE(hint, u"已在“"_s + documents +
                               u"”文件夹下生成名为“video.htm”的网页文件，您打开即可预览视频"_s);
        if (expectIn.isEmpty()) {
            QCOMPARE(MessageBox::history().size(), 1);
            QCOMPARE(MessageBox::history().first().text,
                     u"无法生成video.htm文件,请检查软件所在文件夹是否可写 .."_s);
            QCOMPARE(MessageBox::history().first().flags, 48);
        } else {
            QVERIFY(MessageBox::history().isEmpty());
        }
    }

    // Only names QSaveFile leaves behind go: video.htm. and six letters or digits.
    void leftoversRemoved_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("removed");
        QTest::newRow("mixed case and digits") << u"video.htm.aB3xY9"_s << false << true;
        QTest::newRow("digits only") << u"video.htm.000000"_s << false << true;
        QTest::newRow("five characters") << u"video.htm.aB3xY"_s << false << false;
        QTest::newRow("seven characters") << u"video.htm.aB3xY9z"_s << false << false;
        QTest::newRow("not a letter or digit") << u"video.htm.aB-xY9"_s << false << false;
        QTest::newRow("another name") << u"video.html.aB3xY9"_s << false << false;
        QTest::newRow("other case") << u"VIDEO.HTM.aB3xY9"_s << false << false;
        QTest::newRow("a folder") << u"video.htm.aB3xY9"_s << true << false;
    }
    void leftoversRemoved()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (folder)
            QVERIFY(QDir().mkdir(path));
        else
            putIn(dir.path(), name, "complete but orphaned");
        QVERIFY(WriteVideoHtm(dir.path(), VideoSnippet(u"abc"_s)));
        QCOMPARE(QFileInfo::exists(path), !removed);
        QCOMPARE(readAll(dir.filePath(u"video.htm"_s)).size(), 63);
    }
};

QTEST_MAIN(TestMedia)
#include "tst_media.moc"
