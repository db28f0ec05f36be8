// Legacy encodings by name, through Qt's converters or the system's code
// pages. The expected bytes are the published GBK, Big5 and GB18030 tables'
// (GBK as Windows code page 936, which adds the euro sign), so a converter that
// differs on either system fails here.

#include "TextCodec.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestTextCodec : public QObject
{
    Q_OBJECT

    // Every system converts GBK and Big5; GB18030 may be missing (Wine has no
    // code page 54936), and then it is an unknown encoding like any other.
    static bool missing(const QByteArray &name)
    {
        return name == "GB18030" && TextCodec::knownName(name).isEmpty();
    }

private slots:
    void encode_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // hex
        QTest::addColumn<bool>("lossy");
        QTest::newRow("ASCII markup unchanged")
            << "GBK"_ba << u"<div>a</div>\r\n"_s << "3c6469763e613c2f6469763e0d0a"_ba << false;
        QTest::newRow("simplified hanzi") << "GBK"_ba << u"中文"_s << "d6d0cec4"_ba << false;
        QTest::newRow("traditional hanzi GBK also holds")
            << "GBK"_ba << u"因為愛情"_s << "d2f29ee990dbc7e9"_ba << false;
        QTest::newRow("pinyin and full-width punctuation")
            << "GBK"_ba << u"é·—～…"_s << "a8a6a1a4a1aaa1aba1ad"_ba << false;
        QTest::newRow("euro sign in one byte") << "GBK"_ba << u"€"_s << "80"_ba << false;
        QTest::newRow("Hangul GBK lacks: a question mark")
            << "GBK"_ba << u"a한b"_s << "613f62"_ba << true;
        QTest::newRow("emoji: one question mark, not one per surrogate")
            << "GBK"_ba << u"a😀b"_s << "613f62"_ba << true;
        QTest::newRow("alias CP936 is GBK") << "CP936"_ba << u"中"_s << "d6d0"_ba << false;
        QTest::newRow("lower-case name") << "gbk"_ba << u"中"_s << "d6d0"_ba << false;
        QTest::newRow("GB18030 holds the emoji in four bytes")
            << "GB18030"_ba << u"😀"_s << "9439fc36"_ba << false;
        QTest::newRow("Big5") << "Big5"_ba << u"愛情"_s << "b752b1a1"_ba << false;
        QTest::newRow("unknown encoding: nothing") << "x-no-such"_ba << u"a"_s << ""_ba << true;
    }
    void encode()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, lossy);
        if (missing(name)) {
            bytes.clear();
            lossy = true;
        }
        bool lost = !lossy;
        QCOMPARE(TextCodec::encode(name, text, &lost).toHex(), bytes);
        QCOMPARE(lost, lossy);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bytes"); // hex
        QTest::addColumn<QString>("text");
        QTest::newRow("song title") << "GBK"_ba
                                    << "d0a1c2b9cdacd1a7202d20c7e7ccec"_ba << u"小鹿同学 - 晴天"_s;
        QTest::newRow("euro sign") << "GBK"_ba
                                   << "80"_ba << u"€"_s;
        QTest::newRow("a cut-off last character is left out") << "GBK"_ba
                                                              << "d6d0ce"_ba << u"中"_s;
        QTest::newRow("GB2312 page") << "GB2312"_ba
                                     << "d6d0cec4"_ba << u"中文"_s;
        QTest::newRow("Big5 page") << "Big5"_ba
                                   << "b752b1a1"_ba << u"愛情"_s;
        QTest::newRow("GB18030 four bytes") << "GB18030"_ba
                                            << "9439fc36"_ba << u"😀"_s;
        QTest::newRow("unknown encoding: no text") << "x-no-such"_ba
                                                   << "6162"_ba << QString();
    }
    void decode()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(TextCodec::decode(name, QByteArray::fromHex(bytes)),
                 missing(name) ? QString() : text);
    }

    void knownName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("known");
        QTest::newRow("gbk") << "gbk"_ba
                             << "GBK"_ba;
        QTest::newRow("CP936 is GBK") << "CP936"_ba
                                      << "GBK"_ba;
        QTest::newRow("x-gbk is GBK") << "x-gbk"_ba
                                      << "GBK"_ba;
        QTest::newRow("gb2312") << "gb2312"_ba
                                << "GB2312"_ba;
        QTest::newRow("big5") << "big5"_ba
                              << "Big5"_ba;
        QTest::newRow("utf-8") << "utf-8"_ba
                               << "UTF-8"_ba;
        QTest::newRow("unknown") << "x-no-such"_ba << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void knownName()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, known);
        QCOMPARE(TextCodec::knownName(name), known);
    }

    void htmlEncoding_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("encoding");
        QTest::newRow("meta charset, quoted") << "<meta charset=\"gbk\">"_ba
                                              << "GBK"_ba;
        QTest::newRow("http-equiv")
            << "<meta http-equiv=Content-Type content='text/html;charset=big5'>"_ba
            << "Big5"_ba;
        QTest::newRow("upper case, single quotes") << "<META CHARSET='GB2312'>"_ba
                                                   << "GB2312"_ba;
        QTest::newRow("UTF-8 BOM beats the meta") << "\xEF\xBB\xBF<meta charset=\"gbk\">"_ba
                                                  << "UTF-8"_ba;
        QTest::newRow("no meta: UTF-8") << "<p>x</p>"_ba
                                        << "UTF-8"_ba;
        QTest::newRow("unknown meta charset: none")
            << "<meta charset=x-no-such>"_ba << QByteArray();
    }
    void htmlEncoding()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, encoding);
        QCOMPARE(TextCodec::htmlEncoding(head), encoding);
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
