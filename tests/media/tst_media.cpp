#include "AppPaths.h"
#include "DeviceNames.h"
#include "FileSizeLimit.h"
#include "LocalHttpServer.h"
#include "ModalDialogs.h"
#include "PictureLoader.h"
#include "VideoExport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

using Outcome = PictureFiles::Outcome;

class TestMedia : public QObject
{
    Q_OBJECT
    LocalHttpServer m_server;
    QTemporaryDir m_dir;
    QImage m_picture = QImage(32, 24, QImage::Format_RGB32);

    // video.htm's bytes for a player address, written out by hand.
    static QByteArray htmFile(const QByteArray &src)
    {
        return "<div><script src=\"" + src + "\" type=\"text/javascript\"></script></div>\r\n";
    }
    static void put(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        m_picture.fill(qRgb(20, 160, 90));
        QVERIFY(m_picture.save(u"odd:p.png"_s, "PNG"));
        const QByteArray png = readAll(u"odd:p.png"_s);

        QVERIFY(m_server.listen());
        HttpResponse r = HttpResponse::text(png, "image/png");
        m_server.route(u"/a.png"_s, r);
        r.behaviour = HttpResponse::Behaviour::Silent;
        m_server.route(u"/silent.png"_s, r);
        m_server.route(u"/page"_s, HttpResponse::text("<html>not a picture</html>"));
        PictureFiles::setTimeoutMsForTesting(600);
    }

    // Only an error of the path loader reaches the file loader, and only a
    // failure of both is an error; a plain failure of the first is "nothing".
    void outcomes_data()
    {
        QTest::addColumn<QString>("location"); // %1 the server
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("web picture") << "%1/a.png" << Outcome::Loaded;
        QTest::newRow("404") << "%1/gone.png" << Outcome::Failed;
        QTest::newRow("time-out") << "%1/silent.png" << Outcome::Failed;
        QTest::newRow("web page") << "%1/page" << Outcome::Error;
        QTest::newRow("missing file") << "none.png" << Outcome::Failed;
        // Named by a page: never waited on, never read from a device.
        for (const DeviceName &device : deviceNames(m_dir.path()))
            QTest::newRow(device.what) << device.location << Outcome::Failed;
        QTest::newRow("text file") << SONAVEX_SOURCE_DIR "/CMakeLists.txt" << Outcome::Error;
        // Refused as an unknown scheme, then read as the relative name it also is.
        QTest::newRow("fallback") << "odd:p.png" << Outcome::Loaded;
    }
    void outcomes()
    {
        QFETCH(QString, location);
        QFETCH(Outcome, outcome);
        const QDeadlineTimer deadline(5000); // the time-out is 600 ms here
        const auto loaded = LoadPicture(location.replace(u"%1"_s, m_server.baseUrl()));
        QVERIFY2(!deadline.hasExpired(), "the fetch outlived its time-out");
        QCOMPARE(loaded.outcome, outcome);
        QCOMPARE(loaded.picture, outcome == Outcome::Loaded ? m_picture : QImage());
    }

    // The whole file is replaced by the snippet in GBK, or kept when the disk
    // is full; of the files beside it only names QSaveFile leaves behind go.
    void writeVideoHtm_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("urlBytes"); // empty: the disk is full
        QTest::newRow("markup unescaped, spaces kept") << u" a\"&b<c> "_s << " a\"&b<c> "_ba;
        // 中 and 文 are D6D0 and CEC4 in GB2312, which GBK extends.
        QTest::newRow("GBK, not UTF-8") << u"v/中文.js"_s << "v/\xD6\xD0\xCE\xC4.js"_ba;
        QTest::newRow("not in GBK") << u"a한b"_s << "a?b"_ba;
        QTest::newRow("disk full") << u"abc"_s << QByteArray();
    }
    void writeVideoHtm()
    {
        QFETCH(QString, url);
        QFETCH(QByteArray, urlBytes);
        QTemporaryDir dir;
        // Sorted by name; the leftover is "video.htm." and six letters or digits.
        const QStringList kept{u"VIDEO.HTM.aB3xY9"_s, u"video.htm"_s, u"video.htm.aB-xY9"_s,
                               u"video.htm.aB3xY"_s, u"video.htm.aB3xY9z"_s};
        for (const QString &name : kept + QStringList{u"video.htm.aB3xY9"_s})
            put(dir.filePath(name), "complete but orphaned");
        // A longer old file, so a rewrite that does not truncate shows.
        QVERIFY(WriteVideoHtm(dir.path(), QString(100, u'x')));

        // A file size limit makes the disk full for root too.
        if (urlBytes.isEmpty() && !FileSizeLimit::supported())
            QSKIP(FileSizeLimit::unsupportedReason());
        auto limit = std::make_unique<FileSizeLimit>(urlBytes.isEmpty() ? 10 : FileSizeLimit::None);
        QVERIFY(limit->applied());
        const bool written = WriteVideoHtm(dir.path(), VideoSnippet(url));
        limit.reset();

        QCOMPARE(written, !urlBytes.isEmpty());
        QCOMPARE(readAll(dir.filePath(u"video.htm"_s)),
                 written ? htmFile(urlBytes) : QByteArray(100, 'x') + "\r\n");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), kept);
    }

    // The program folder when it can be written, else the user's documents
    // folder, created on demand, and then the hint names it. (Neither
    // writable: tst_extraction's exportVideo.)
    void exportVideo_data()
    {
        QTest::addColumn<bool>("programWritable");
        QTest::addColumn<QString>("hint"); // %1 the documents folder
        QTest::newRow("writable program folder")
            << true << u"已在当前文件夹下生成名为“video.htm”的网页文件，您打开即可预览视频"_s;
        QTest::newRow("read-only program folder")
            << false << u"已在“%1”文件夹下生成名为“video.htm”的网页文件，您打开即可预览视频"_s;
    }
    void exportVideo()
    {
        QFETCH(bool, programWritable);
        QFETCH(QString, hint);
        QTemporaryDir dir;
        // Long enough to need three lines in the hint.
        const QString documents = dir.filePath(u"home/"_s + QString(80, u'd') + u"/Sonavex"_s);
        put(dir.filePath(u"video.htm"_s), "old\r\n");
        AppPaths::setExecutableFolderForTesting(dir.path());
        AppPaths::setDocumentsFolderForTesting(documents);
        AppPaths::setReadOnlyFolderForTesting(programWritable ? QString() : dir.path());

        ModalDialogs modal;
        QString shownHint;
        bool hintFits = false, escapeKeptItOpen = false;
        modal.whenShown([&](QWidget *dialog) {
            const QLabel *label = dialog->findChild<QLabel *>(u"Label3"_s);
            shownHint = label->text();
            // One line as wide as the frame, or wrapped lines that all show.
            hintFits = label->wordWrap()
                           ? label->heightForWidth(label->width()) <= label->height() &&
                                 label->parentWidget()->rect().contains(label->geometry())
                           : label->fontMetrics().horizontalAdvance(shownHint) <= label->width();
            QTest::keyClick(dialog, Qt::Key_Escape);
            escapeKeptItOpen = dialog->isVisible();
            dialog->close();
        });
        QString html;
        QVERIFY(ExportVideo(nullptr, u"abc"_s, html));

        QCOMPARE(html.toLatin1() + "\r\n", htmFile("abc"));
        QCOMPARE(readAll(dir.filePath(u"video.htm"_s)),
                 programWritable ? htmFile("abc") : "old\r\n"_ba);
        QCOMPARE(readAll(documents + u"/video.htm"_s),
                 programWritable ? "<unreadable>"_ba : htmFile("abc"));
        QCOMPARE(shownHint, hint.replace(u"%1"_s, QDir::toNativeSeparators(documents)));
        QVERIFY(hintFits);
        QVERIFY(escapeKeptItOpen);
    }
};

QTEST_MAIN(TestMedia)
#include "tst_media.moc"
