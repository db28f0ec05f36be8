#pragma once

// A fetched page in the form the parser reads it, and the one rule that turns
// a body's bytes into it. A UTF-8 page is kept as its bytes: half the memory
// of UTF-16, and every marker is ASCII, which never occurs inside a UTF-8
// multi-byte sequence, so the parser searches the bytes and decodes only what
// it keeps. Any other encoding is decoded to text first, because GBK or Big5
// trail bytes can look like ASCII.

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>

class PageText
{
public:
    PageText() = default;
    PageText(const QString &text)
        : m_text(text)
    {}
    static PageText fromUtf8(const QByteArray &bytes);

    // No text: a UTF-8 page that is only a byte-order mark decodes to none.
    bool isEmpty() const;
    bool isUtf8() const { return m_utf8; }
    const QByteArray &utf8() const { return m_bytes; }
    const QString &text() const { return m_text; }
    // The whole page as text, whatever its form; decodes a UTF-8 page anew.
    QString toString() const;
    // Whether an ASCII marker occurs, searched in the page's own form.
    bool contains(QLatin1StringView marker) const
    {
        return m_utf8 ? m_bytes.contains(QByteArrayView(marker.data(), marker.size()))
                      : m_text.contains(marker);
    }

private:
    QByteArray m_bytes;
    QString m_text;
    bool m_utf8 = false;
};

// UTF-8 to text with invalid sequences replaced as QString::fromUtf8 does. A
// byte-order mark at the start is kept: a slice of a page may begin with one.
QString decodeUtf8(QByteArrayView bytes);

// The encoding of a body: a byte-order mark (UTF-8, UTF-16); else the
// Content-Type header's charset when it names one we know; else a <meta charset> or http-equiv
// Content-Type within the first 1,024 bytes; else (unknown names too) UTF-8.
QByteArray pageEncoding(const QByteArray &body, const QByteArray &contentTypeHeader = {});

// The body as the parser reads it, by the rule above.
PageText decodePage(const QByteArray &body, const QByteArray &contentTypeHeader = {});
