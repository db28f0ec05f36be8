#include "PlayerIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

using Shape = PlayerIcons::Shape;

const QColor Ink(0x3a, 0x3a, 0x3a);
const QColor Strike(0xb0, 0x30, 0x30);

QPainterPath speaker()
{
    QPainterPath path;
    path.moveTo(1.5, 5.5);
    path.lineTo(4.5, 5.5);
    path.lineTo(8.5, 2.0);
    path.lineTo(8.5, 14.0);
    path.lineTo(4.5, 10.5);
    path.lineTo(1.5, 10.5);
    path.closeSubpath();
    return path;
}

QPen roundPen(const QColor &color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Draws on the 16 x 16 grid; the painter is already scaled to the target.
void paintShape(QPainter &p, Shape shape, bool disabled)
{
    const QColor ink = disabled ? QColor(0xa0, 0xa0, 0xa0) : Ink;
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    switch (shape) {
    case Shape::Play:
        p.drawPolygon(QPolygonF({{4.0, 2.5}, {4.0, 13.5}, {13.5, 8.0}}));
        break;
    case Shape::Pause:
        p.drawRect(QRectF(3.5, 2.5, 3.0, 11.0));
        p.drawRect(QRectF(9.5, 2.5, 3.0, 11.0));
        break;
    case Shape::Stop:
        p.drawRect(QRectF(3.0, 3.0, 10.0, 10.0));
        break;
    case Shape::Volume:
        p.drawPath(speaker());
        p.setBrush(Qt::NoBrush);
        p.setPen(roundPen(ink, 1.4));
        // Two sound waves centred on the speaker's mouth.
        p.drawArc(QRectF(4.55, 4.5, 7.0, 7.0), -46 * 16, 92 * 16);
        p.drawArc(QRectF(0.8, 1.5, 13.0, 13.0), -44 * 16, 88 * 16);
        break;
    case Shape::Muted:
        p.drawPath(speaker());
        p.setPen(roundPen(disabled ? ink : Strike, 1.6));
        p.drawLine(QPointF(10.5, 5.5), QPointF(14.5, 10.5));
        p.drawLine(QPointF(14.5, 5.5), QPointF(10.5, 10.5));
        break;
    }
}

class PaintedIconEngine : public QIconEngine
{
public:
    PaintedIconEngine(Shape off, Shape on)
        : m_off(off)
        , m_on(on)
    {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal side = qMin(rect.width(), rect.height());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 16.0, side / 16.0);
        paintShape(*painter, state == QIcon::On ? m_on : m_off, mode == QIcon::Disabled);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        // QIcon asks in device pixels: painted at the screen's own pixels,
        // not scaled up from 1x.
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, pixmap.rect(), mode, state);
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        return QSize(side, side);
    }

    QIconEngine *clone() const override { return new PaintedIconEngine(m_off, m_on); }
    QString key() const override { return QStringLiteral("sonavex-player"); }

private:
    Shape m_off;
    Shape m_on;
};

} // namespace

QIcon PlayerIcons::icon(Shape shape)
{
    return QIcon(new PaintedIconEngine(shape, shape));
}

QIcon PlayerIcons::muteIcon()
{
    return QIcon(new PaintedIconEngine(Shape::Volume, Shape::Muted));
}
