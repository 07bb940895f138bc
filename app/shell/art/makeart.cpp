// Draws the splash picture and the program icon that the shell embeds.
// Run it after changing the artwork: lh_shell_art app/shell/resources
// The title face is URW's Z003 (Debian package fonts-urw-base35); it is only
// needed here, since the pictures are committed as PNG files.

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <numbers>

using namespace Qt::StringLiterals;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTilt = 0.38; // radians the globe's axis leans towards the viewer
constexpr double kSpin = 0.35; // radians the meridians are turned

// A point on the unit sphere, turned and tilted, in view space (z > 0 faces us).
struct ViewPoint
{
    double x, y, z;
};

ViewPoint project(double latitude, double longitude)
{
    const double lon = longitude + kSpin;
    const double x = std::cos(latitude) * std::sin(lon);
    const double y = -std::sin(latitude);
    const double z = std::cos(latitude) * std::cos(lon);
    // Tilt about the horizontal axis so the north pole leans back.
    return {x, y * std::cos(kTilt) - z * std::sin(kTilt),
            y * std::sin(kTilt) + z * std::cos(kTilt)};
}

// Draws one grid line of the globe, only where it faces the viewer.
void strokeCurve(QPainter &p, QPointF centre, double radius, const std::vector<ViewPoint> &points)
{
    QPainterPath path;
    bool drawing = false;
    for (const ViewPoint &v : points) {
        const QPointF at(centre.x() + v.x * radius, centre.y() + v.y * radius);
        if (v.z > 0) {
            if (drawing)
                path.lineTo(at);
            else
                path.moveTo(at);
            drawing = true;
        } else {
            drawing = false;
        }
    }
    p.drawPath(path);
}

void drawGlobe(QPainter &p, QPointF centre, double radius, int parallels, int meridians)
{
    p.save();
    // Soft halo
    QRadialGradient halo(centre, radius * 1.45);
    halo.setColorAt(0.0, QColor(90, 170, 255, 110));
    halo.setColorAt(0.7, QColor(60, 120, 255, 40));
    halo.setColorAt(1.0, QColor(40, 80, 200, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(halo);
    p.drawEllipse(centre, radius * 1.45, radius * 1.45);

    // Ocean body, lit from the upper left
    QRadialGradient body(centre + QPointF(-radius * 0.38, -radius * 0.42), radius * 1.35);
    body.setColorAt(0.0, QColor(150, 225, 255));
    body.setColorAt(0.35, QColor(40, 140, 230));
    body.setColorAt(0.8, QColor(14, 60, 150));
    body.setColorAt(1.0, QColor(6, 28, 80));
    p.setBrush(body);
    p.drawEllipse(centre, radius, radius);

    // Grid
    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    p.setClipPath(disc);
    p.setBrush(Qt::NoBrush);
    QPen grid(QColor(200, 240, 255, 150), std::max(0.8, radius / 42.0));
    grid.setCapStyle(Qt::RoundCap);
    p.setPen(grid);
    for (int i = 1; i < parallels; ++i) {
        const double lat = -kPi / 2 + kPi * i / parallels;
        std::vector<ViewPoint> points;
        for (int k = 0; k <= 180; ++k)
            points.push_back(project(lat, 2 * kPi * k / 180));
        strokeCurve(p, centre, radius, points);
    }
    for (int i = 0; i < meridians; ++i) {
        const double lon = kPi * i / meridians;
        std::vector<ViewPoint> points;
        for (int k = 0; k <= 180; ++k)
            points.push_back(project(-kPi / 2 + kPi * k / 90, lon));
        strokeCurve(p, centre, radius, points);
    }
    p.setClipping(false);

    // Specular gloss and rim
    QRadialGradient gloss(centre + QPointF(-radius * 0.35, -radius * 0.45), radius * 0.6);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 120));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(170, 220, 255, 160), std::max(0.8, radius / 40.0)));
    p.drawEllipse(centre, radius - radius / 80.0, radius - radius / 80.0);
    p.restore();
}

// The orbit around the globe: a point on the tilted ellipse for parameter t.
QPointF orbitPoint(QPointF centre, double rx, double ry, double angle, double t)
{
    const double x = rx * std::cos(t);
    const double y = ry * std::sin(t);
    return {centre.x() + x * std::cos(angle) - y * std::sin(angle),
            centre.y() + x * std::sin(angle) + y * std::cos(angle)};
}

QPainterPath orbitArc(QPointF centre, double rx, double ry, double angle, double from, double to)
{
    QPainterPath path;
    const int steps = 120;
    for (int k = 0; k <= steps; ++k) {
        const QPointF at = orbitPoint(centre, rx, ry, angle, from + (to - from) * k / steps);
        if (k == 0)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
    return path;
}

QBrush goldBrush(QPointF top, QPointF bottom)
{
    QLinearGradient gold(top, bottom);
    gold.setColorAt(0.0, QColor(255, 246, 190));
    gold.setColorAt(0.45, QColor(246, 196, 72));
    gold.setColorAt(1.0, QColor(176, 104, 20));
    return gold;
}

// The hauling arrow: passes behind the globe, sweeps round its front and
// points up and away on the right.
void drawOrbit(QPainter &p, QPointF centre, double radius, bool front)
{
    const double rx = radius * 1.42, ry = radius * 0.42, angle = -0.42;
    const double width = std::max(1.6, radius / 9.0);
    const QBrush gold = goldBrush(centre - QPointF(0, radius), centre + QPointF(0, radius));
    p.save();
    p.setBrush(Qt::NoBrush);
    if (!front) {
        QPen back(QColor(230, 180, 70, 120), width * 0.7, Qt::SolidLine, Qt::RoundCap);
        p.setPen(back);
        p.drawPath(orbitArc(centre, rx, ry, angle, kPi * 1.05, kPi * 1.95));
        p.restore();
        return;
    }
    const double end = 0.26; // where the shaft meets the arrow head, on the right-hand side
    const QPainterPath sweep = orbitArc(centre, rx, ry, angle, kPi * 0.97, end);
    QPen shadow(QColor(0, 0, 30, 110), width * 1.6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(shadow);
    p.drawPath(sweep.translated(radius / 40.0, radius / 30.0));
    QPen pen(gold, width, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawPath(sweep);

    // Arrow head along the direction of travel (decreasing t).
    const QPointF tip = orbitPoint(centre, rx, ry, angle, end - 0.42);
    const QPointF base = orbitPoint(centre, rx, ry, angle, end + 0.02);
    QPointF dir = tip - base;
    const double len = std::hypot(dir.x(), dir.y());
    dir /= len;
    const QPointF normal(-dir.y(), dir.x());
    const double head = width * 2.6;
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(base + normal * head);
    arrow.lineTo(base + dir * (len * 0.25));
    arrow.lineTo(base - normal * head);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(120, 70, 10), std::max(0.8, width / 5.0)));
    p.setBrush(gold);
    p.drawPath(arrow);
    p.restore();
}

void drawEmblem(QPainter &p, QPointF centre, double radius, int parallels, int meridians)
{
    drawOrbit(p, centre, radius, false);
    drawGlobe(p, centre, radius, parallels, meridians);
    drawOrbit(p, centre, radius, true);
}

QString titleFamily()
{
    const QStringList families = QFontDatabase::families();
    // Families may carry their foundry, as in "Z003 [urw]".
    for (const QString &wanted : {u"Z003"_s, u"URW Chancery L"_s, u"C059"_s})
        for (const QString &family : families)
            if (family == wanted || family.startsWith(wanted + u" ["_s))
                return family;
    std::fprintf(stderr, "makeart: no ornamental face found, using a serif face\n");
    return u"serif"_s;
}

QImage drawSplash()
{
    QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient ground(0, 0, 0, 200);
    ground.setColorAt(0.0, QColor(12, 30, 86));
    ground.setColorAt(0.6, QColor(6, 18, 58));
    ground.setColorAt(1.0, QColor(3, 9, 34));
    p.fillRect(image.rect(), ground);

    // Faint stars
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / double(1 << 24);
    };
    for (int i = 0; i < 70; ++i) {
        const QPointF at(next() * 400, 26 + next() * 118);
        const int alpha = 40 + int(next() * 110);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 230, 255, alpha));
        const double r = 0.4 + next() * 0.7;
        p.drawEllipse(at, r, r);
    }

    drawEmblem(p, QPointF(72, 90), 44, 6, 6);

    // Title
    QFont title(titleFamily());
    title.setPixelSize(70);
    QPainterPath text;
    text.addText(0, 0, title, u"Linkhauler"_s);
    const QRectF bounds = text.boundingRect();
    const double scale = std::min(1.0, 242.0 / bounds.width());
    QTransform place;
    place.translate(142 - bounds.left() * scale, 100);
    place.scale(scale, scale);
    const QPainterPath placed = place.map(text);
    const QRectF box = placed.boundingRect();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 20, 140));
    p.drawPath(placed.translated(2.2, 2.6));
    p.setPen(QPen(QColor(90, 50, 6), 1.1));
    p.setBrush(goldBrush(box.topLeft(), box.bottomLeft()));
    p.drawPath(placed);

    // A fine rule above the two small lines
    QLinearGradient rule(30, 0, 370, 0);
    rule.setColorAt(0.0, QColor(230, 180, 70, 0));
    rule.setColorAt(0.5, QColor(230, 180, 70, 200));
    rule.setColorAt(1.0, QColor(230, 180, 70, 0));
    p.setPen(QPen(QBrush(rule), 1.0));
    p.drawLine(QPointF(30, 151.5), QPointF(370, 151.5));

    QFont small(u"DejaVu Sans"_s);
    small.setPixelSize(11);
    p.setFont(small);
    p.setPen(QColor(170, 190, 225));
    p.drawText(QRectF(0, 155, 400, 16), Qt::AlignHCenter | Qt::AlignVCenter,
               u"Harvests the links of whole series of web pages"_s);

    QFont link(u"DejaVu Sans"_s);
    link.setPixelSize(12);
    link.setBold(true);
    p.setFont(link);
    p.setPen(QColor(255, 214, 110));
    // Centred in the clickable area laid over it (94, 172, 209 x 19).
    p.drawText(QRectF(94, 172, 209, 19), Qt::AlignCenter, u"Visit us at www.example.com"_s);
    p.end();
    return image;
}

QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double radius = size * 0.34;
    const int detail = size < 64 ? 4 : 6;
    drawEmblem(p, QPointF(size * 0.5, size * 0.5), radius, detail, detail);
    p.end();
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"."_s;
    QDir().mkpath(folder);
    bool ok = drawSplash().save(folder + u"/splash.png"_s);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        ok = drawIcon(size).save(folder + u"/linkhauler-%1.png"_s.arg(size)) && ok;
    if (!ok) {
        std::fprintf(stderr, "makeart: could not write into %s\n", qPrintable(folder));
        return 1;
    }
    return 0;
}
