#include "Skin.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString realSkinPath()
{
    return QStringLiteral(SONAVEX_SOURCE_DIR "/resources/skin/skinh.she");
}

QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll());
}

// What a label under the application's sheet really gets, not what the sheet says.
QColor labelColor()
{
    QLabel label;
    label.ensurePolished();
    return label.palette().color(QPalette::WindowText);
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) <= 1 && qAbs(a.green() - b.green()) <= 1 &&
           qAbs(a.blue() - b.blue()) <= 1;
}

// Colour of a SkinPalette role as written in a skin file.
QColor paletteEntry(const QString &sheet, const QString &role)
{
    const QRegularExpression re(QLatin1String("[\\s;{]") + role +
                                QLatin1String("\\s*:\\s*(#[0-9A-Fa-f]{6})"));
    const QRegularExpressionMatch m = re.match(sheet);
    return m.hasMatch() ? QColor(m.captured(1)) : QColor();
}

} // namespace

class tst_Skin : public QObject
{
    Q_OBJECT

private:
    QString writeSkin(const QString &text)
    {
        const QString path = m_dir.filePath(QStringLiteral("skinh.she"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        file.write(text.toUtf8());
        return path;
    }

    static QString oneColorSkin(const QString &color)
    {
        return QLatin1String("SkinPalette { window: ") + color +
               QLatin1String("; }\nQLabel { color: ") + color + QLatin1String("; }\n");
    }

    QTemporaryDir m_dir;

private slots:
    void init()
    {
        Skin::detachForTesting();
        QVERIFY(m_dir.isValid());
    }
    void cleanup()
    {
        Skin::detachForTesting();
        qApp->setStyleSheet(QString());
    }

    void attachAppliesSheetAndPalette()
    {
        const QString path = writeSkin(oneColorSkin(QStringLiteral("#336699")));
        QCOMPARE(SkinH_AttachEx(path, QString()), 1);

        QCOMPARE(labelColor(), QColor(0x33, 0x66, 0x99));
        QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(0x33, 0x66, 0x99));
        QVERIFY2(!qApp->styleSheet().contains(QLatin1String("SkinPalette")),
                 "the palette rule is the skin's own, Qt must not see it");
    }

    void passwordIsIgnored()
    {
        const QString path = writeSkin(oneColorSkin(QStringLiteral("#336699")));
        QCOMPARE(SkinH_AttachEx(path, QStringLiteral("anything")), 1);
        QCOMPARE(labelColor(), QColor(0x33, 0x66, 0x99));
    }

    void unusableFileChangesNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("absent.she"));
        QTest::newRow("missing folder") << m_dir.filePath(QStringLiteral("no/such/skinh.she"));
        QTest::newRow("a folder, not a file") << m_dir.path();
        QTest::newRow("empty path") << QString();
    }
    void unusableFileChangesNothing()
    {
        QFETCH(QString, path);
        const QString sentinel = QStringLiteral("QLabel { color: #010203; }");
        qApp->setStyleSheet(sentinel);
        const QColor window = QApplication::palette().color(QPalette::Window);

        QCOMPARE(SkinH_AttachEx(path, QString()), 0);
        QCOMPARE(qApp->styleSheet(), sentinel);
        QCOMPARE(QApplication::palette().color(QPalette::Window), window);
        QCOMPARE(SkinH_AdjustHSV(166, 0, 0), 0);
        QCOMPARE(qApp->styleSheet(), sentinel);
    }

    void failedAttachKeepsTheAttachedSkin()
    {
        QCOMPARE(SkinH_AttachEx(writeSkin(oneColorSkin(QStringLiteral("#ff0000"))), QString()), 1);
        const QString sheet = qApp->styleSheet();
        QCOMPARE(SkinH_AttachEx(m_dir.filePath(QStringLiteral("absent.she")), QString()), 0);
        QCOMPARE(qApp->styleSheet(), sheet);
        QCOMPARE(SkinH_AdjustHSV(120, 0, 0), 1);
        QCOMPARE(labelColor(), QColor(0x00, 0xff, 0x00));
    }

    void adjustWithoutSkinDoesNothing()
    {
        qApp->setStyleSheet(QStringLiteral("QLabel { color: #ff0000; }"));
        QCOMPARE(SkinH_AdjustHSV(120, 0, 0), 0);
        QCOMPARE(labelColor(), QColor(0xff, 0x00, 0x00));
    }

    void doubledSeparatorStillFindsTheFile()
    {
        writeSkin(oneColorSkin(QStringLiteral("#336699")));
        QCOMPARE(SkinH_AttachEx(m_dir.path() + QStringLiteral("//skinh.she"), QString()), 1);
        QCOMPARE(labelColor(), QColor(0x33, 0x66, 0x99));
    }

    // Expected colours follow from the colour wheel: red, green and blue sit
    // 120 degrees apart; grey has no hue; saturation 0 is grey of the same value.
    void shiftsSheetAndPalette_data()
    {
        QTest::addColumn<QString>("color");
        QTest::addColumn<int>("hue");
        QTest::addColumn<int>("saturation");
        QTest::addColumn<int>("value");
        QTest::addColumn<QColor>("expected");

        QTest::newRow("no change keeps the colour")
            << QStringLiteral("#336699") << 0 << 0 << 0 << QColor::fromRgb(0x336699);
        QTest::newRow("hue turns red to green")
            << QStringLiteral("#ff0000") << 120 << 0 << 0 << QColor::fromRgb(0x00ff00);
        QTest::newRow("negative hue turns backwards")
            << QStringLiteral("#ff0000") << -120 << 0 << 0 << QColor::fromRgb(0x0000ff);
        QTest::newRow("a full turn is no turn")
            << QStringLiteral("#336699") << 360 << 0 << 0 << QColor::fromRgb(0x336699);
        QTest::newRow("more than a full turn wraps")
            << QStringLiteral("#ff0000") << 480 << 0 << 0 << QColor::fromRgb(0x00ff00);
        QTest::newRow("orange lands between green and cyan")
            << QStringLiteral("#ff8000") << 120 << 0 << 0 << QColor::fromRgb(0x00ff80);
        QTest::newRow("grey has no hue to turn")
            << QStringLiteral("#808080") << 166 << 0 << 0 << QColor::fromRgb(0x808080);
        QTest::newRow("saturation removed leaves grey of the same value")
            << QStringLiteral("#ff0000") << 0 << -100 << 0 << QColor::fromRgb(0xffffff);
        QTest::newRow("value removed is black")
            << QStringLiteral("#336699") << 0 << 0 << -100 << QColor::fromRgb(0x000000);
        QTest::newRow("value clamps at full")
            << QStringLiteral("#800000") << 0 << 0 << 100 << QColor::fromRgb(0xff0000);
        QTest::newRow("upper-case hex is found too")
            << QStringLiteral("#FF0000") << 240 << 0 << 0 << QColor::fromRgb(0x0000ff);
    }
    void shiftsSheetAndPalette()
    {
        QFETCH(QString, color);
        QFETCH(int, hue);
        QFETCH(int, saturation);
        QFETCH(int, value);
        QFETCH(QColor, expected);

        QCOMPARE(SkinH_AttachEx(writeSkin(oneColorSkin(color)), QString()), 1);
        QCOMPARE(SkinH_AdjustHSV(hue, saturation, value), 1);

        const QColor label = labelColor();
        QVERIFY2(near(label, expected),
                 qPrintable(label.name() + QLatin1String(" from the sheet, expected ") +
                            expected.name()));
        const QColor window = QApplication::palette().color(QPalette::Window);
        QVERIFY2(near(window, expected),
                 qPrintable(window.name() + QLatin1String(" in the palette, expected ") +
                            expected.name()));
    }

    void adjustStartsFromTheSkinsOwnColours()
    {
        QCOMPARE(SkinH_AttachEx(writeSkin(oneColorSkin(QStringLiteral("#ff0000"))), QString()), 1);
        QCOMPARE(SkinH_AdjustHSV(120, 0, 0), 1);
        QCOMPARE(SkinH_AdjustHSV(120, 0, 0), 1);
        QCOMPARE(labelColor(), QColor(0x00, 0xff, 0x00)); // compounded would be blue
        QCOMPARE(SkinH_AdjustHSV(0, 0, 0), 1);
        QCOMPARE(labelColor(), QColor(0xff, 0x00, 0x00));
    }

    void reattachStartsUnshifted()
    {
        const QString path = writeSkin(oneColorSkin(QStringLiteral("#ff0000")));
        QCOMPARE(SkinH_AttachEx(path, QString()), 1);
        QCOMPARE(SkinH_AdjustHSV(120, 0, 0), 1);
        QCOMPARE(SkinH_AttachEx(path, QString()), 1);
        QCOMPARE(labelColor(), QColor(0xff, 0x00, 0x00));
    }

    // The tool's own skin, as start-up applies it.
    void realSkinTurnsToItsIntendedLook()
    {
        const QString text = readAll(realSkinPath());
        QVERIFY2(!text.isEmpty(), qPrintable(realSkinPath()));
        const QColor highlight = paletteEntry(text, QStringLiteral("highlight"));
        QVERIFY2(highlight.isValid(), "the skin names its highlight colour");

        QCOMPARE(SkinH_AttachEx(realSkinPath(), QString()), 1);
        QCOMPARE(SkinH_AdjustHSV(166, 0, 0), 1);

        int h = 0, s = 0, v = 0;
        highlight.getHsv(&h, &s, &v);
        const QColor expected = QColor::fromHsv((h + 166) % 360, s, v);
        const QColor actual = QApplication::palette().color(QPalette::Highlight);
        QVERIFY2(near(actual, expected),
                 qPrintable(actual.name() + QLatin1String(" vs ") + expected.name()));
        // Designed to land on teal after the start-up turn.
        QVERIFY2(actual.hsvHue() >= 170 && actual.hsvHue() <= 210, qPrintable(actual.name()));
    }

    void realSkinColoursCanAllBeTurned()
    {
        const QString text = readAll(realSkinPath());
        QVERIFY(!text.isEmpty());
        QString code = text;
        code.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                       QRegularExpression::DotMatchesEverythingOption));

        const QRegularExpression otherForms(
            QStringLiteral("(rgba?|hsva?|hsla?)\\s*\\(|#[0-9A-Fa-f]{3}(?![0-9A-Fa-f])"));
        const QRegularExpressionMatch other = otherForms.match(code);
        QVERIFY2(!other.hasMatch(),
                 qPrintable(QLatin1String("the hue shift misses ") + other.captured()));

        const QStringList names = QColor::colorNames();
        const QRegularExpression declaration(QStringLiteral("[\\w-]+\\s*:\\s*([^;{}]+);"));
        for (auto it = declaration.globalMatch(code); it.hasNext();) {
            const QString value = it.next().captured(1).trimmed();
            for (const QString &word : value.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                QVERIFY2(word == QLatin1String("transparent") || !names.contains(word.toLower()),
                         qPrintable(QLatin1String("named colour the shift misses: ") + word));
            }
        }
        QVERIFY2(!code.contains(QLatin1String("font-family")) &&
                     !code.contains(QLatin1String("font:")),
                 "fonts are set by the tool, not by the skin");
    }

    // The window places controls at fixed pixel sizes; the skin's borders and
    // padding must leave room for a line of 9-point text in each.
    void realSkinLeavesRoomInFixedBoxes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("address box") << QStringLiteral("edit") << QSize(257, 18)
                                     << QStringLiteral("http://changba.com/s/abc");
        QTest::newRow("top button")
            << QStringLiteral("button") << QSize(73, 49) << QStringLiteral("提取信息");
        QTest::newRow("bottom button")
            << QStringLiteral("button") << QSize(89, 49) << QStringLiteral("Lumo系列软件");
        QTest::newRow("media button")
            << QStringLiteral("button") << QSize(121, 33) << QStringLiteral("在线试听");
    }
    void realSkinLeavesRoomInFixedBoxes()
    {
        QFETCH(QString, kind);
        QFETCH(QSize, size);
        QFETCH(QString, text);

        const QFont previousFont = QApplication::font();
        QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
        QCOMPARE(SkinH_AttachEx(realSkinPath(), QString()), 1);
        QCOMPARE(SkinH_AdjustHSV(166, 0, 0), 1);

        QWidget window;
        QRect contents;
        int needWidth = 0;
        int needHeight = 0;
        if (kind == QLatin1String("edit")) {
            auto *edit = new QLineEdit(text, &window);
            edit->setFixedSize(size);
            edit->ensurePolished();
            QStyleOptionFrame option;
            option.initFrom(edit);
            option.rect = edit->rect();
            option.lineWidth =
                edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
            contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
            needHeight = edit->fontMetrics().height();
        } else {
            auto *button = new QPushButton(text, &window);
            button->setFixedSize(size);
            button->ensurePolished();
            QStyleOptionButton option;
            option.initFrom(button);
            option.rect = button->rect();
            option.text = text;
            contents =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            needWidth = button->fontMetrics().horizontalAdvance(text);
            needHeight = button->fontMetrics().height();
        }
        QApplication::setFont(previousFont);

        QVERIFY2(
            contents.height() >= needHeight,
            qPrintable(
                QStringLiteral("%1 px of text in %2 px").arg(needHeight).arg(contents.height())));
        QVERIFY2(
            contents.width() >= needWidth,
            qPrintable(
                QStringLiteral("%1 px of text in %2 px").arg(needWidth).arg(contents.width())));
    }
};

QTEST_MAIN(tst_Skin)
#include "tst_skin.moc"
