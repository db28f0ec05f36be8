// The rule that turns a body's bytes into the page the parser reads: which
// encoding wins, and which pages stay bytes.

#include "PageText.h"

#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kSong = u"因为爱情 - 小明"_s;

QByteArray in(const char *encoding, const QString &text)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

} // namespace

class TestPageText : public QObject
{
    Q_OBJECT

private slots:
    void rule_data();
    void rule();
};

void TestPageText::rule_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asBytes");

    const QByteArray metaGbk = "<meta charset=\"gbk\">";
    const QByteArray metaUtf8 = "<meta charset=\"utf-8\">";
    const QByteArray bom = "\xEF\xBB\xBF";
    QTest::newRow("header GBK over a utf-8 meta")
        << metaUtf8 + in("GBK", kSong) << QByteArray("text/html; charset=\"GBK\"")
        << QString::fromLatin1(metaUtf8) + kSong << false;
    QTest::newRow("header utf-8 over a gbk meta")
        << metaGbk + kSong.toUtf8() << QByteArray("text/html;charset=utf-8")
        << QString::fromLatin1(metaGbk) + kSong << true;
    QTest::newRow("meta gbk, no header") << metaGbk + in("GBK", kSong) << QByteArray()
                                         << QString::fromLatin1(metaGbk) + kSong << false;
    const QByteArray equiv =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb18030\">";
    QTest::newRow("http-equiv GB18030") << equiv + in("GB18030", kSong) << QByteArray("text/html")
                                        << QString::fromLatin1(equiv) + kSong << false;
    const QByteArray metaBig5 = "<meta charset=big5>";
    const QString traditional = u"因為愛情 - 小明"_s; // Big5 has no simplified characters
    QTest::newRow("meta Big5") << metaBig5 + in("Big5", traditional) << QByteArray()
                               << QString::fromLatin1(metaBig5) + traditional << false;
    QTest::newRow("UTF-8 BOM over a gbk meta") << bom + metaGbk + kSong.toUtf8() << QByteArray()
                                               << QString::fromLatin1(metaGbk) + kSong << true;
    QTest::newRow("UTF-16 BOM") << in("UTF-16LE", u"\uFEFF"_s + kSong) << QByteArray() << kSong
                                << false;
    QTest::newRow("nothing said: UTF-8") << kSong.toUtf8() << QByteArray() << kSong << true;
    const QByteArray far = QByteArray(1024, ' ') + metaGbk;
    QTest::newRow("meta past 1,024 bytes ignored")
        << far + kSong.toUtf8() << QByteArray() << QString::fromLatin1(far) + kSong << true;
    QTest::newRow("unknown header charset: the meta decides")
        << metaGbk + in("GBK", kSong) << QByteArray("text/html; charset=x-no-such")
        << QString::fromLatin1(metaGbk) + kSong << false;
    const QByteArray metaOdd = "<meta charset=\"x-no-such\">";
    QTest::newRow("unknown meta charset: UTF-8")
        << metaOdd + kSong.toUtf8() << QByteArray() << QString::fromLatin1(metaOdd) + kSong << true;
    // A window told utf-8 by the header and the tool reading a file must agree.
    const QString threeReplaced(3, QChar::ReplacementCharacter);
    QTest::newRow("malformed UTF-8, header utf-8")
        << QByteArray("\xEF\xE4\xEF") << QByteArray("text/html; charset=utf-8") << threeReplaced
        << true;
    QTest::newRow("malformed UTF-8, no header")
        << QByteArray("\xEF\xE4\xEF") << QByteArray() << threeReplaced << true;
}

void TestPageText::rule()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    QFETCH(bool, asBytes);

    const PageText page = decodePage(body, contentType);
    QCOMPARE(page.isUtf8(), asBytes);
    QCOMPARE(page.toString(), text);
}

QTEST_GUILESS_MAIN(TestPageText)
#include "tst_pagetext.moc"
