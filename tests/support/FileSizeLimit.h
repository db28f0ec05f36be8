#pragma once

// A cap on the size of every file this process writes, so that a test can
// make the disk full even for root. POSIX systems have one (RLIMIT_FSIZE);
// Windows has none, and there a test skips the rows that need it.

#include <QtGlobal>

class FileSizeLimit
{
public:
    static constexpr qint64 None = -1;
    static bool supported();
    static const char *unsupportedReason();

    // Applies the cap until the object goes; None leaves writing alone.
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    // Whether the cap asked for is in force (always, for None).
    bool applied() const { return m_applied; }

private:
    bool m_applied = false;
    bool m_restore = false;
    quint64 m_saved = 0;
};
