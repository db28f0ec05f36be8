#include "FileDialog.h"
#include "LocalHttpServer.h"
#include "MessageBox.h"
#include "WebBrowser.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

using Outcome = WebBrowser::Outcome;

const QString Done = QStringLiteral("下载完成!");
const QString Cancelled = QStringLiteral("下载已取消..");
const QString Failed = QStringLiteral("下载失败,请稍后再试 ..");
const QString CannotSave = QStringLiteral("无法保存文件,请检查保存位置 ..");
const int Warning = 48;
const int Information = 64;

// Not a repeating pattern, so a dropped or repeated chunk shows.
QByteArray songBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char &c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return data;
}

HttpResponse mp3(const QByteArray &body)
{
    HttpResponse r;
    r.headers = {{"Content-Type", "audio/mpeg"}};
    r.body = body;
    return r;
}

HttpResponse trickle(const QByteArray &body)
{
    HttpResponse r = mp3(body);
    r.behaviour = HttpResponse::Behaviour::Trickle;
    r.chunkBytes = 2048;
    r.chunkDelayMs = 20;
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QProgressDialog *progressDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<QProgressDialog *>(w); d && d->isVisible())
            return d;
    return nullptr;
}

} // namespace

class TestWebBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void savesByteForByte_data();
    void savesByteForByte();
    void eachNavigateDownloadsAgain();
    void failuresLeaveNoFile_data();
    void failuresLeaveNoFile();
    void unwritableTargetReported_data();
    void unwritableTargetReported();
    void offersSafeFileName_data();
    void offersSafeFileName();
    void rejectsNonHttpAddresses_data();
    void rejectsNonHttpAddresses();

private:
    QString url(const QString &path) const { return m_server.baseUrl() + path; }
    // Navigates with the save dialog pre-answered and waits for the closing message.
    Outcome download(WebBrowser &browser, const QString &address, const QString &target);

    LocalHttpServer m_server;
    QByteArray m_song;
};

void TestWebBrowser::initTestCase()
{
    for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy"})
        qunsetenv(name);
    QStandardPaths::setTestModeEnabled(true);
    m_song = songBytes(300 * 1024 + 17);
    QVERIFY(m_server.listen());
    m_server.route(QStringLiteral("/song.mp3"), mp3(m_song));
    m_server.route(QStringLiteral("/empty.mp3"), mp3(QByteArray()));
    m_server.route(QStringLiteral("/moved.mp3"), HttpResponse::redirect("/song.mp3"));
    m_server.route(QStringLiteral("/slow.mp3"), trickle(m_song.left(200 * 1024)));
}

void TestWebBrowser::init()
{
    m_server.clearRequests();
    MessageBox::clearHistory();
    FileDialog::clearHistory();
}

void TestWebBrowser::cleanup()
{
    MessageBox::clearAnswers();
    FileDialog::clearNextFileNames();
}

Outcome TestWebBrowser::download(WebBrowser &browser, const QString &address, const QString &target)
{
    QSignalSpy finished(&browser, &WebBrowser::downloadFinished);
    FileDialog::setNextFileName(target);
    MessageBox::setNextAnswer(MessageBox::Ok);
    if (!browser.Navigate(address)) {
        qWarning("Navigate refused %s", qPrintable(address));
        return Outcome::Failed;
    }
    if (!finished.wait(15000) || finished.first().at(0).toString() != target) {
        qWarning("no download finished for %s", qPrintable(target));
        return Outcome::Failed;
    }
    return finished.first().at(1).value<Outcome>();
}

void TestWebBrowser::savesByteForByte_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("whole file, not a prefix or a copy") << QStringLiteral("/song.mp3") << m_song;
    QTest::newRow("redirect followed to the file") << QStringLiteral("/moved.mp3") << m_song;
    QTest::newRow("empty body still makes a file") << QStringLiteral("/empty.mp3") << QByteArray();
}

void TestWebBrowser::savesByteForByte()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("歌曲.mp3"));
    WebBrowser browser;

    QCOMPARE(download(browser, url(path), target), Outcome::Saved);
    QCOMPARE(QFileInfo(target).size(), qint64(expected.size()));
    QVERIFY(readAll(target) == expected);
    // No temporary file stays behind beside the result.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList(QStringLiteral("歌曲.mp3")));
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().text, Done);
    QCOMPARE(MessageBox::history().first().flags, Information);
    QCOMPARE(MessageBox::history().first().title, QStringLiteral("Lumo系列软件"));
}

void TestWebBrowser::eachNavigateDownloadsAgain()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("a.mp3"));
    const QString second = dir.filePath(QStringLiteral("b.mp3"));
    const QByteArray expected = m_song.left(200 * 1024);
    WebBrowser browser;
    QSignalSpy finished(&browser, &WebBrowser::downloadFinished);

    // The second starts while the first is still trickling in.
    FileDialog::setNextFileName(first);
    FileDialog::setNextFileName(second);
    MessageBox::setNextAnswer(MessageBox::Ok);
    MessageBox::setNextAnswer(MessageBox::Ok);
    QVERIFY(browser.Navigate(url(QStringLiteral("/slow.mp3"))));
    QVERIFY(browser.Navigate(url(QStringLiteral("/slow.mp3"))));

    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 20000);
    QCOMPARE(m_server.requests().size(), 2);
    QCOMPARE(FileDialog::history().size(), 2);
    for (const auto &signal : std::as_const(finished))
        QCOMPARE(signal.at(1).value<Outcome>(), Outcome::Saved);
    QVERIFY(readAll(first) == expected);
    QVERIFY(readAll(second) == expected);
}

void TestWebBrowser::failuresLeaveNoFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("existing");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("icon");

    for (const bool existing : {false, true}) {
        const char *suffix = existing ? ", older file kept" : ", no file made";
        QTest::addRow("404 body not saved as the song%s", suffix)
            << QStringLiteral("/gone.mp3") << false << existing << Outcome::Failed << Failed
            << Warning;
        QTest::addRow("connection cut mid-body%s", suffix)
            << QStringLiteral("/cut.mp3") << false << existing << Outcome::Failed << Failed
            << Warning;
        QTest::addRow("server error 500%s", suffix)
            << QStringLiteral("/broken.mp3") << false << existing << Outcome::Failed << Failed
            << Warning;
        QTest::addRow("cancelled in the progress dialog%s", suffix)
            << QStringLiteral("/slow.mp3") << true << existing << Outcome::Cancelled << Cancelled
            << Information;
    }
}

void TestWebBrowser::failuresLeaveNoFile()
{
    QFETCH(QString, path);
    QFETCH(bool, cancel);
    QFETCH(bool, existing);
    QFETCH(Outcome, outcome);
    QFETCH(QString, message);
    QFETCH(int, icon);

    HttpResponse cut = mp3(m_song);
    cut.behaviour = HttpResponse::Behaviour::HangUpMidBody;
    m_server.route(QStringLiteral("/cut.mp3"), cut);
    HttpResponse broken = mp3("internal error");
    broken.status = 500;
    m_server.route(QStringLiteral("/broken.mp3"), broken);

    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("song.mp3"));
    const QByteArray older("an older song the user keeps");
    if (existing)
        QVERIFY(writeFile(target, older));

    WebBrowser browser;
    QSignalSpy finished(&browser, &WebBrowser::downloadFinished);
    FileDialog::setNextFileName(target);
    MessageBox::setNextAnswer(MessageBox::Ok);
    QVERIFY(browser.Navigate(url(path)));

    if (cancel) {
        QTRY_VERIFY(progressDialog());
        QProgressDialog *dialog = progressDialog();
        QCOMPARE(dialog->windowModality(), Qt::NonModal);
        auto *cancelButton = dialog->findChild<QPushButton *>();
        QVERIFY(cancelButton);
        QCOMPARE(cancelButton->text(), QStringLiteral("取消"));
        // Mid-transfer: some data in, the size known, far from the end.
        QTRY_VERIFY(dialog->value() > 0);
        QVERIFY(dialog->labelText().contains(QLatin1Char('%')));
        QTest::mouseClick(cancelButton, Qt::LeftButton);
    }

    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.first().at(1).value<Outcome>(), outcome);
    if (existing)
        QVERIFY(readAll(target) == older);
    else
        QVERIFY(!QFileInfo::exists(target));
    const QStringList expectedFiles =
        existing ? QStringList(QStringLiteral("song.mp3")) : QStringList();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), expectedFiles);
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().text, message);
    QCOMPARE(MessageBox::history().first().flags, icon);
    QTRY_COMPARE(progressDialog(), nullptr);
}

void TestWebBrowser::unwritableTargetReported_data()
{
    QTest::addColumn<QString>("relativeTarget");
    QTest::newRow("folder does not exist") << QStringLiteral("missing/song.mp3");
    QTest::newRow("a file stands where the folder should be")
        << QStringLiteral("plain-file/song.mp3");
    // Root writes into read-only folders, so that case only means something for a user.
    if (geteuid() != 0)
        QTest::newRow("read-only folder") << QStringLiteral("read-only/song.mp3");
}

void TestWebBrowser::unwritableTargetReported()
{
    QFETCH(QString, relativeTarget);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain-file")), "x"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("read-only")));
    QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("read-only")),
                                  QFile::ReadOwner | QFile::ExeOwner));
    const QString target = dir.filePath(relativeTarget);

    WebBrowser browser;
    QCOMPARE(download(browser, url(QStringLiteral("/song.mp3")), target), Outcome::CannotSave);
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().text, CannotSave);
    QCOMPARE(MessageBox::history().first().flags, Warning);
    QFile::setPermissions(dir.filePath(QStringLiteral("read-only")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestWebBrowser::offersSafeFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("parent folders climbed out of")
        << QStringLiteral("/../../x.mp3") << QStringLiteral("x.mp3");
    QTest::newRow("encoded slashes decoded into the name")
        << QStringLiteral("/%2F..%2Fevil") << QStringLiteral("_.._evil");
    QTest::newRow("no name at all") << QStringLiteral("/") << QStringLiteral("changba.mp3");
    QTest::newRow("hidden file") << QStringLiteral("/.hidden") << QStringLiteral("hidden");
    QTest::newRow("only dots") << QStringLiteral("/...") << QStringLiteral("changba.mp3");
    QTest::newRow("backslash as a Windows separator")
        << QStringLiteral("/a\\b") << QStringLiteral("a_b");
    QTest::newRow("control characters")
        << QStringLiteral("/%00bad%0A.mp3") << QStringLiteral("_bad_.mp3");
    QTest::newRow("percent-encoded Chinese kept readable")
        << QStringLiteral("/dir/%E6%AD%8C%20%E6%9B%B2.mp3?x=1") << QStringLiteral("歌 曲.mp3");
}

void TestWebBrowser::offersSafeFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    WebBrowser browser;
    FileDialog::setNextFileName(QString()); // the user cancels

    QVERIFY(browser.Navigate(url(path)));
    QTRY_COMPARE(FileDialog::history().size(), 1);
    const FileDialog::Asked asked = FileDialog::history().first();
    QCOMPARE(asked.caption, QStringLiteral("保存音乐"));
    const QFileInfo suggested(asked.suggestedPath);
    QCOMPARE(suggested.fileName(), expected);
    QCOMPARE(
        suggested.absolutePath(),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)).absolutePath());

    // A cancelled save dialog ends it quietly, before any transfer.
    QVERIFY(MessageBox::history().isEmpty());
    QVERIFY(m_server.requests().isEmpty());
}

void TestWebBrowser::rejectsNonHttpAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("local file") << QStringLiteral("file:///etc/passwd");
    QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/song.mp3");
    QTest::newRow("script") << QStringLiteral("javascript:alert(1)");
    QTest::newRow("empty") << QString();
    QTest::newRow("plain words") << QStringLiteral("not an address");
    QTest::newRow("http without a host") << QStringLiteral("http:///song.mp3");
}

void TestWebBrowser::rejectsNonHttpAddresses()
{
    QFETCH(QString, address);
    WebBrowser browser;
    QVERIFY(!browser.Navigate(address));
    QVERIFY(browser.findChildren<QNetworkAccessManager *>().isEmpty());

    // Anything the refused call had queued would come before this one's dialog.
    FileDialog::setNextFileName(QString());
    QVERIFY(browser.Navigate(url(QStringLiteral("/song.mp3"))));
    QTRY_COMPARE(FileDialog::history().size(), 1);
    QCOMPARE(QFileInfo(FileDialog::history().first().suggestedPath).fileName(),
             QStringLiteral("song.mp3"));
    QVERIFY(MessageBox::history().isEmpty());
}

QTEST_MAIN(TestWebBrowser)
#include "tst_webbrowser.moc"
