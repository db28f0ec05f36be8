#pragma once

// Every remote address the tool knows, in one place. The maker's hosts are
// placeholders under .example; the demo service answers for all of them.

#include <QString>

namespace Hosts {

// A share address contains this prefix somewhere in the text the user gives.
inline QString sharePrefix()
{
    return QStringLiteral("http://changba.com/s/");
}

inline QString versionFileUrl()
{
    return QStringLiteral("http://soft.vantre.example/brelvane/sonav/jc/jc.txt");
}
inline QString forumPageUrl()
{
    return QStringLiteral("http://bbs.vantre.example/");
}
inline QString homePageUrl()
{
    return QStringLiteral("http://www.vantre.example/");
}

// The version this build is; the maker's version file must say exactly this.
inline QString ownVersion()
{
    return QStringLiteral("V1.0");
}

} // namespace Hosts
