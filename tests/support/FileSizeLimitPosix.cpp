#include "FileSizeLimit.h"

#include <csignal>
#include <sys/resource.h>

bool FileSizeLimit::supported()
{
    return true;
}

const char *FileSizeLimit::unsupportedReason()
{
    return "";
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    if (bytes == None) {
        m_applied = true;
        return;
    }
    rlimit saved{};
    if (getrlimit(RLIMIT_FSIZE, &saved) != 0)
        return;
    // A write past the cap fails with EFBIG instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{rlim_t(bytes), saved.rlim_max};
    m_applied = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    m_restore = m_applied;
    m_saved = saved.rlim_cur;
}

FileSizeLimit::~FileSizeLimit()
{
    if (!m_restore)
        return;
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_saved);
    setrlimit(RLIMIT_FSIZE, &limit);
}
