#include "TextOps.h"

namespace TextOps {

std::optional<QStringView> pieceAfter(QStringView source, QStringView marker)
{
    const qsizetype first = source.indexOf(marker);
    if (first < 0)
        return std::nullopt;
    const qsizetype start = first + marker.size();
    const qsizetype second = source.indexOf(marker, start);
    return second < 0 ? source.mid(start) : source.mid(start, second - start);
}

QStringView through(QStringView source, QStringView end)
{
    const qsizetype at = source.indexOf(end);
    return at < 0 ? QStringView() : source.left(at + 1);
}

namespace {
bool isTrimmable(QChar c)
{
    // Pages written by Chinese users pad with the full-width space as often as with ASCII.
    return c == u' ' || c == QChar(0x3000);
}
} // namespace

QString trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmable(text[begin]))
        ++begin;
    while (end > begin && isTrimmable(text[end - 1]))
        --end;
    return text.mid(begin, end - begin).toString();
}

} // namespace TextOps
