#include "PageText.h"

#include "TextCodec.h"

#include <QList>

namespace {

constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF", 3);
constexpr qsizetype kMetaWindow = 1024;

QByteArray charsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> params = contentType.split(';');
    for (qsizetype i = 1; i < params.size(); ++i) {
        const QByteArray param = params[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0 || param.left(eq).trimmed().toLower() != "charset")
            continue;
        QByteArray value = param.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2).trimmed();
        return value;
    }
    return {};
}

// The byte-order marks a page may open with, as browsers sniff them.
QByteArray bomEncoding(const QByteArray &body)
{
    if (body.startsWith(kUtf8Bom))
        return QByteArrayLiteral("UTF-8");
    if (body.startsWith("\xFE\xFF"))
        return QByteArrayLiteral("UTF-16BE");
    if (body.startsWith("\xFF\xFE"))
        return QByteArrayLiteral("UTF-16LE");
    return {};
}

} // namespace

PageText PageText::fromUtf8(const QByteArray &bytes)
{
    PageText page;
    page.m_bytes = bytes;
    page.m_utf8 = true;
    return page;
}

bool PageText::isEmpty() const
{
    return m_utf8 ? m_bytes.isEmpty() || m_bytes == kUtf8Bom : m_text.isEmpty();
}

QString PageText::toString() const
{
    return m_utf8 ? QString::fromUtf8(m_bytes) : m_text;
}

QString decodeUtf8(QByteArrayView bytes)
{
    // QString::fromUtf8 drops one leading mark; inside a page it is a character.
    QString marks;
    while (bytes.startsWith(kUtf8Bom)) {
        marks += QChar(0xFEFF);
        bytes = bytes.sliced(kUtf8Bom.size());
    }
    return marks.isEmpty() ? QString::fromUtf8(bytes) : marks + QString::fromUtf8(bytes);
}

QByteArray pageEncoding(const QByteArray &body, const QByteArray &contentTypeHeader)
{
    // A mark is written by whoever wrote the bytes; a header only by the server.
    if (const QByteArray fromBom = bomEncoding(body); !fromBom.isEmpty())
        return fromBom;
    if (const QByteArray fromHeader = TextCodec::knownName(charsetOf(contentTypeHeader));
        !fromHeader.isEmpty())
        return fromHeader;
    // Then <meta>; only the page's head is looked at.
    const QByteArray html =
        TextCodec::htmlEncoding(QByteArrayView(body).first(qMin(body.size(), kMetaWindow)));
    return html.isEmpty() ? QByteArrayLiteral("UTF-8") : html;
}

PageText decodePage(const QByteArray &body, const QByteArray &contentTypeHeader)
{
    const QByteArray encoding = pageEncoding(body, contentTypeHeader);
    if (encoding == "UTF-8")
        return PageText::fromUtf8(body);
    return PageText(TextCodec::decode(encoding, body));
}
