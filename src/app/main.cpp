#include "Form1.h"
#include "NetworkProxy.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonavex"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setDesktopFileName(QStringLiteral("sonavex"));
    Q_INIT_RESOURCE(icons);
    QApplication::setFont(Form1::programFont());

    // Qt's own texts (是(Y), 否(N), 取消, 确定) in Chinese.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    // http_proxy and no_proxy are how a user points every fetch at a proxy.
    NetworkProxy::useEnvironmentOrSystem();

    // The desktop keeps this icon; Form1 shows none in its own title bar.
    // Read as PNG without guessing, which would load every image plugin first.
    QIcon icon;
    for (const char *size : {"16", "32", "48"}) {
        QImageReader reader(QStringLiteral(":/icons/sonavex-%1.png").arg(QLatin1String(size)),
                            "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);

    Form1 form;
    form.show();
    return QApplication::exec();
}
