#include "TagStream.h"

#include "SaveFile.h"

#include <algorithm>
#include <limits>

namespace {

const qint64 CopyChunk = 1 << 20;
// Past any file, yet two positions added never overflow.
const qint64 FarEnd = qint64(1) << 60;

// Thrown to leave TagLib once the stream has failed; AudioTags::write catches it.
struct Stopped
{
};

// TagLib's unsigned long is 32 bits on some systems and 64 on others.
qint64 position(unsigned long value)
{
    return std::min<quint64>(value, quint64(FarEnd));
}

QByteArray bytesOf(const TagLib::ByteVector &data)
{
    return QByteArray::fromRawData(data.data(), qsizetype(data.size()));
}

} // namespace

TagStream::TagStream(QFile &file, QDeadlineTimer deadline)
    : m_file(file)
    , m_original(file.size())
    , m_deadline(deadline)
    , m_length(m_original)
    , m_endBound(m_original)
{}

void TagStream::limitChanges(qint64 endBound, qint64 budget)
{
    m_endBound = endBound;
    m_budget = budget;
}

bool TagStream::rollback()
{
    while (!m_broken && !m_journal.empty()) {
        const Change &last = m_journal.back();
        const qint64 length = m_length - last.count + last.old.size();
        if (length > m_length && !makeRoom(length))
            return false;
        if (!splice(last.start, last.count, last.old))
            m_broken = true;
        m_journal.pop_back();
    }
    if (m_broken || (m_file.size() != m_length && !m_file.resize(m_length)))
        return false;
    return m_length == m_original;
}

void TagStream::abandon(Failure why)
{
    if (m_failure == Failure::None)
        m_failure = why;
}

void TagStream::seek(long offset, Position p)
{
    const qint64 base = p == Beginning ? 0 : p == Current ? m_pos : m_length;
    m_pos = std::clamp<qint64>(base + std::clamp<qint64>(offset, -FarEnd, FarEnd), 0, FarEnd);
}

TagLib::ByteVector TagStream::readBlock(unsigned long size)
{
    const qint64 left = std::max<qint64>(0, m_length - m_pos);
    const qint64 n = std::min({position(size), left, qint64(std::numeric_limits<uint>::max())});
    if (!usable() || n == 0)
        return {};
    TagLib::ByteVector data(uint(n), 0);
    if (!readAt(m_pos, data.data(), n)) {
        abandon(Failure::IoError);
        return {};
    }
    m_pos += n;
    return data;
}

void TagStream::writeBlock(const TagLib::ByteVector &data)
{
    // A write past the end fills the gap with zeros, as a file system would.
    const qint64 start = std::min(m_pos, m_length);
    const qint64 end = m_pos + qint64(data.size());
    const qint64 replaced = std::min(end, m_length) - start;
    admit(start, replaced, end - start);
    apply(start, replaced, QByteArray(m_pos - start, '\0') + bytesOf(data));
    m_pos = end;
}

void TagStream::insert(const TagLib::ByteVector &data, unsigned long start, unsigned long replace)
{
    change(position(start), position(replace), bytesOf(data));
    m_pos = position(start) + qint64(data.size());
}

void TagStream::removeBlock(unsigned long start, unsigned long size)
{
    change(position(start), position(size), {});
}

void TagStream::truncate(long size)
{
    const qint64 to = std::clamp<qint64>(size, 0, FarEnd);
    if (to <= m_length) {
        change(to, m_length - to, {});
        return;
    }
    admit(m_length, 0, to - m_length);
    apply(m_length, 0, QByteArray(to - m_length, '\0'));
}

bool TagStream::usable()
{
    if (m_failure == Failure::None && m_deadline.hasExpired())
        m_failure = Failure::TimedOut;
    return m_failure == Failure::None;
}

void TagStream::change(qint64 start, qint64 replaced, const QByteArray &data)
{
    admit(start, replaced, data.size());
    if (replaced > 0 || !data.isEmpty())
        apply(start, replaced, data);
}

// Throws unless a change of replaced bytes at start by added bytes stays
// within the file, the end bound and the budget.
void TagStream::admit(qint64 start, qint64 replaced, qint64 added)
{
    if (!usable())
        throw Stopped();
    const qint64 length = m_length - replaced + added;
    if (start + replaced > m_length || length > m_endBound)
        stop(Failure::OutOfBounds);
    const qint64 moved = added != replaced ? m_length - start - replaced : 0;
    m_spent += added + replaced + moved;
    if (m_spent > m_budget)
        stop(Failure::OutOfBounds);
}

void TagStream::apply(qint64 start, qint64 replaced, const QByteArray &data)
{
    QByteArray old(replaced, Qt::Uninitialized);
    if (!readAt(start, old.data(), replaced))
        stop(Failure::IoError);
    const qint64 length = m_length - replaced + data.size();
    // Room first: running out of space before anything moved leaves the file as it was.
    if (length > m_length && !makeRoom(length))
        stop(Failure::NoRoom);
    note(start, data.size(), std::move(old));
    if (!splice(start, replaced, data)) {
        m_broken = true;
        stop(Failure::IoError);
    }
}

void TagStream::note(qint64 start, qint64 count, QByteArray old)
{
    // Changes one after the other, as TagLib makes them through an offsets
    // table, are undone as one.
    if (!m_journal.empty() && m_journal.back().start + m_journal.back().count == start) {
        m_journal.back().count += count;
        m_journal.back().old += old;
        return;
    }
    m_journal.push_back({start, count, std::move(old)});
}

void TagStream::stop(Failure why)
{
    abandon(why);
    throw Stopped();
}

bool TagStream::makeRoom(qint64 size)
{
    if (SaveFile::reserve(m_file, size))
        return true;
    if (m_file.size() != m_length && !m_file.resize(m_length))
        m_broken = true;
    return false;
}

// Puts data where replaced bytes at start were, moving what follows; the
// room for a longer file has been made.
bool TagStream::splice(qint64 start, qint64 replaced, const QByteArray &data)
{
    const qint64 tail = start + replaced;
    const qint64 end = m_length;
    const qint64 grow = data.size() - replaced;
    if (tail > end || (grow > 0 && !move(tail, tail + grow, end - tail)) ||
        !writeAt(start, data.constData(), data.size()))
        return false;
    if (grow < 0 && (!move(tail, tail + grow, end - tail) || !m_file.resize(end + grow)))
        return false;
    m_length = end + grow;
    return true;
}

// Overlapping ranges are safe: a move to the back copies from the end.
bool TagStream::move(qint64 from, qint64 to, qint64 size)
{
    QByteArray chunk(std::min(size, CopyChunk), Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        const qint64 n = std::min(CopyChunk, size - done);
        const qint64 offset = to > from ? size - done - n : done;
        if (!readAt(from + offset, chunk.data(), n) || !writeAt(to + offset, chunk.constData(), n))
            return false;
        done += n;
    }
    return true;
}

bool TagStream::readAt(qint64 at, char *data, qint64 size)
{
    return size == 0 || (m_file.seek(at) && m_file.read(data, size) == size);
}

bool TagStream::writeAt(qint64 at, const char *data, qint64 size)
{
    return size == 0 || (m_file.seek(at) && m_file.write(data, size) == size);
}
