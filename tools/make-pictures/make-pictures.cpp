// Draws the tool's pictures and icons and writes them under the resources
// folder given as the only argument. The outputs are committed; run this again
// only to change them. Qt reads GIF but cannot write it, and its ICO writer
// knows neither palette images nor masks, so both writers live here.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cmath>
#include <cstdio>

namespace {

void putLe16(QByteArray &out, int v)
{
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

void putLe32(QByteArray &out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// ---- GIF ------------------------------------------------------------------

class BitWriter
{
public:
    void put(int code, int width)
    {
        m_acc |= quint32(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(char(m_acc & 0xff));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes.append(char(m_acc & 0xff));
        m_acc = 0;
        m_bits = 0;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_acc = 0;
    int m_bits = 0;
};

QByteArray lzwEncode(const QByteArray &pixels, int minCodeSize)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    QHash<quint32, int> table; // (prefix code << 8 | next index) -> code
    int lastCode = endCode;
    int width = minCodeSize + 1;
    BitWriter out;
    out.put(clearCode, width);

    int prefix = uchar(pixels.at(0));
    for (int i = 1; i < pixels.size(); ++i) {
        const int k = uchar(pixels.at(i));
        const quint32 key = (quint32(prefix) << 8) | quint32(k);
        const auto found = table.constFind(key);
        if (found != table.constEnd()) {
            prefix = found.value();
            continue;
        }
        out.put(prefix, width);
        table.insert(key, ++lastCode);
        // The decoder widens its codes one entry later than it learns them,
        // so widen once the newest code no longer fits.
        if (lastCode >= (1 << width) && width < 12)
            ++width;
        if (lastCode == 4095) {
            out.put(clearCode, width);
            table.clear();
            lastCode = endCode;
            width = minCodeSize + 1;
        }
        prefix = k;
    }
    out.put(prefix, width);
    out.put(endCode, width);
    return out.finish();
}

// indices: one byte per pixel, row by row; palette: 2..256 entries, a power of two.
QByteArray encodeGif(int w, int h, const QByteArray &indices, const QList<QRgb> &palette)
{
    int bits = 1;
    while ((1 << bits) < palette.size())
        ++bits;
    QByteArray gif("GIF89a");
    putLe16(gif, w);
    putLe16(gif, h);
    gif.append(char(0x80 | ((bits - 1) << 4) | (bits - 1))); // global table, its size
    gif.append(char(0));                                     // background index
    gif.append(char(0));                                     // square pixels
    for (int i = 0; i < (1 << bits); ++i) {
        const QRgb c = i < palette.size() ? palette.at(i) : qRgb(0, 0, 0);
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    gif.append(char(0x2c));
    putLe16(gif, 0);
    putLe16(gif, 0);
    putLe16(gif, w);
    putLe16(gif, h);
    gif.append(char(0)); // no local table, not interlaced

    const int minCodeSize = qMax(2, bits);
    gif.append(char(minCodeSize));
    const QByteArray data = lzwEncode(indices, minCodeSize);
    for (int pos = 0; pos < data.size(); pos += 255) {
        const QByteArray block = data.mid(pos, 255);
        gif.append(char(block.size()));
        gif.append(block);
    }
    gif.append(char(0));
    gif.append(char(0x3b));
    return gif;
}

// ---- ICO ------------------------------------------------------------------

// The classic 16-colour palette old icon images are drawn in.
const QList<QRgb> &vgaPalette()
{
    static const QList<QRgb> palette = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return palette;
}

// A device-independent bitmap entry: header, palette, colour rows and the
// transparency mask, both bottom-up.
QByteArray dibEntry(const QImage &argb, int bitCount)
{
    const int w = argb.width();
    const int h = argb.height();

    // Palette images have no alpha: soften the edge against a light grey.
    QImage flat(w, h, QImage::Format_RGB32);
    flat.fill(QColor(192, 192, 192));
    {
        QPainter p(&flat);
        p.drawImage(0, 0, argb);
    }
    QImage indexed;
    QList<QRgb> palette;
    if (bitCount == 4) {
        indexed = flat.convertToFormat(QImage::Format_Indexed8, vgaPalette(),
                                       Qt::ThresholdDither | Qt::AvoidDither);
        palette = vgaPalette();
    } else if (bitCount == 8) {
        indexed = flat.convertToFormat(QImage::Format_Indexed8, Qt::OrderedDither);
        palette = indexed.colorTable();
        while (palette.size() < 256)
            palette.append(qRgb(0, 0, 0));
    }

    const int rowBytes = ((w * bitCount + 31) / 32) * 4;
    const int maskBytes = ((w + 31) / 32) * 4;
    QByteArray out;
    putLe32(out, 40);
    putLe32(out, quint32(w));
    putLe32(out, quint32(2 * h)); // colour rows and mask rows together
    putLe16(out, 1);
    putLe16(out, bitCount);
    putLe32(out, 0);
    putLe32(out, quint32((rowBytes + maskBytes) * h));
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, quint32(palette.size()));
    putLe32(out, 0);
    for (QRgb c : palette) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }

    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < w; ++x) {
            if (bitCount == 32) {
                const QRgb c = argb.pixel(x, y); // not premultiplied
                row[4 * x] = char(qBlue(c));
                row[4 * x + 1] = char(qGreen(c));
                row[4 * x + 2] = char(qRed(c));
                row[4 * x + 3] = char(qAlpha(c));
            } else {
                const int index = qAlpha(argb.pixel(x, y)) < 128 ? 0 : indexed.pixelIndex(x, y);
                if (bitCount == 8)
                    row[x] = char(index);
                else
                    row[x / 2] = char(uchar(row.at(x / 2)) | (x % 2 ? index : index << 4));
            }
        }
        out.append(row);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskBytes, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(argb.pixel(x, y)) < 128)
                row[x / 8] = char(uchar(row.at(x / 8)) | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

QByteArray encodeIco(const QList<QImage> &sizes, const QList<int> &bitCounts)
{
    QList<QPair<QImage, int>> entries;
    for (const QImage &image : sizes) {
        for (int bits : bitCounts)
            entries.append({image, bits});
    }
    QList<QByteArray> bodies;
    for (const auto &entry : entries)
        bodies.append(dibEntry(entry.first, entry.second));

    QByteArray ico;
    putLe16(ico, 0);
    putLe16(ico, 1); // icon, not cursor
    putLe16(ico, int(entries.size()));
    quint32 offset = quint32(6 + 16 * entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const QImage &image = entries.at(i).first;
        const int bits = entries.at(i).second;
        ico.append(char(image.width()));
        ico.append(char(image.height()));
        ico.append(char(bits == 4 ? 16 : 0));
        ico.append(char(0));
        putLe16(ico, 1);
        putLe16(ico, bits);
        putLe32(ico, quint32(bodies.at(i).size()));
        putLe32(ico, offset);
        offset += quint32(bodies.at(i).size());
    }
    for (const QByteArray &body : bodies)
        ico.append(body);
    return ico;
}

// ---- Drawings --------------------------------------------------------------

QRgb mix(QRgb a, QRgb b, double t)
{
    auto m = [t](int x, int y) {
        return int(std::lround(x + (y - x) * t));
    };
    return qRgb(m(qRed(a), qRed(b)), m(qGreen(a), qGreen(b)), m(qBlue(a), qBlue(b)));
}

// A generic user picture: a head and shoulders, two colours and the shades
// between them, so sixteen palette entries hold it without dithering.
bool writeDefaultPicture(const QString &path)
{
    const int size = 90;
    const QRgb background = qRgb(0xe4, 0xe8, 0xec);
    const QRgb figure = qRgb(0xa7, 0xb1, 0xbc);

    QImage drawn(size, size, QImage::Format_RGB32);
    drawn.fill(background);
    {
        QPainter p(&drawn);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(figure));
        p.drawEllipse(QPointF(45, 35), 16.5, 17.5);
        QPainterPath shoulders;
        shoulders.moveTo(9, 90);
        shoulders.cubicTo(9, 68, 24, 58, 45, 58);
        shoulders.cubicTo(66, 58, 81, 68, 81, 90);
        shoulders.closeSubpath();
        p.drawPath(shoulders);
    }

    QList<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.append(mix(background, figure, i / 15.0));
    QByteArray indices;
    indices.reserve(size * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double t = double(qRed(background) - qRed(drawn.pixel(x, y))) /
                             (qRed(background) - qRed(figure));
            indices.append(char(qBound(0, int(std::lround(t * 15)), 15)));
        }
    }
    const QByteArray gif = encodeGif(size, size, indices, palette);

    // Read it back: a wrong code width shows up here, not in the tool.
    QBuffer buffer;
    buffer.setData(gif);
    QImage check;
    if (!check.load(&buffer, "GIF") || check.size() != QSize(size, size)) {
        std::fprintf(stderr, "the GIF does not read back\n");
        return false;
    }
    for (int i = 0; i < size * size; ++i) {
        if (check.pixel(i % size, i / size) != (palette.at(uchar(indices.at(i))) | 0xff000000)) {
            std::fprintf(stderr, "the GIF reads back different at pixel %d\n", i);
            return false;
        }
    }
    return writeFile(path, gif);
}

// Cream outside a circle, clear inside, a white ring on the edge; coverage
// by supersampling so both edges of the ring are smooth.
bool writeFrame(const QString &path)
{
    const int size = 180;
    const double centre = size / 2.0;
    const double inner = 83.0;
    const double outer = 87.5;
    const int samples = 8;
    const QRgb cream = qRgb(248, 245, 238);
    const QRgb white = qRgb(255, 255, 255);

    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int ring = 0;
            int outside = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double dx = x + (sx + 0.5) / samples - centre;
                    const double dy = y + (sy + 0.5) / samples - centre;
                    const double d = std::sqrt(dx * dx + dy * dy);
                    if (d >= outer)
                        ++outside;
                    else if (d >= inner)
                        ++ring;
                }
            }
            const int covered = ring + outside;
            if (covered == 0) {
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
                continue;
            }
            const QRgb c = mix(white, cream, double(outside) / covered);
            const int alpha = int(std::lround(255.0 * covered / (samples * samples)));
            image.setPixel(x, y, qRgba(qRed(c), qGreen(c), qBlue(c), alpha));
        }
    }
    return image.save(path, "PNG");
}

// A white microphone on a round blue-green badge, drawn on a 48-unit grid.
QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);

    QLinearGradient badge(0, 0, 0, 48);
    badge.setColorAt(0, QColor(0x3a, 0xb0, 0xc8));
    badge.setColorAt(1, QColor(0x1d, 0x74, 0x94));
    p.setPen(QPen(QColor(0x16, 0x5e, 0x78), 48.0 / size));
    p.setBrush(badge);
    const double edge = 24 - 24.0 / size;
    p.drawEllipse(QPointF(24, 24), edge, edge);

    // Thin strokes vanish at 16 pixels: there the shapes sit on whole pixels.
    const bool tiny = size <= 16;
    const double stroke = tiny ? 3.0 : qMax(3.2, 48.0 / size * 1.2);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    if (tiny)
        p.drawRoundedRect(QRectF(18, 6, 12, 21), 6, 6);
    else
        p.drawRoundedRect(QRectF(18.5, 8, 11, 20), 5.5, 5.5);
    QPen pen(Qt::white, stroke, Qt::SolidLine, tiny ? Qt::FlatCap : Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (tiny) {
        p.drawArc(QRectF(13.5, 13.5, 21, 21), 180 * 16, 180 * 16);
        p.drawLine(QPointF(24, 34.5), QPointF(24, 39));
        p.drawLine(QPointF(16.5, 40.5), QPointF(31.5, 40.5));
    } else {
        p.drawArc(QRectF(13, 12, 22, 22), 200 * 16, 140 * 16);
        p.drawLine(QPointF(24, 34), QPointF(24, 38.5));
        p.drawLine(QPointF(18, 38.5), QPointF(30, 38.5));
    }
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The large drawing of drawIcon as SVG, for desktops that scale icons freely.
QByteArray iconSvg()
{
    // The arc of drawIcon: centre (24, 23), radius 11, from 200 to 340 degrees
    // counter-clockwise, so through the bottom.
    const double pi = std::acos(-1.0);
    const auto at = [pi](double degrees, bool wantX) {
        const double a = degrees * pi / 180;
        return wantX ? 24 + 11 * std::cos(a) : 23 - 11 * std::sin(a);
    };
    QString svg;
    QTextStream out(&svg);
    out.setRealNumberPrecision(5);
    out << R"(<?xml version="1.0" encoding="UTF-8"?>)" << '\n'
        << R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">)"
        << '\n'
        << R"(  <defs><linearGradient id="badge" x1="0" y1="0" x2="0" y2="48" )"
        << R"(gradientUnits="userSpaceOnUse"><stop offset="0" stop-color="#3ab0c8"/>)"
        << R"(<stop offset="1" stop-color="#1d7494"/></linearGradient></defs>)" << '\n'
        << R"svg(  <circle cx="24" cy="24" r="23.5" fill="url(#badge)" stroke="#165e78" )svg"
        << R"(stroke-width="1"/>)" << '\n'
        << R"(  <rect x="18.5" y="8" width="11" height="20" rx="5.5" ry="5.5" fill="#fff"/>)"
        << '\n'
        << R"(  <g fill="none" stroke="#fff" stroke-width="3.2" stroke-linecap="round">)" << '\n'
        << "    <path d=\"M" << at(200, true) << ' ' << at(200, false) << " A11 11 0 0 0 "
        << at(340, true) << ' ' << at(340, false) << "\"/>\n"
        << R"(    <path d="M24 34V38.5M18 38.5H30"/>)" << '\n'
        << "  </g>\n</svg>\n";
    out.flush();
    return svg.toUtf8();
}

// Mean difference per channel of two drawings of the same size, 0..255.
double meanDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * a.width() * a.height());
}

bool writeIcons(const QString &root)
{
    QList<QImage> images;
    for (int size : {256, 128, 64, 48, 32, 16}) {
        const QImage icon = drawIcon(size);
        if (!icon.save(root + QStringLiteral("/icons/sonavex-%1.png").arg(size), "PNG"))
            return false;
        if (size <= 48)
            images.append(icon);
    }

    const QString svgPath = root + QStringLiteral("/icons/sonavex.svg");
    if (!writeFile(svgPath, iconSvg()))
        return false;
    // Drawn twice, the two must agree; without Qt's SVG plugin there is nothing to compare.
    QImageReader svgReader(svgPath, "svg");
    if (svgReader.canRead()) {
        svgReader.setScaledSize(QSize(128, 128));
        const QImage fromSvg = svgReader.read().convertToFormat(QImage::Format_ARGB32);
        const double difference = meanDifference(fromSvg, drawIcon(128));
        if (difference > 4) {
            std::fprintf(stderr, "the SVG differs from the PNG by %.1f per channel\n", difference);
            return false;
        }
    } else {
        std::fprintf(stderr, "no SVG reader: the SVG is not compared\n");
    }
    const QString icoPath = root + QStringLiteral("/windows/sonavex.ico");
    if (!writeFile(icoPath, encodeIco(images, {4, 8, 32})))
        return false;

    QImageReader reader(icoPath, "ICO");
    if (reader.imageCount() != 9) {
        std::fprintf(stderr, "the ICO reads back with %d images\n", reader.imageCount());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-pictures RESOURCES-FOLDER\n");
        return 2;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    for (const char *sub : {"pictures", "icons", "windows"})
        QDir(root).mkpath(QLatin1String(sub));

    const bool ok = writeDefaultPicture(root + QStringLiteral("/pictures/default.gif")) &&
                    writeFrame(root + QStringLiteral("/pictures/frame.png")) && writeIcons(root);
    return ok ? 0 : 1;
}
