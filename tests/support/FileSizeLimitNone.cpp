#include "FileSizeLimit.h"

bool FileSizeLimit::supported()
{
    return false;
}

const char *FileSizeLimit::unsupportedReason()
{
    return "a full disk is made with a file size limit (RLIMIT_FSIZE), which Windows lacks";
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
    : m_applied(bytes == None)
{}

FileSizeLimit::~FileSizeLimit() = default;
