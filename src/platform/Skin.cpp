#include "Skin.h"

#include <QApplication>
#include <QFile>
#include <QMetaEnum>
#include <QPalette>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleFactory>

#include <cmath>

namespace {

struct PaletteEntry
{
    QPalette::ColorRole role;
    bool disabledOnly;
    QColor color;
};

struct State
{
    bool attached = false;
    QString sheet; // as in the file, less the palette rule
    QList<PaletteEntry> palette;
    QPalette stylePalette; // Fusion's own, under the skin's roles

    // What was there before the first skin, for detachForTesting().
    QString plainStyle;
    QString plainSheet;
    QPalette plainPalette;
};

State &state()
{
    static State s;
    return s;
}

const QRegularExpression &colorPattern()
{
    static const QRegularExpression re(QStringLiteral("#[0-9A-Fa-f]{6}(?![0-9A-Fa-f])"));
    return re;
}

QColor shifted(const QColor &color, int hue, int saturation, int value)
{
    if (hue % 360 == 0 && saturation == 0 && value == 0)
        return color;
    float h = 0, s = 0, v = 0, a = 0;
    color.getHsvF(&h, &s, &v, &a);
    if (h >= 0) // grey has no hue to turn
        h = std::fmod(h + float((hue % 360 + 360) % 360) / 360.0f, 1.0f);
    s = qBound(0.0f, s + float(saturation) / 100.0f, 1.0f);
    v = qBound(0.0f, v + float(value) / 100.0f, 1.0f);
    return QColor::fromHsvF(h, s, v, a);
}

QString shiftedSheet(const QString &sheet, int hue, int saturation, int value)
{
    if (hue % 360 == 0 && saturation == 0 && value == 0)
        return sheet;
    QString out;
    out.reserve(sheet.size());
    qsizetype last = 0;
    for (auto it = colorPattern().globalMatch(sheet); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(sheet).mid(last, m.capturedStart() - last);
        out += shifted(QColor(m.capturedView()), hue, saturation, value).name();
        last = m.capturedEnd();
    }
    out += QStringView(sheet).mid(last);
    return out;
}

// Takes the SkinPalette rule out of the sheet and returns its entries.
QList<PaletteEntry> takePalette(QString &sheet)
{
    static const QRegularExpression rule(QStringLiteral("SkinPalette\\s*\\{([^}]*)\\}"));
    static const QRegularExpression entry(
        QStringLiteral("(disabled-)?([A-Za-z]+)\\s*:\\s*(#[0-9A-Fa-f]{6})\\s*;?"));
    const QRegularExpressionMatch m = rule.match(sheet);
    if (!m.hasMatch())
        return {};

    const QMetaEnum roles = QMetaEnum::fromType<QPalette::ColorRole>();
    QList<PaletteEntry> entries;
    for (auto it = entry.globalMatch(m.capturedView(1)); it.hasNext();) {
        const QRegularExpressionMatch e = it.next();
        QString name = e.captured(2);
        name[0] = name.at(0).toUpper();
        bool known = false;
        const int role = roles.keyToValue(name.toLatin1().constData(), &known);
        if (known)
            entries.append({QPalette::ColorRole(role), e.hasCaptured(1), QColor(e.captured(3))});
    }
    sheet.remove(m.capturedStart(), m.capturedLength());
    return entries;
}

void apply(int hue, int saturation, int value)
{
    State &s = state();
    QPalette palette = s.stylePalette;
    for (const PaletteEntry &e : std::as_const(s.palette)) {
        const QColor c = shifted(e.color, hue, saturation, value);
        if (e.disabledOnly)
            palette.setColor(QPalette::Disabled, e.role, c);
        else
            palette.setColor(e.role, c);
    }
    QApplication::setPalette(palette);
    qApp->setStyleSheet(shiftedSheet(s.sheet, hue, saturation, value));
}

} // namespace

int SkinH_AttachEx(const QString &skinFile, const QString &password)
{
    Q_UNUSED(password);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return 0;
    QFile file(skinFile);
    if (skinFile.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    QString sheet = QString::fromUtf8(file.readAll());
    if (file.error() != QFileDevice::NoError)
        return 0;

    State &s = state();
    // Once only: a new base style re-polishes every widget.
    if (!s.attached) {
        s.plainStyle = QApplication::style()->name();
        s.plainSheet = qApp->styleSheet();
        s.plainPalette = QApplication::palette();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }

    s.palette = takePalette(sheet);
    s.sheet = sheet;
    s.stylePalette = QApplication::style()->standardPalette();
    s.attached = true;
    apply(0, 0, 0);
    return 1;
}

int SkinH_AdjustHSV(int hue, int saturation, int value)
{
    if (!state().attached)
        return 0;
    apply(hue, saturation, value);
    return 1;
}

void Skin::detachForTesting()
{
    State &s = state();
    if (s.attached) {
        qApp->setStyleSheet(s.plainSheet);
        QApplication::setStyle(s.plainStyle);
        QApplication::setPalette(s.plainPalette);
    }
    s = State();
}
