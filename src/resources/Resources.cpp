#include "Resources.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

const QColor kInk(0x45, 0x5A, 0x64);    // strokes of the line-art icons
const QColor kFill(0xEC, 0xEF, 0xF1);   // bodies, so the icons read on any background
const QColor kAccent(0x1E, 0x88, 0xE5); // glass, the one colour of the icons
const QColor kGreen(0x43, 0xA0, 0x47);
const QColor kRed(0xE5, 0x39, 0x35);
const QColor kGrey(0x90, 0xA4, 0xAE);
const QColor kAmber(0xFF, 0xB3, 0x00);

constexpr int kMinLogoPixels = 7; // smaller type is no longer legible

using DrawCell = void (*)(QPainter&, int index);

// count cells of cellWidth × cellHeight logical pixels side by side, each
// drawn clipped to its own cell.
QPixmap Render(int cellWidth, int cellHeight, int first, int count, qreal dpr, DrawCell draw)
{
    if (!(dpr > 0))
        dpr = 1;
    QImage image(qCeil(cellWidth * count * dpr), qCeil(cellHeight * dpr),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    for (int i = 0; i < count; ++i) {
        painter.save();
        painter.translate(i * cellWidth, 0);
        painter.setClipRect(QRectF(0, 0, cellWidth, cellHeight));
        draw(painter, first + i);
        painter.restore();
    }
    painter.end();
    return QPixmap::fromImage(image);
}

QPen InkPen(qreal width = 1.5, const QColor& colour = kInk)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// --- BRAND -------------------------------------------------------------

struct Maker
{
    const char* name;
    QRgb colour;
};

// Plain type in a colour of each maker's own, not their trademarked logos.
constexpr Maker kMakers[kBrandCount] = {
    {"CAM", 0x546E7A},   {"Canon", 0xC62828},   {"Nikon", 0x9E7700},     {"Sony", 0x212121},
    {"Fuji", 0x2E7D32},  {"Olympus", 0x1A3A8A}, {"Panasonic", 0x0D47A1}, {"Pentax", 0x37474F},
    {"Casio", 0x00838F}, {"Leica", 0xAD1457},   {"Ricoh", 0xD84315},     {"Samsung", 0x283593},
    {"Apple", 0x5D6D78}, {"Huawei", 0x6A1B9A},
};

QFont LogoFont(int pixelSize, bool condensed)
{
    QFont font;
    QStringList families;
    if (condensed)
        families << QStringLiteral("DejaVu Sans Condensed");
    families << QStringLiteral("DejaVu Sans") << QStringLiteral("Liberation Sans")
             << QStringLiteral("Noto Sans");
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Bold);
    font.setPixelSize(pixelSize);
    return font;
}

// Sets text in the largest bold font up to maxPixels that fits width, its
// capitals centred vertically in a cell of the given height.
void FitText(QPainter& painter, const QString& text, qreal left, qreal width, qreal height,
             int maxPixels, const QColor& colour)
{
    // The regular width first, the condensed one before going smaller.
    QFont font;
    QFontMetricsF metrics(font);
    bool fits = false;
    for (int pixels = maxPixels; !fits && pixels >= kMinLogoPixels; --pixels) {
        for (const bool condensed : {false, true}) {
            font = LogoFont(pixels, condensed);
            metrics = QFontMetricsF(font, painter.device());
            fits = metrics.horizontalAdvance(text) <= width;
            if (fits)
                break;
        }
    }
    painter.setFont(font);
    painter.setPen(colour);
    const qreal textWidth = metrics.horizontalAdvance(text);
    const qreal baseline = (height + metrics.capHeight()) / 2;
    painter.drawText(QPointF(left + (width - textWidth) / 2, qRound(baseline * 2) / 2.0), text);
}

void DrawSmallCamera(QPainter& painter, const QRectF& body, const QColor& colour)
{
    painter.setPen(InkPen(1.3, colour));
    painter.setBrush(Qt::NoBrush);
    QPainterPath outline;
    outline.addRoundedRect(body, 2, 2);
    const qreal bump = body.width() * 0.36;
    outline.addRect(QRectF(body.center().x() - bump / 2, body.top() - 2.2, bump, 2.2));
    painter.drawPath(outline.simplified());
    painter.setBrush(kAccent);
    painter.drawEllipse(body.center() + QPointF(0, 0.3), body.height() * 0.3, body.height() * 0.3);
}

void DrawBrand(QPainter& painter, int index)
{
    const Maker& maker = kMakers[index];
    const QColor colour(maker.colour);
    if (index == 0) {
        DrawSmallCamera(painter, QRectF(3.5, 8.5, 15, 10), colour);
        FitText(painter, QString::fromLatin1(maker.name), 21, 31, kBrandHeight, 13, colour);
        return;
    }
    FitText(painter, QString::fromLatin1(maker.name), 2, kBrandWidth - 4, kBrandHeight, 13, colour);
}

// The makers' colours are chosen for a light row; on the highlight of a
// selected row several fall below 3:1 (Leica, Pentax, Olympus). On a plate of
// the light row's white each keeps its contrast.
void DrawPlate(QPainter& painter, int)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(0.5, 1, kBrandWidth - 1, kBrandHeight - 2), 4, 4);
}

// --- STATUS ------------------------------------------------------------

void DrawArrowArc(QPainter& painter, const QPointF& centre, qreal radius, qreal fromDegrees,
                  qreal spanDegrees)
{
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(InkPen(2.0, kAccent));
    QPainterPath arc;
    arc.arcMoveTo(box, fromDegrees);
    arc.arcTo(box, fromDegrees, spanDegrees);
    painter.drawPath(arc);
    // An arrowhead at the arc's end, pointing along it (counter-clockwise).
    const qreal end = qDegreesToRadians(fromDegrees + spanDegrees);
    const QPointF tip = centre + QPointF(radius * qCos(end), -radius * qSin(end));
    const QPointF along(-qSin(end), -qCos(end));
    const QPointF across(qCos(end), -qSin(end));
    QPolygonF head;
    head << tip + along * 3.2 << tip + across * 3.0 << tip - across * 3.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawPolygon(head);
}

void DrawStatus(QPainter& painter, int index)
{
    const QPointF centre(11, 11);
    switch (index) {
    case 0: // idle
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xB0, 0xBE, 0xC5));
        painter.drawEllipse(centre, 4, 4);
        break;
    case 1: // syncing
        DrawArrowArc(painter, centre, 7, 20, 130);
        DrawArrowArc(painter, centre, 7, 200, 130);
        break;
    case 2: { // synced
        painter.setPen(Qt::NoPen);
        painter.setBrush(kGreen);
        painter.drawEllipse(centre, 9, 9);
        painter.setPen(InkPen(2.2, Qt::white));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(QPolygonF()
                             << QPointF(6.8, 11.4) << QPointF(9.8, 14.4) << QPointF(15.4, 8.2));
        break;
    }
    case 3: // failed
        painter.setPen(Qt::NoPen);
        painter.setBrush(kRed);
        painter.drawEllipse(centre, 9, 9);
        painter.setPen(InkPen(2.4, Qt::white));
        painter.drawLine(QPointF(11, 6.2), QPointF(11, 12.2));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(11, 15.6), 1.4, 1.4);
        break;
    default: // spare
        painter.setPen(Qt::NoPen);
        painter.setBrush(kGrey);
        painter.drawEllipse(centre, 9, 9);
        painter.setPen(InkPen(2.2, Qt::white));
        painter.drawLine(QPointF(7, 11), QPointF(15, 11));
        break;
    }
}

// --- CAM ---------------------------------------------------------------

void Lens(QPainter& painter, const QPointF& centre, qreal radius)
{
    painter.setPen(InkPen());
    painter.setBrush(kFill);
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawEllipse(centre, radius * 0.58, radius * 0.58);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawEllipse(centre + QPointF(-radius * 0.2, -radius * 0.2), radius * 0.16,
                        radius * 0.16);
}

void Outline(QPainter& painter, const QPainterPath& path)
{
    painter.setPen(InkPen());
    painter.setBrush(kFill);
    painter.drawPath(path.simplified());
}

QPainterPath RoundedRect(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A DSLR front: body with a pentaprism hump; grip adds a vertical grip.
void Dslr(QPainter& painter, const QRectF& body, qreal prismHeight, qreal lensRadius, bool grip)
{
    QPainterPath path = RoundedRect(body, 2);
    const qreal mid = body.center().x() - 0.5;
    QPolygonF prism;
    prism << QPointF(mid - 5, body.top() + 0.5) << QPointF(mid - 3, body.top() - prismHeight)
          << QPointF(mid + 3, body.top() - prismHeight) << QPointF(mid + 5, body.top() + 0.5);
    path.addPolygon(prism);
    path.closeSubpath();
    Outline(painter, path);
    painter.setPen(InkPen(1.2));
    // The hand grip on the right.
    painter.drawLine(QPointF(body.right() - 4, body.top() + 2.5),
                     QPointF(body.right() - 4, body.bottom() - (grip ? 6 : 2.5)));
    if (grip)
        painter.drawLine(QPointF(body.left() + 2.5, body.bottom() - 4),
                         QPointF(body.right() - 2.5, body.bottom() - 4));
    const qreal lensY = grip ? body.top() + (body.height() - 4) / 2 : body.center().y();
    Lens(painter, QPointF(mid - 1, lensY + 0.5), lensRadius);
}

void DrawCam(QPainter& painter, int index)
{
    switch (index) {
    case 0: { // kit lens, seen from the side
        QPainterPath barrel = RoundedRect(QRectF(4, 8, 12, 8), 1);
        barrel.addRoundedRect(QRectF(15.5, 6, 5, 12), 1.2, 1.2);
        barrel.addRect(QRectF(2.5, 9.5, 1.5, 5));
        Outline(painter, barrel);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawRect(QRectF(8.5, 8.75, 3, 6.5)); // the zoom ring
        painter.setPen(InkPen(1.2));
        painter.drawLine(QPointF(21, 8.5), QPointF(21, 15.5));
        break;
    }
    case 1: { // a camera of unknown type
        QPainterPath path = RoundedRect(QRectF(3, 8, 18, 12), 2);
        path.addRoundedRect(QRectF(8.5, 5, 7, 3.5), 1, 1);
        Outline(painter, path);
        Lens(painter, QPointF(12, 14), 4.2);
        break;
    }
    case 2: // DSLR-H: professional body with an integrated grip
        Dslr(painter, QRectF(3, 6.5, 18, 15), 3.5, 4.2, true);
        break;
    case 3: // DSLR-M
        Dslr(painter, QRectF(3, 9, 18, 11.5), 3.5, 4.3, false);
        break;
    case 4: // DSLR-E: a smaller entry body
        Dslr(painter, QRectF(4.5, 10, 15, 9.5), 2.8, 3.7, false);
        break;
    case 5: { // MILC: flat top, the viewfinder at the left edge
        QPainterPath path = RoundedRect(QRectF(3, 8.5, 18, 11), 2);
        path.addRoundedRect(QRectF(4.5, 5.5, 6, 3.5), 1, 1);
        Outline(painter, path);
        Lens(painter, QPointF(13.5, 14), 4.5);
        break;
    }
    case 6: { // COMPACT
        Outline(painter, RoundedRect(QRectF(3.5, 8, 17, 11), 2.5));
        painter.setPen(InkPen(1.2));
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(QPointF(15, 6.8), QPointF(18, 6.8)); // shutter button
        painter.setPen(Qt::NoPen);
        painter.setBrush(kInk);
        painter.drawRoundedRect(QRectF(15.5, 10, 3.2, 1.8), 0.5, 0.5); // flash
        Lens(painter, QPointF(10.5, 13.5), 3.3);
        break;
    }
    case 7: { // video camera
        Outline(painter, RoundedRect(QRectF(2.5, 7, 13.5, 10.5), 2));
        QPainterPath front;
        front.addPolygon(QPolygonF() << QPointF(16, 10.5) << QPointF(21.5, 7.5) << QPointF(21.5, 17)
                                     << QPointF(16, 14));
        front.closeSubpath();
        Outline(painter, front);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawEllipse(QPointF(6, 10.5), 1.6, 1.6);
        break;
    }
    case 8: { // lens, seen from the front
        painter.setPen(InkPen());
        painter.setBrush(kFill);
        painter.drawEllipse(QPointF(12, 12), 9, 9);
        painter.setPen(InkPen(1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(12, 12), 6.8, 6.8);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawEllipse(QPointF(12, 12), 4.8, 4.8);
        painter.setBrush(QColor(255, 255, 255, 200));
        painter.drawEllipse(QPointF(10.4, 10.4), 1.2, 1.2);
        break;
    }
    case 9: { // drone
        painter.setPen(InkPen(1.5));
        painter.drawLine(QPointF(6, 6), QPointF(18, 18));
        painter.drawLine(QPointF(18, 6), QPointF(6, 18));
        for (const QPointF& rotor :
             {QPointF(5.5, 5.5), QPointF(18.5, 5.5), QPointF(5.5, 18.5), QPointF(18.5, 18.5)}) {
            painter.setPen(InkPen(1.3));
            painter.setBrush(kFill);
            painter.drawEllipse(rotor, 3.3, 3.3);
        }
        Outline(painter, RoundedRect(QRectF(8.5, 9, 7, 6), 1.5));
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawEllipse(QPointF(12, 12), 1.7, 1.7);
        break;
    }
    case 10: { // film canister with its leader
        QPainterPath leader = RoundedRect(QRectF(12, 9.5, 9.5, 8), 0.8);
        Outline(painter, leader);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kInk);
        for (qreal x = 14; x < 21; x += 2.6) {
            painter.drawRect(QRectF(x, 10.6, 1.2, 1.2));
            painter.drawRect(QRectF(x, 15.2, 1.2, 1.2));
        }
        QPainterPath can = RoundedRect(QRectF(3, 6.5, 10, 13), 1.5);
        can.addRect(QRectF(6, 4, 4, 2.5));
        Outline(painter, can);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawRect(QRectF(4.2, 10, 7.6, 6));
        break;
    }
    case 11: { // action camera
        Outline(painter, RoundedRect(QRectF(4.5, 6.5, 15, 13), 2.5));
        painter.setPen(InkPen(1.2));
        painter.drawLine(QPointF(7, 4.8), QPointF(10, 4.8));
        Lens(painter, QPointF(12, 13), 4.6);
        break;
    }
    case 12: { // rangefinder: wide, flat, two windows
        Outline(painter, RoundedRect(QRectF(2, 8, 20, 10.5), 1.8));
        painter.setPen(InkPen(1.1));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(4, 9.8, 3.5, 2.4));
        painter.drawRect(QRectF(16.5, 9.8, 3.5, 2.4));
        painter.setPen(InkPen(1.2));
        painter.drawLine(QPointF(5, 6.5), QPointF(8, 6.5));
        Lens(painter, QPointF(12, 13.5), 3.6);
        break;
    }
    default: { // CELL: a phone with its camera
        Outline(painter, RoundedRect(QRectF(6.5, 2.5, 11, 19), 2.2));
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawEllipse(QPointF(9.8, 5.8), 1.5, 1.5);
        painter.setPen(InkPen(1.2));
        painter.drawLine(QPointF(10.5, 18.8), QPointF(13.5, 18.8));
        break;
    }
    }
}

// --- program icon and warning ---------------------------------------------

// A camera aperture: a hexagonal opening whose edges run on to the rim.
void DrawAperture(QPainter& painter, const QPointF& centre, qreal radius, qreal opening,
                  const QColor& blade, qreal lineWidth)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, radius, radius);
    QPolygonF hexagon;
    for (int i = 0; i < 6; ++i) {
        const qreal angle = qDegreesToRadians(60.0 * i - 15);
        hexagon << centre + QPointF(opening * qCos(angle), opening * qSin(angle));
    }
    painter.setBrush(blade);
    painter.drawPolygon(hexagon);
    if (lineWidth <= 0)
        return; // too small for blade edges to show
    painter.setPen(QPen(blade, lineWidth, Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < 6; ++i) {
        const QPointF from = hexagon.at(i);
        const QPointF step = hexagon.at((i + 1) % 6) - from;
        // Solve |from + t·step − centre| = radius for the far root.
        const QPointF d = from - centre;
        const qreal a = QPointF::dotProduct(step, step);
        const qreal b = 2 * QPointF::dotProduct(d, step);
        const qreal c = QPointF::dotProduct(d, d) - radius * radius;
        const qreal t = (-b + qSqrt(b * b - 4 * a * c)) / (2 * a);
        painter.drawLine(from, from + step * t);
    }
}

QImage ProgramIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.scale(size / 256.0, size / 256.0); // drawn on a 256 grid
    const bool small = size < 32;
    QLinearGradient ground(0, 8, 0, 248);
    ground.setColorAt(0, QColor(0x29, 0xB6, 0xF6));
    ground.setColorAt(1, QColor(0x15, 0x65, 0xC0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ground);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 52, 52);
    const QColor blade(0x15, 0x65, 0xC0);
    DrawAperture(painter, QPointF(118, 118), small ? 84 : 78, small ? 34 : 30, blade,
                 small ? 0 : 9);
    // The extension badge: a plus in an orange disc.
    painter.setBrush(QColor(0xFF, 0x8F, 0x00));
    painter.setPen(QPen(Qt::white, small ? 14 : 10));
    painter.drawEllipse(QPointF(190, 190), 50, 50);
    painter.setPen(QPen(Qt::white, small ? 22 : 18, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(190, 166), QPointF(190, 214));
    painter.drawLine(QPointF(166, 190), QPointF(214, 190));
    painter.end();
    return image;
}

void DrawWarning(QPainter& painter, int)
{
    QPainterPath triangle;
    triangle.moveTo(16, 4);
    triangle.lineTo(29, 27.5);
    triangle.lineTo(3, 27.5);
    triangle.closeSubpath();
    painter.setPen(QPen(kAmber, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(kAmber);
    painter.drawPath(triangle);
    const QColor mark(0x3E, 0x27, 0x23);
    painter.setPen(QPen(mark, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 11.5), QPointF(16, 19.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(mark);
    painter.drawEllipse(QPointF(16, 24), 1.8, 1.8);
}

} // namespace

QPixmap BrandStrip(qreal dpr)
{
    return Render(kBrandWidth, kBrandHeight, 0, kBrandCount, dpr, DrawBrand);
}

QPixmap BrandPlateStrip(const QPixmap& brandStrip)
{
    // The plates, with the logos already drawn laid over them rather than
    // drawn again: the logos' text is the dear part of the start-up images.
    QPixmap strip =
        Render(kBrandWidth, kBrandHeight, 0, kBrandCount, brandStrip.devicePixelRatio(), DrawPlate);
    QPainter painter(&strip);
    painter.drawPixmap(0, 0, brandStrip);
    return strip;
}

QPixmap BrandLogo(int index, qreal dpr)
{
    if (index < 0 || index >= kBrandCount)
        return {};
    return Render(kBrandWidth, kBrandHeight, index, 1, dpr, DrawBrand);
}

QPixmap StatusStrip(qreal dpr)
{
    return Render(kStatusSize, kStatusSize, 0, kStatusCount, dpr, DrawStatus);
}

QPixmap StatusImage(int index, qreal dpr)
{
    if (index < 0 || index >= kStatusCount)
        return {};
    return Render(kStatusSize, kStatusSize, index, 1, dpr, DrawStatus);
}

QPixmap CamStrip(qreal dpr)
{
    return Render(kCamSize, kCamSize, 0, kCamCount, dpr, DrawCam);
}

QPixmap CamImage(int index, qreal dpr)
{
    if (index < 0 || index >= kCamCount)
        return {};
    return Render(kCamSize, kCamSize, index, 1, dpr, DrawCam);
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (const int size : kProgramIconSizes)
        icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
    return icon;
}

QPixmap WarningImage(qreal dpr)
{
    return Render(kWarningSize, kWarningSize, 0, 1, dpr, DrawWarning);
}
