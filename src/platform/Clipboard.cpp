#include "Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

QString Clipboard::plainText()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return QString();
    QString subtype = QStringLiteral("plain");
    return clipboard->text(subtype);
}
