// Draws Velomar's icon — a device server: a rounded box with serial port sockets along its
// front and a network link rising from it — into PNG files of the usual sizes, an SVG file
// and a Windows .ico holding the PNGs, from one list of shapes so that all show the same
// drawing.
#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTextStream>
#include <QtEndian>
#include <utility>
#include <vector>

namespace {

struct Shape {
    enum Kind { RoundRect, Circle, Line } kind;
    double x, y, w, h, radius;  // in a 64 x 64 design grid; Line: (x,y) -> (w,h)
    QColor fill;
    QColor stroke;
    double strokeWidth;
};

std::vector<Shape> shapes() {
    const QColor body(0x1F, 0x4E, 0x79);
    const QColor face(0xE8, 0xF1, 0xF8);
    const QColor port(0x2E, 0x8B, 0x57);
    const QColor link(0xF2, 0xA9, 0x00);
    std::vector<Shape> s;
    // The link to the network: a line up to a node.
    s.push_back({Shape::Line, 32, 30, 32, 10, 0, Qt::transparent, link, 4});
    s.push_back({Shape::Circle, 32, 9, 7, 7, 0, link, body, 2});
    // The box and its front panel.
    s.push_back({Shape::RoundRect, 6, 28, 52, 28, 6, body, body, 0});
    s.push_back({Shape::RoundRect, 10, 38, 44, 13, 3, face, face, 0});
    // Four serial sockets.
    for (int i = 0; i < 4; ++i) {
        s.push_back({Shape::RoundRect, 13.0 + i * 10.5, 41, 7.5, 7, 1.5, port, port, 0});
    }
    // A status light.
    s.push_back({Shape::Circle, 50, 33, 2.2, 2.2, 0, QColor(0x7F, 0xE0, 0x7F), Qt::transparent, 0});
    return s;
}

void paint(QPainter& p, double scale) {
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    for (const Shape& s : shapes()) {
        p.setPen(s.strokeWidth > 0 ? QPen(s.stroke, s.strokeWidth, Qt::SolidLine, Qt::RoundCap)
                                   : QPen(Qt::NoPen));
        p.setBrush(s.fill);
        switch (s.kind) {
            case Shape::RoundRect:
                p.drawRoundedRect(QRectF(s.x, s.y, s.w, s.h), s.radius, s.radius);
                break;
            case Shape::Circle:
                p.drawEllipse(QPointF(s.x, s.y), s.w, s.h);
                break;
            case Shape::Line:
                p.drawLine(QPointF(s.x, s.y), QPointF(s.w, s.h));
                break;
        }
    }
}

QString svg() {
    QString out;
    QTextStream t(&out);
    auto color = [](const QColor& c) { return c.alpha() == 0 ? QStringLiteral("none") : c.name(); };
    t << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 "
         "64\">\n";
    for (const Shape& s : shapes()) {
        const QString stroke =
            s.strokeWidth > 0
                ? QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"round\"")
                      .arg(color(s.stroke))
                      .arg(s.strokeWidth)
                : QString();
        switch (s.kind) {
            case Shape::RoundRect:
                t << QStringLiteral(
                         "  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" "
                         "fill=\"%6\"%7/>\n")
                         .arg(s.x)
                         .arg(s.y)
                         .arg(s.w)
                         .arg(s.h)
                         .arg(s.radius)
                         .arg(color(s.fill), stroke);
                break;
            case Shape::Circle:
                t << QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\"%5/>\n")
                         .arg(s.x)
                         .arg(s.y)
                         .arg(s.w)
                         .arg(color(s.fill), stroke);
                break;
            case Shape::Line:
                t << QStringLiteral("  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\"%5/>\n")
                         .arg(s.x)
                         .arg(s.y)
                         .arg(s.w)
                         .arg(s.h)
                         .arg(stroke);
                break;
        }
    }
    t << "</svg>\n";
    return out;
}

// An .ico file whose images are PNG data (what Windows reads since Vista): a header, one
// directory entry per image, then the images.
QByteArray ico(const std::vector<std::pair<int, QByteArray>>& pngs) {
    QByteArray out;
    auto u16 = [&out](quint16 v) {
        const quint16 le = qToLittleEndian(v);
        out.append(reinterpret_cast<const char*>(&le), 2);
    };
    auto u32 = [&out](quint32 v) {
        const quint32 le = qToLittleEndian(v);
        out.append(reinterpret_cast<const char*>(&le), 4);
    };
    u16(0);
    u16(1);  // an icon, not a cursor
    u16(static_cast<quint16>(pngs.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(pngs.size());
    for (const auto& [size, png] : pngs) {
        out.append(static_cast<char>(size >= 256 ? 0 : size));  // 0 stands for 256
        out.append(static_cast<char>(size >= 256 ? 0 : size));
        out.append('\0');  // no palette
        out.append('\0');
        u16(1);   // planes
        u16(32);  // bits per pixel
        u32(static_cast<quint32>(png.size()));
        u32(offset);
        offset += static_cast<quint32>(png.size());
    }
    for (const auto& entry : pngs) out.append(entry.second);
    return out;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    std::vector<std::pair<int, QByteArray>> pngs;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        paint(p, size / 64.0);
        p.end();
        if (!image.save(QStringLiteral("%1/velomar-%2.png").arg(dir).arg(size))) return 1;
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        if (!image.save(&png, "PNG")) return 1;
        pngs.emplace_back(size, png.data());
    }
    QFile icon(dir + QStringLiteral("/velomar.ico"));
    if (!icon.open(QIODevice::WriteOnly | QIODevice::Truncate) || icon.write(ico(pngs)) < 0)
        return 1;
    QFile f(dir + QStringLiteral("/velomar.svg"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
    f.write(svg().toUtf8());
    return 0;
}
