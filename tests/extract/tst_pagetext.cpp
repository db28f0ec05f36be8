// The rule that turns a body's bytes into the page the parser reads: which
// encoding wins, and which pages stay bytes. Each row writes the song in the
// encoding that must win and adds ASCII markup; read back, the page must be
// the song and the markup, kept as bytes exactly when UTF-8 wins. Malformed
// UTF-8 read as bytes and as text is compared in tst_songpage.

#include "PageText.h"
#include "TextCodec.h"

#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

const QString kSong = u"因為愛情 - 小明"_s; // GBK and Big5 both hold it

class TestPageText : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<bool>("bom");
        QTest::addColumn<QByteArray>("markup"); // after the song, so that a BOM opens the body
        QTest::addColumn<QByteArray>("contentType");

        const QByteArray gbk = "<meta charset=\"gbk\">";
        const QByteArray big5 = "<meta http-equiv=Content-Type content='text/html;charset=big5'>";
        QTest::newRow("header GBK over a big5 meta")
            << "GBK"_ba << false << big5 << "text/html; charset=\"GBK\""_ba;
        QTest::newRow("header utf-8 over a gbk meta")
            << "UTF-8"_ba << false << gbk << "text/html;charset=utf-8"_ba;
        QTest::newRow("unknown header charset: an http-equiv meta decides")
            << "Big5"_ba << false << big5 << "text/html; charset=x-no-such"_ba;
        QTest::newRow("UTF-8 BOM over a gbk meta") << "UTF-8"_ba << true << gbk << QByteArray();
        QTest::newRow("UTF-16 BOM") << "UTF-16LE"_ba << true << QByteArray() << QByteArray();
        // Browsers let a mark win over what the server claims.
        QTest::newRow("UTF-8 BOM over a gbk header")
            << "UTF-8"_ba << true << QByteArray() << "text/html; charset=gbk"_ba;
        QTest::newRow("UTF-8 BOM over a utf-16 header")
            << "UTF-8"_ba << true << QByteArray() << "text/html; charset=utf-16"_ba;
        QTest::newRow("UTF-16BE BOM over a utf-8 header")
            << "UTF-16BE"_ba << true << QByteArray() << "text/html; charset=utf-8"_ba;
        QTest::newRow("meta past 1,024 bytes: UTF-8")
            << "UTF-8"_ba << false << QByteArray(1024, ' ') + gbk << QByteArray();
        QTest::newRow("unknown meta charset: UTF-8")
            << "UTF-8"_ba << false << "<meta charset=\"x-no-such\">"_ba << QByteArray();
    }
    void rule()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(bool, bom);
        QFETCH(QByteArray, markup);
        QFETCH(QByteArray, contentType);
        // Only the UTF encodings carry a byte-order mark; Qt writes those itself.
        const QByteArray song =
            bom ? QByteArray(QStringEncoder(encoding.constData(), QStringConverter::Flag::WriteBom)
                                 .encode(kSong))
                : TextCodec::encode(encoding, kSong);
        const PageText page = decodePage(song + markup, contentType);
        QCOMPARE(page.toString(), kSong + QString::fromLatin1(markup));
        QCOMPARE(page.isUtf8(), encoding == "UTF-8");
    }
};

QTEST_GUILESS_MAIN(TestPageText)
#include "tst_pagetext.moc"
