#pragma once

// TagLib's view of a download's temporary file, kept within what tagging it
// can need whatever the file says about itself.
//
// A read never returns more than the file still holds, so no size field can
// make TagLib allocate for bytes that are not there. Changes stop at an end
// the new tag can reach and within a budget of bytes written and moved, so no
// count in the file can make TagLib write on and on. The first failure (a
// failed read or write, no room on the disk, a change out of bounds, the
// deadline) is kept: reads then return nothing and changes throw, because
// TagLib's loops ignore a write that did not happen. Every change is noted
// first, so rollback() can put a changed file back as it came.

#include <QDeadlineTimer>
#include <QFile>

#include <tiostream.h>

#include <vector>

class TagStream : public TagLib::IOStream
{
public:
    enum class Failure { None, NoRoom, OutOfBounds, TimedOut, IoError };

    // file: open for reading and writing, unbuffered. No change is allowed
    // until limitChanges() says how far changes may go.
    TagStream(QFile &file, QDeadlineTimer deadline);

    // endBound: the longest the file may become.
    // budget: bytes that may be written, moved and replaced in all.
    void limitChanges(qint64 endBound, qint64 budget);

    Failure failure() const { return m_failure; }
    bool changed() const { return !m_journal.empty() || m_broken; }
    // True when the file is back as it came; false leaves it damaged.
    bool rollback();
    // Ends the tagging from outside the stream, e.g. on an exception of TagLib's.
    void abandon(Failure why);

    TagLib::FileName name() const override { return ""; }
    bool readOnly() const override { return false; }
    bool isOpen() const override { return true; }
    long tell() const override { return long(m_pos); }
    long length() override { return long(m_length); }
    void seek(long offset, Position p) override;
    TagLib::ByteVector readBlock(unsigned long size) override;
    void writeBlock(const TagLib::ByteVector &data) override;
    void insert(const TagLib::ByteVector &data, unsigned long start,
                unsigned long replace) override;
    void removeBlock(unsigned long start, unsigned long size) override;
    void truncate(long size) override;

private:
    // What a change replaced: count bytes at start now stand where old stood.
    struct Change
    {
        qint64 start;
        qint64 count;
        QByteArray old;
    };

    bool usable();
    void change(qint64 start, qint64 replaced, const QByteArray &data);
    void admit(qint64 start, qint64 replaced, qint64 added);
    void apply(qint64 start, qint64 replaced, const QByteArray &data);
    void note(qint64 start, qint64 count, QByteArray old);
    [[noreturn]] void stop(Failure why);
    bool makeRoom(qint64 size);
    bool splice(qint64 start, qint64 replaced, const QByteArray &data);
    bool move(qint64 from, qint64 to, qint64 size);
    bool readAt(qint64 at, char *data, qint64 size);
    bool writeAt(qint64 at, const char *data, qint64 size);

    QFile &m_file;
    const qint64 m_original;
    const QDeadlineTimer m_deadline;
    qint64 m_length;
    qint64 m_endBound;
    qint64 m_budget = 0;
    qint64 m_pos = 0;
    qint64 m_spent = 0;
    Failure m_failure = Failure::None;
    bool m_broken = false; // a change failed half done: no way back
    std::vector<Change> m_journal;
};
