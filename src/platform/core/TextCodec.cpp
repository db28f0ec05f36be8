#include "TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

#ifdef Q_OS_WIN

struct CodePage
{
    const char *name; // the name ICU gives the encoding, so both systems agree
    UINT number;
    std::initializer_list<const char *> aliases; // lower case
};

// What Chinese pages declare, and the Western pages Windows has code pages for.
// GB2312 pages are read with GBK, its superset, as browsers do.
const CodePage kCodePages[] = {
    {"GBK", 936, {"gbk", "cp936", "ms936", "windows-936", "x-gbk"}},
    {"GB2312", 936, {"gb2312", "csgb2312", "gb_2312-80", "euc-cn", "x-euc-cn"}},
    {"GB18030", 54936, {"gb18030"}},
    {"Big5", 950, {"big5", "csbig5", "cn-big5", "x-x-big5", "cp950", "windows-950"}},
    {"Shift_JIS", 932, {"shift_jis", "sjis", "ms_kanji", "csshiftjis", "windows-31j", "cp932"}},
    {"EUC-KR", 949, {"euc-kr", "cseuckr", "ks_c_5601-1987", "cp949", "windows-949"}},
    {"windows-1250", 1250, {"windows-1250", "cp1250"}},
    {"windows-1251", 1251, {"windows-1251", "cp1251"}},
    {"windows-1252", 1252, {"windows-1252", "cp1252"}},
    {"windows-1253", 1253, {"windows-1253", "cp1253"}},
    {"windows-1254", 1254, {"windows-1254", "cp1254"}},
    {"windows-1257", 1257, {"windows-1257", "cp1257"}},
    {"KOI8-R", 20866, {"koi8-r", "cskoi8r"}},
};

// Only code pages this system can convert: Wine, for one, lacks GB18030's.
const CodePage *codePage(QByteArrayView name)
{
    const QByteArray lower = name.toByteArray().trimmed().toLower();
    for (const CodePage &page : kCodePages) {
        for (const char *alias : page.aliases) {
            if (lower == alias)
                return IsValidCodePage(page.number) ? &page : nullptr;
        }
    }
    return nullptr;
}

constexpr UINT kGb18030 = 54936; // holds every character: no "?", no surrogate handling

// One "?" per character the code page lacks, a pair of surrogates being one
// character, as ICU writes it; U+FEFF is dropped, as ICU drops it.
QByteArray encodeWithCodePage(UINT number, QStringView text, bool *lossy)
{
    QString clean;
    if (number == kGb18030) {
        clean = text.toString();
    } else {
        clean.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c.unicode() == 0xFEFF) {
                *lossy = *lossy || i > 0;
                continue;
            }
            if (c.isSurrogate()) {
                if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                    ++i;
                clean += QLatin1Char('?');
                *lossy = true;
                continue;
            }
            clean += c;
        }
    }
    if (clean.isEmpty())
        return {};
    const auto *wide = reinterpret_cast<const wchar_t *>(clean.utf16());
    const int length = int(clean.size());
    // No best fit: "é" must not quietly become "e" where the code page lacks it.
    // GB18030 takes no flags and no default character.
    const bool exact = number != kGb18030;
    const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
    const char *defaultChar = exact ? "?" : nullptr;
    BOOL usedDefault = FALSE;
    BOOL *usedDefaultOut = exact ? &usedDefault : nullptr;
    const int size =
        WideCharToMultiByte(number, flags, wide, length, nullptr, 0, defaultChar, usedDefaultOut);
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(number, flags, wide, length, bytes.data(), size, defaultChar,
                        usedDefaultOut);
    *lossy = *lossy || usedDefault;
    return bytes;
}

// A lead byte left without its trail at the end is an unfinished character;
// ICU keeps it for more input, so it never reaches the text.
qsizetype completeDoubleByteLength(UINT number, QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (IsDBCSLeadByteEx(number, BYTE(bytes[i]))) {
            if (i + 1 == bytes.size())
                return i;
            i += 2;
        } else {
            ++i;
        }
    }
    return bytes.size();
}

QString decodeWithCodePage(UINT number, QByteArrayView bytes)
{
    if (number != kGb18030)
        bytes = bytes.first(completeDoubleByteLength(number, bytes));
    if (bytes.isEmpty())
        return {};
    const int length = int(bytes.size());
    const int size = MultiByteToWideChar(number, 0, bytes.data(), length, nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(number, 0, bytes.data(), length, reinterpret_cast<wchar_t *>(text.data()),
                        size);
    return text;
}

// Where the page's head names its charset, found as Qt finds it: the first
// "charset=" after the first "meta ", in the first 1,024 bytes.
QByteArray metaCharset(QByteArrayView head)
{
    const QByteArray lower = head.first(qMin(head.size(), qsizetype(1024))).toByteArray().toLower();
    qsizetype at = lower.indexOf("meta ");
    if (at < 0)
        return {};
    at = lower.indexOf("charset=", at);
    if (at < 0)
        return {};
    at += 8;
    if (at < lower.size() && (lower[at] == '"' || lower[at] == '\''))
        ++at;
    for (qsizetype end = at + 1; end < lower.size(); ++end) {
        const char c = lower[end];
        if (c == '"' || c == '\'' || c == '>' || c == '/') {
            QByteArray name = lower.mid(at, end - at);
            if (const qsizetype colon = name.indexOf(':'); colon > 0)
                name.truncate(colon);
            name = name.simplified();
            if (name == "unicode")
                return QByteArrayLiteral("UTF-8");
            if (!name.isEmpty())
                return name;
        }
    }
    return {};
}

#endif // Q_OS_WIN

} // namespace

QByteArray TextCodec::knownName(QByteArrayView name)
{
    if (name.isEmpty())
        return {};
    const QStringDecoder decoder(name.toByteArray().constData());
    if (decoder.isValid())
        return QByteArray(decoder.name());
#ifdef Q_OS_WIN
    if (const CodePage *page = codePage(name))
        return QByteArray(page->name);
#endif
    return {};
}

QByteArray TextCodec::encode(QByteArrayView name, QStringView text, bool *lossy)
{
    bool lost = false;
    QByteArray bytes;
    QStringEncoder encoder(name.toByteArray().constData());
    if (encoder.isValid()) {
        bytes = encoder.encode(text);
        lost = encoder.hasError();
    } else {
#ifdef Q_OS_WIN
        if (const CodePage *page = codePage(name))
            bytes = encodeWithCodePage(page->number, text, &lost);
        else
            lost = true;
#else
        lost = true;
#endif
    }
    if (lossy)
        *lossy = lost;
    return bytes;
}

QString TextCodec::decode(QByteArrayView name, QByteArrayView bytes)
{
    QStringDecoder decoder(name.toByteArray().constData());
    if (decoder.isValid())
        return decoder.decode(bytes);
#ifdef Q_OS_WIN
    if (const CodePage *page = codePage(name))
        return decodeWithCodePage(page->number, bytes);
#endif
    return {};
}

QByteArray TextCodec::htmlEncoding(QByteArrayView head)
{
    const QStringDecoder decoder = QStringDecoder::decoderForHtml(head);
    if (decoder.isValid())
        return QByteArray(decoder.name());
#ifdef Q_OS_WIN
    // Qt found a name it cannot convert without ICU; the code pages may.
    return knownName(metaCharset(head));
#else
    return {};
#endif
}
