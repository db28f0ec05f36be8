#include "AppPaths.h"
#include "MessageBox.h"
#include "ModalDialogs.h"
#include "VideoExport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The fixed pieces around the address, as the rules list them.
const QByteArray kBefore = "<div><script src=\"";
const QByteArray kAfter = "\" type=\"text/javascript\"></script></div>";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

struct SeenDialog
{
    bool shown = false;
    bool modal = false;
    QString className;
    QString text1;
    QString text2;
};

} // namespace

class TestVideoExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fileBytes_data();
    void fileBytes();
    void secondExportReplacesTheFirst();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void unwritableFolderKeepsOldFile();

    void exportShowsBothTextsUnchanged_data();
    void exportShowsBothTextsUnchanged();
    void exportAgainAfterClosing();
    void failedExportWarnsInsteadOfShowingDialog();

private:
    SeenDialog runExport(const QString &url, QString &strVideoHtml, bool *shown);
};

void TestVideoExport::init()
{
    MessageBox::clearAnswers();
    MessageBox::clearHistory();
}

void TestVideoExport::cleanup()
{
    AppPaths::setExecutableFolderForTesting(QString());
}

void TestVideoExport::fileBytes_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("urlBytes");

    QTest::newRow("plain address: 61 characters and CR LF")
        << QStringLiteral("abc") << QByteArray("abc");
    QTest::newRow("markup characters stay unescaped")
        << QStringLiteral("a\"b&amp;c<d>'e") << QByteArray("a\"b&amp;c<d>'e");
    QTest::newRow("spaces are not trimmed") << QStringLiteral("  x y  ") << QByteArray("  x y  ");
    QTest::newRow("empty address still writes the frame") << QString() << QByteArray();
    // 中 and 文 are D6D0 and CEC4 in the GB2312 table GBK extends.
    QTest::newRow("Chinese in GBK, not UTF-8")
        << QStringLiteral("v/中文.js") << QByteArray("v/\xD6\xD0\xCE\xC4.js");
    QTest::newRow("Hangul is not in GBK and becomes ?")
        << QStringLiteral("a한b") << QByteArray("a?b");
    QTest::newRow("a character outside the BMP becomes one ?")
        << (QStringLiteral("a") + QString::fromUcs4(U"\U00020000") + QStringLiteral("b"))
        << QByteArray("a?b");
}

void TestVideoExport::fileBytes()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, urlBytes);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString snippet = VideoSnippet(url);
    QCOMPARE(snippet, QString::fromLatin1(kBefore) + url + QString::fromLatin1(kAfter));

    QString errorText;
    QVERIFY2(WriteVideoHtm(dir.path(), snippet, &errorText), qPrintable(errorText));
    const QByteArray bytes = readAll(dir.filePath(QStringLiteral("video.htm")));
    QCOMPARE(bytes, kBefore + urlBytes + kAfter + "\r\n");
    if (url == QLatin1String("abc")) {
        QCOMPARE(snippet.size(), 61);
        QCOMPARE(bytes.size(), 63);
    }
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("video.htm")});
}

void TestVideoExport::secondExportReplacesTheFirst()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The first line is longer, so a file that is rewritten but not truncated shows.
    QVERIFY(
        WriteVideoHtm(dir.path(), VideoSnippet(QStringLiteral("http://long/first/address.js"))));
    QVERIFY(WriteVideoHtm(dir.path(), VideoSnippet(QStringLiteral("b"))));
    QCOMPARE(readAll(dir.filePath(QStringLiteral("video.htm"))), kBefore + "b" + kAfter + "\r\n");
}

void TestVideoExport::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("blocker"); // what makes the write fail

    QTest::newRow("folder does not exist") << QStringLiteral("missing-folder");
    QTest::newRow("folder is a file") << QStringLiteral("file-as-folder");
    QTest::newRow("video.htm is a folder") << QStringLiteral("htm-is-folder");
}

void TestVideoExport::failedWriteKeepsOldFile()
{
    QFETCH(QString, blocker);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString folder = dir.path();
    if (blocker == QLatin1String("missing-folder")) {
        folder = dir.filePath(QStringLiteral("nope"));
    } else if (blocker == QLatin1String("file-as-folder")) {
        folder = dir.filePath(QStringLiteral("plain"));
        QVERIFY(writeFile(folder, "old"));
    } else {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("video.htm")));
    }
    const QStringList before = entries(dir.path());

    QString errorText;
    QVERIFY(!WriteVideoHtm(folder, VideoSnippet(QStringLiteral("abc")), &errorText));
    QVERIFY(!errorText.isEmpty());
    QCOMPARE(entries(dir.path()), before);
    if (blocker == QLatin1String("file-as-folder"))
        QCOMPARE(readAll(folder), QByteArray("old"));
}

void TestVideoExport::unwritableFolderKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("video.htm"));
    QVERIFY(writeFile(path, "old line\r\n"));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadGroup | QFile::ExeGroup |
                                                  QFile::ReadOther | QFile::ExeOther));
    const auto restore = qScopeGuard([&dir] {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });

    const QString probe = dir.filePath(QStringLiteral("probe"));
    if (writeFile(probe, "x")) {
        QFile::remove(probe);
        QSKIP("permissions do not bind this user (root?)");
    }

    QVERIFY(!WriteVideoHtm(dir.path(), VideoSnippet(QStringLiteral("abc"))));
    QCOMPARE(readAll(path), QByteArray("old line\r\n"));
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("video.htm")});
}

SeenDialog TestVideoExport::runExport(const QString &url, QString &strVideoHtml, bool *shown)
{
    SeenDialog seen;
    ModalDialogs modal;
    modal.whenShown([&seen](QWidget *dialog) {
        seen.shown = true;
        seen.modal = dialog->isModal();
        seen.className = QString::fromLatin1(dialog->metaObject()->className());
        if (auto *text1 = dialog->findChild<QLineEdit *>(QStringLiteral("Text1")))
            seen.text1 = text1->text();
        if (auto *text2 = dialog->findChild<QLineEdit *>(QStringLiteral("Text2")))
            seen.text2 = text2->text();
        dialog->close();
    });
    *shown = ExportVideo(nullptr, url, strVideoHtml);
    return seen;
}

void TestVideoExport::exportShowsBothTextsUnchanged_data()
{
    QTest::addColumn<QString>("url");

    QTest::newRow("plain address") << QStringLiteral("abc");
    QTest::newRow("markup characters") << QStringLiteral("http://v.x/p?a=1&b=\"2\"<3>");
}

void TestVideoExport::exportShowsBothTextsUnchanged()
{
    QFETCH(QString, url);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppPaths::setExecutableFolderForTesting(dir.path());

    QString strVideoHtml;
    bool shown = false;
    const SeenDialog seen = runExport(url, strVideoHtml, &shown);
    QVERIFY(shown);
    QVERIFY(seen.shown);
    QVERIFY(seen.modal);
    QCOMPARE(seen.className, QStringLiteral("Form2"));
    const QString expectedHtml = QString::fromLatin1(kBefore) + url + QString::fromLatin1(kAfter);
    QCOMPARE(seen.text1, url);
    QCOMPARE(seen.text2, expectedHtml);
    QCOMPARE(strVideoHtml, expectedHtml);
    QCOMPARE(readAll(dir.filePath(QStringLiteral("video.htm"))),
             kBefore + url.toLatin1() + kAfter + "\r\n");
    QVERIFY(MessageBox::history().isEmpty());
}

void TestVideoExport::exportAgainAfterClosing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppPaths::setExecutableFolderForTesting(dir.path());
    const QString url = QStringLiteral("http://v.x/player.js");

    QString strVideoHtml;
    bool shown = false;
    const SeenDialog first = runExport(url, strVideoHtml, &shown);
    QVERIFY(shown);
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("video.htm"))));
    const SeenDialog second = runExport(url, strVideoHtml, &shown);
    QVERIFY(shown);

    QVERIFY(second.shown);
    QCOMPARE(second.text1, first.text1);
    QCOMPARE(second.text2, first.text2);
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("video.htm"))));
    // Closing discards the dialog: none is left behind to be reused.
    const QWidgetList left = QApplication::topLevelWidgets();
    for (const QWidget *widget : left)
        QVERIFY2(!widget->inherits("Form2"), "a closed dialog was kept");
}

void TestVideoExport::failedExportWarnsInsteadOfShowingDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppPaths::setExecutableFolderForTesting(dir.filePath(QStringLiteral("missing")));
    MessageBox::setNextAnswer(MessageBox::Ok);

    QString strVideoHtml;
    bool shown = true;
    const SeenDialog seen = runExport(QStringLiteral("abc"), strVideoHtml, &shown);
    QVERIFY(!shown);
    QVERIFY(!seen.shown);
    QCOMPARE(MessageBox::history().size(), 1);
    const MessageBox::Shown box = MessageBox::history().constFirst();
    QVERIFY(box.text.contains(QLatin1String("video.htm")));
    QCOMPARE(box.flags, 48);
    QCOMPARE(box.title, QStringLiteral("Lumo系列软件"));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
}

QTEST_MAIN(TestVideoExport)
#include "tst_videoexport.moc"
