#include "PlayerControls.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

// The bar is drawn on a system that has Qt's platform plugins and nothing
// else: no icon engines, no image formats.
class TestPlayerIcons : public QObject
{
    Q_OBJECT

    static QImage face(const QIcon &icon, qreal scale, QIcon::State state = QIcon::Off,
                       QIcon::Mode mode = QIcon::Normal)
    {
        QPixmap pixmap = icon.pixmap(QSize(16, 16), scale, mode, state);
        return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    }
    static int inkedPixels(const QImage &image)
    {
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                inked += qAlpha(image.pixel(x, y)) > 128;
        return inked;
    }

private slots:
    // Every button shows a drawing of its own, at the screen's own pixels:
    // a 2x screen gets twice the pixels, not a blurred 1x picture.
    void buttonsShowTheirIcons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<qreal>("scale");
        for (const qreal scale : {1.0, 2.0}) {
            for (const char *name : {"playButton", "stopButton", "muteButton"})
                QTest::addRow("%s at %gx", name, scale) << QString::fromLatin1(name) << scale;
        }
    }
    void buttonsShowTheirIcons()
    {
        QFETCH(QString, button);
        QFETCH(qreal, scale);
        PlayerControls bar;
        const auto *control = bar.findChild<QToolButton *>(button);
        QVERIFY(control);
        const QImage image = face(control->icon(), scale);
        QCOMPARE(image.size(), QSize(16, 16) * scale);
        const int inked = inkedPixels(image);
        // Solid shapes, yet none fills its square.
        QVERIFY2(inked > image.width() * image.height() / 8, qPrintable(QString::number(inked)));
        QVERIFY2(inked < image.width() * image.height() * 3 / 4,
                 qPrintable(QString::number(inked)));
    }

    // What a button shows tells its state: play against pause, speaker
    // against struck-out speaker, enabled against disabled.
    void statesLookDifferent()
    {
        PlayerControls bar;
        auto *play = bar.findChild<QToolButton *>(u"playButton"_s);
        auto *mute = bar.findChild<QToolButton *>(u"muteButton"_s);
        const QImage playing = face(play->icon(), 1);
        bar.setPlaying(true);
        QVERIFY(face(play->icon(), 1) != playing);
        QVERIFY(face(mute->icon(), 1, QIcon::On) != face(mute->icon(), 1, QIcon::Off));
        QVERIFY(face(mute->icon(), 1, QIcon::Off, QIcon::Disabled) !=
                face(mute->icon(), 1, QIcon::Off));
    }
};

int main(int argc, char *argv[])
{
    // A plugin folder holding copies of the platform plugins alone (copies:
    // a link is a shortcut file on some systems).
    QTemporaryDir plugins;
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/platforms"_s);
    if (!plugins.isValid() || !QDir(plugins.path()).mkdir(u"platforms"_s))
        return 2;
    for (const QString &name : platforms.entryList(QDir::Files)) {
        if (!QFile::copy(platforms.filePath(name), plugins.filePath(u"platforms/"_s + name)))
            return 2;
    }
    QCoreApplication::setLibraryPaths({plugins.path()});
    QApplication app(argc, argv);
    TestPlayerIcons test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_playericons.moc"
