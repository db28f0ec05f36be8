#include "DeviceNames.h"

QList<DeviceName> deviceNames(const QString &folder)
{
    return {{"console input", QStringLiteral("CONIN$")},
            {"null device", QStringLiteral("NUL")},
            {"serial port", QStringLiteral("C:/COM1.png")},
            {"named pipe", QStringLiteral("//./pipe/sonavex-never")},
            {"folder", folder}};
}
