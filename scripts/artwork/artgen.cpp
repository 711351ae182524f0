// Draws every stored picture of the program, the default skin and the icons.
// Usage: artgen <project root>
// The output is a pure function of this code and the DejaVu fonts, so two
// runs give byte-identical files.

#include "IconFile.h"
#include "ButtonImageSet.h"
#include "SkinFolders.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

constexpr QSize kCanvas{375, 188};
constexpr QSize kButton{50, 48};
constexpr QPoint kPlayPos{60, 83};
constexpr QPoint kPausePos{121, 92};
constexpr QPoint kStopPos{180, 94};
constexpr QPoint kChannel1Pos{304, 69};
constexpr QPoint kChannel2Pos{304, 118};
// The channel buttons stand on the sphere, one on each half.
constexpr QPointF kSphereCentre{329, 117.5};
constexpr qreal kSphereRadius = 61;

enum class Glyph { Play, Pause, Stop };
enum class Look { Normal, Hover, Pressed, Disabled };

// Everything is drawn in the window's units; `scale` pixels stand for one of
// them, so one drawing gives both the plain and the double-size pictures.
QImage blank(QSizeF size, int scale = 1)
{
    QImage img((size * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(scale);
    img.fill(Qt::transparent);
    return img;
}

int scaleOf(const QPaintDevice *device)
{
    return qRound(device->devicePixelRatio());
}

// A blank canvas the size of the one the painter draws on.
QImage blankLike(const QPainter &p)
{
    const int scale = scaleOf(p.device());
    return blank(QSizeF(p.device()->width(), p.device()->height()) / scale, scale);
}

void smooth(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
}

// Three box-blur passes each way: close enough to a Gaussian for shadows.
// Works on the premultiplied words, so colours don't darken at the edges.
QImage blurred(QImage img, int radius)
{
    img = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = img.width(), h = img.height();
    auto at = [&img](int x, int y) -> QRgb & { return reinterpret_cast<QRgb *>(img.scanLine(y))[x]; };
    auto pass = [&](bool horizontal) {
        const int len = horizontal ? w : h, lines = horizontal ? h : w;
        QList<QRgb> src(len);
        for (int l = 0; l < lines; ++l) {
            for (int i = 0; i < len; ++i)
                src[i] = horizontal ? at(i, l) : at(l, i);
            for (int i = 0; i < len; ++i) {
                int sum[4] = {0, 0, 0, 0}, n = 0;
                for (int k = qMax(0, i - radius); k <= qMin(len - 1, i + radius); ++k, ++n) {
                    sum[0] += qAlpha(src[k]); sum[1] += qRed(src[k]);
                    sum[2] += qGreen(src[k]); sum[3] += qBlue(src[k]);
                }
                (horizontal ? at(i, l) : at(l, i)) = qRgba(sum[1] / n, sum[2] / n, sum[3] / n, sum[0] / n);
            }
        }
    };
    for (int i = 0; i < 3; ++i) {
        pass(true);
        pass(false);
    }
    return img;
}

void softShadow(QPainter &p, const QPainterPath &shape, QPointF offset, int blur, QColor colour)
{
    QImage layer = blankLike(p);
    {
        QPainter lp(&layer);
        smooth(lp);
        lp.setBrush(colour);
        lp.drawPath(shape.translated(offset));
    }
    p.drawImage(0, 0, blurred(layer, blur * scaleOf(&layer)));
}

// A halo around a shape, for the hover look.
void glow(QPainter &p, const QPainterPath &shape, QColor colour)
{
    QImage layer = blankLike(p);
    {
        QPainter lp(&layer);
        smooth(lp);
        lp.setPen(QPen(colour, 5));
        lp.drawPath(shape);
    }
    p.drawImage(0, 0, blurred(layer, 2 * scaleOf(&layer)));
    p.drawImage(0, 0, blurred(layer, scaleOf(&layer)));
}

QPainterPath circle(QPointF c, qreal r)
{
    QPainterPath path;
    path.addEllipse(c, r, r);
    return path;
}

QPainterPath textPath(const QString &text)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(200);
    QPainterPath path;
    path.addText(0, 0, font, text);
    return path;
}

// Scales a path to fit a box, keeping its proportions, centred.
QPainterPath fitted(const QPainterPath &path, const QRectF &box)
{
    const QRectF b = path.boundingRect();
    const qreal s = qMin(box.width() / b.width(), box.height() / b.height());
    QTransform t;
    t.translate(box.center().x(), box.center().y());
    t.scale(s, s);
    t.translate(-b.center().x(), -b.center().y());
    return t.map(path);
}

// Washed out and greyish: the look of a transport button that can't be used.
void fade(QImage &img)
{
    img = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = line[x];
            const int grey = qGray(c);
            auto wash = [grey](int v) { return (((v + 3 * grey) / 4) + 215) / 2; };
            line[x] = qRgba(wash(qRed(c)), wash(qGreen(c)), wash(qBlue(c)), qAlpha(c));
        }
    }
    img = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// ---------------------------------------------------------------- background

QPainterPath sweep(QPointF top0, QPointF top1, QPointF top2, QPointF tip,
                   QPointF bottom1, QPointF bottom2, QPointF bottom0)
{
    QPainterPath path(top0);
    path.cubicTo(top1, top2, tip);
    path.cubicTo(bottom1, bottom2, bottom0);
    path.closeSubpath();
    return path;
}

void drawSky(QPainter &p)
{
    QLinearGradient sky(0, 0, 0, kCanvas.height());
    sky.setColorAt(0, QColor(190, 222, 246));
    sky.setColorAt(1, QColor(236, 246, 253));
    p.fillRect(QRect(QPoint(), kCanvas), sky);
    // A pale wave along the bottom keeps the lower area from looking flat.
    QPainterPath wave(QPointF(0, 160));
    wave.cubicTo(90, 176, 200, 150, 300, 188);
    wave.lineTo(0, 188);
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawPath(wave);
    // Fine light streaks, the usual finish of a glossy panel.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        QPainterPath streak(QPointF(0, 150 + 11 * i));
        streak.cubicTo(110, 205 - 4 * i, 220, 150 + 6 * i, 375, 170 - 18 * i);
        p.setPen(QPen(QColor(255, 255, 255, 170 - 40 * i), 1.2));
        p.drawPath(streak);
    }
    QPainterPath streak(QPointF(0, 30));
    streak.cubicTo(120, 16, 250, 50, 375, 36);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.2));
    p.drawPath(streak);
    p.setPen(Qt::NoPen);
}

void drawBlueSweep(QPainter &p)
{
    const QPainterPath path = sweep({0, 20}, {90, 22}, {210, 30}, {330, 54},
                                    {230, 55}, {110, 64}, {0, 80});
    softShadow(p, path, {2, 4}, 3, QColor(10, 30, 80, 110));
    QLinearGradient fill(0, 20, 0, 80);
    fill.setColorAt(0, QColor(52, 96, 196));
    fill.setColorAt(0.5, QColor(16, 40, 120));
    fill.setColorAt(1, QColor(6, 18, 70));
    p.setBrush(fill);
    p.drawPath(path);
    // Gloss on the upper edge.
    QLinearGradient gloss(0, 20, 0, 48);
    gloss.setColorAt(0, QColor(255, 255, 255, 130));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawPath(path.intersected(sweep({0, 22}, {90, 24}, {210, 32}, {320, 54},
                                      {220, 42}, {110, 40}, {0, 46})));
}

void drawYellowSweep(QPainter &p)
{
    const QPainterPath path = sweep({0, 66}, {110, 66}, {220, 74}, {300, 112},
                                    {230, 170}, {110, 166}, {0, 178});
    softShadow(p, path, {1, 5}, 4, QColor(120, 60, 0, 120));
    QLinearGradient fill(0, 0, 120, 0);
    fill.setColorAt(0, QColor(236, 104, 16));
    fill.setColorAt(0.45, QColor(250, 176, 28));
    fill.setColorAt(1, QColor(255, 214, 52));
    p.setBrush(fill);
    p.drawPath(path);
    // Light from above, shade towards the lower edge.
    QLinearGradient shade(0, 66, 0, 178);
    shade.setColorAt(0, QColor(255, 255, 220, 150));
    shade.setColorAt(0.22, QColor(255, 255, 220, 0));
    shade.setColorAt(0.75, QColor(160, 70, 0, 0));
    shade.setColorAt(1, QColor(160, 70, 0, 90));
    p.setBrush(shade);
    p.drawPath(path);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1.5));
    QPainterPath edge(QPointF(0, 67));
    edge.cubicTo(110, 67, 220, 75, 298, 112);
    p.drawPath(edge);
    p.setPen(Qt::NoPen);
}

void drawMagentaBand(QPainter &p)
{
    QPainterPath band(QPointF(0, 0));
    band.lineTo(375, 0);
    band.lineTo(375, 14);
    band.cubicTo(280, 30, 140, 6, 0, 22);
    band.closeSubpath();
    softShadow(p, band, {0, 3}, 3, QColor(90, 0, 60, 120));
    QLinearGradient fill(0, 0, 0, 26);
    fill.setColorAt(0, QColor(240, 70, 170));
    fill.setColorAt(1, QColor(150, 8, 100));
    p.setBrush(fill);
    p.drawPath(band);
    QLinearGradient gloss(0, 0, 0, 10);
    gloss.setColorAt(0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 10));
    p.setBrush(gloss);
    p.drawRect(QRectF(0, 0, 375, 9));
}

void drawSphere(QPainter &p)
{
    const QPointF c = kSphereCentre;
    const qreal r = kSphereRadius;
    const QPainterPath ball = circle(c, r);
    softShadow(p, ball, {-7, 7}, 5, QColor(20, 40, 90, 120));

    auto half = [&](bool upper, QColor light, QColor mid, QColor dark) {
        p.save();
        p.setClipRect(QRectF(c.x() - r, upper ? c.y() - r : c.y(), 2 * r, r));
        QRadialGradient g(c + QPointF(-r * 0.3, -r * 0.35), r * 1.35, c + QPointF(-r * 0.4, -r * 0.5));
        g.setColorAt(0, light);
        g.setColorAt(0.55, mid);
        g.setColorAt(1, dark);
        p.setBrush(g);
        p.drawPath(ball);
        p.restore();
    };
    half(true, QColor(170, 215, 255), QColor(40, 110, 220), QColor(8, 30, 100));
    half(false, QColor(255, 210, 232), QColor(232, 80, 150), QColor(120, 10, 70));

    // Bright seam along the equator, then light bouncing up from below.
    p.setBrush(QColor(255, 255, 255, 160));
    p.drawRect(QRectF(c.x() - r, c.y() - 0.8, 2 * r, 1.6).intersected(ball.boundingRect()));
    QRadialGradient rim(c + QPointF(0, r * 0.9), r * 0.6);
    rim.setColorAt(0, QColor(255, 255, 255, 90));
    rim.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(rim);
    p.drawPath(ball);

    QLinearGradient shine(0, c.y() - r * 0.95, 0, c.y() - r * 0.3);
    shine.setColorAt(0, QColor(255, 255, 255, 210));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawEllipse(QRectF(c.x() - r * 0.75, c.y() - r * 0.95, r * 1.3, r * 0.7));
    p.setPen(QPen(QColor(20, 30, 80, 140), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ball);
    p.setPen(Qt::NoPen);
}

QImage drawBackground(int scale)
{
    QImage img = blank(kCanvas, scale);
    QPainter p(&img);
    smooth(p);
    drawSky(p);
    drawBlueSweep(p);
    drawYellowSweep(p);
    drawMagentaBand(p);
    drawSphere(p);
    return img;
}

// ------------------------------------------------------------------- buttons

QPainterPath glyphPath(Glyph glyph, QPointF c)
{
    QPainterPath path;
    switch (glyph) {
    case Glyph::Play:
        path.moveTo(c + QPointF(-5, -8.5));
        path.lineTo(c + QPointF(9.5, 0));
        path.lineTo(c + QPointF(-5, 8.5));
        path.closeSubpath();
        break;
    case Glyph::Pause:
        path.addRoundedRect(QRectF(c.x() - 7, c.y() - 8, 5, 16), 1, 1);
        path.addRoundedRect(QRectF(c.x() + 2, c.y() - 8, 5, 16), 1, 1);
        break;
    case Glyph::Stop:
        path.addRoundedRect(QRectF(c.x() - 7, c.y() - 7, 14, 14), 1.5, 1.5);
        break;
    }
    return path;
}

QColor adjust(QColor colour, Look look)
{
    if (look == Look::Hover)
        return colour.lighter(125);
    if (look == Look::Pressed)
        return colour.darker(135);
    return colour;
}

QPointF pressShift(Look look)
{
    return look == Look::Pressed ? QPointF(1.5, 1.5) : QPointF();
}

// Dark towards the edge, as if the button were pushed into the panel.
void insetShadow(QPainter &p, const QPainterPath &shape, QPointF lightFrom)
{
    p.save();
    p.setClipPath(shape);
    const QRectF b = shape.boundingRect();
    QRadialGradient g(b.center() + lightFrom, qMax(b.width(), b.height()) * 0.62);
    g.setColorAt(0.6, QColor(0, 0, 0, 0));
    g.setColorAt(1, QColor(0, 0, 0, 150));
    p.setBrush(g);
    p.drawPath(shape);
    p.restore();
}

void glyph(QPainter &p, const QPainterPath &shape, QColor shadow)
{
    p.setBrush(shadow);
    p.drawPath(shape.translated(0.8, 1.2));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(shape);
}

// A round glass button standing on the given ground.
QImage transportButton(const QImage &ground, Glyph g, Look look)
{
    QImage layer = blank(kButton, scaleOf(&ground));
    QPainter p(&layer);
    smooth(p);
    const QPointF c = QPointF(25, 23.5) + pressShift(look);
    const qreal r = 19;
    if (look == Look::Hover)
        glow(p, circle(c, r + 1.5), QColor(255, 255, 255, 230));
    softShadow(p, circle(c, r), look == Look::Pressed ? QPointF(0.3, 0.5) : QPointF(1.2, 2.2), 2,
               QColor(110, 50, 0, 150));

    QLinearGradient rim(0, c.y() - r, 0, c.y() + r);
    rim.setColorAt(0, adjust(QColor(250, 250, 250), look));
    rim.setColorAt(1, adjust(QColor(110, 118, 132), look));
    p.setBrush(rim);
    p.drawPath(circle(c, r));

    const qreal ri = r - 2.5;
    QRadialGradient body(c + QPointF(0, ri * 0.75), ri * 1.5);
    body.setColorAt(0, adjust(QColor(110, 190, 255), look));
    body.setColorAt(0.55, adjust(QColor(30, 96, 210), look));
    body.setColorAt(1, adjust(QColor(8, 34, 110), look));
    p.setBrush(body);
    p.drawPath(circle(c, ri));
    if (look == Look::Pressed)
        insetShadow(p, circle(c, ri), {1.5, 2.5});

    glyph(p, glyphPath(g, c), QColor(5, 20, 70, 200));

    QLinearGradient shine(0, c.y() - ri, 0, c.y());
    shine.setColorAt(0, QColor(255, 255, 255, look == Look::Pressed ? 90 : 200));
    shine.setColorAt(1, QColor(255, 255, 255, 15));
    p.setBrush(shine);
    p.drawEllipse(QRectF(c.x() - ri * 0.78, c.y() - ri * 0.96, ri * 1.56, ri * 0.95));
    p.end();

    if (look == Look::Disabled)
        fade(layer);
    QImage out = ground.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter(&out).drawImage(0, 0, layer);
    return out;
}

QPainterPath ejectSign(QPointF at)
{
    QPainterPath path;
    path.moveTo(at + QPointF(0, 11));
    path.lineTo(at + QPointF(8.5, 0));
    path.lineTo(at + QPointF(17, 11));
    path.closeSubpath();
    path.addRoundedRect(QRectF(at + QPointF(0, 14), QSizeF(17, 4)), 1, 1);
    return path;
}

// A rounded glossy tile with an eject sign and the channel's digit.
QImage channelTile(const QImage &ground, int channel, Look look)
{
    const QColor base = channel == 1 ? QColor(36, 104, 222) : QColor(232, 78, 150);
    QImage layer = blank(kButton, scaleOf(&ground));
    QPainter p(&layer);
    smooth(p);
    const QRectF box = QRectF(4, 4, 41, 39).translated(pressShift(look));
    QPainterPath tile;
    tile.addRoundedRect(box, 9, 9);
    if (look == Look::Hover)
        glow(p, tile, QColor(255, 255, 255, 235));
    softShadow(p, tile, look == Look::Pressed ? QPointF(0.3, 0.5) : QPointF(1.5, 2.5), 2,
               QColor(0, 0, 40, 150));

    p.setBrush(adjust(base.darker(190), look));
    p.drawPath(tile);
    QPainterPath face;
    face.addRoundedRect(box.adjusted(1.2, 1.2, -1.2, -1.2), 8, 8);
    QLinearGradient fill(0, box.top(), 0, box.bottom());
    fill.setColorAt(0, adjust(base.lighter(150), look));
    fill.setColorAt(0.5, adjust(base, look));
    fill.setColorAt(1, adjust(base.darker(140), look));
    p.setBrush(fill);
    p.drawPath(face);
    if (look == Look::Pressed)
        insetShadow(p, face, {2, 3});

    const QColor ink = base.darker(260);
    glyph(p, ejectSign(box.topLeft() + QPointF(4.5, 9.5)), ink);
    glyph(p, fitted(textPath(QString::number(channel)), QRectF(box.left() + 25, box.top() + 9, 11, 21)), ink);

    QPainterPath gloss;
    gloss.addRoundedRect(QRectF(box.left() + 3, box.top() + 2.5, box.width() - 6, box.height() * 0.42), 6, 6);
    QLinearGradient shine(0, box.top(), 0, box.top() + box.height() * 0.45);
    shine.setColorAt(0, QColor(255, 255, 255, look == Look::Pressed ? 70 : 160));
    shine.setColorAt(1, QColor(255, 255, 255, 10));
    p.setBrush(shine);
    p.drawPath(gloss);
    p.end();

    QImage out = ground.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter(&out).drawImage(0, 0, layer);
    return out;
}

// ------------------------------------------------------------ logo and icons

// The green 2 with a red plus at its upper left, filling the box. The flat
// style uses only colours of the 16-colour palette, so the 4-bit icon keeps
// clean shapes instead of grey blotches.
void drawEmblem(QPainter &p, const QRectF &box, bool flat = false)
{
    const qreal s = box.width();
    // At the smallest sizes the plus needs room of its own to stay readable.
    const bool tiny = s < 24;
    const qreal left = tiny ? 0.3 : 0.2;
    const QPainterPath two = fitted(textPath(QStringLiteral("2")),
                                    QRectF(box.left() + s * left, box.top() + s * 0.03, s * (0.98 - left), s * 0.94));
    const qreal line = qMax(1.0, s / 36);
    QLinearGradient green(0, box.top(), 0, box.bottom());
    green.setColorAt(0, flat ? QColor(0, 128, 0) : QColor(150, 236, 90));
    green.setColorAt(0.5, flat ? QColor(0, 128, 0) : QColor(46, 170, 40));
    green.setColorAt(1, flat ? QColor(0, 128, 0) : QColor(16, 110, 24));
    p.setPen(QPen(flat ? QColor(0, 0, 0) : QColor(8, 70, 16), line));
    p.setBrush(green);
    p.drawPath(two);
    p.setPen(Qt::NoPen);
    if (!flat) {
        p.save();
        p.setClipPath(two);
        QLinearGradient shine(0, box.top(), 0, box.top() + s * 0.42);
        shine.setColorAt(0, QColor(255, 255, 255, 110));
        shine.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(shine);
        p.drawEllipse(QRectF(box.left() + s * 0.1, box.top() - s * 0.2, s * 0.95, s * 0.6));
        p.restore();
    }

    QPainterPath plus;
    const QPointF c = box.topLeft() + (tiny ? QPointF(s * 0.2, s * 0.22) : QPointF(s * 0.17, s * 0.2));
    const qreal arm = s * (tiny ? 0.2 : 0.16), half = s * (tiny ? 0.08 : 0.065);
    plus.addRect(QRectF(c.x() - arm, c.y() - half, 2 * arm, 2 * half));
    plus.addRect(QRectF(c.x() - half, c.y() - arm, 2 * half, 2 * arm));
    plus = plus.simplified();
    QLinearGradient red(0, c.y() - arm, 0, c.y() + arm);
    red.setColorAt(0, flat ? QColor(255, 0, 0) : QColor(255, 110, 100));
    red.setColorAt(1, flat ? QColor(255, 0, 0) : QColor(200, 10, 10));
    p.setPen(QPen(QColor(128, 0, 0), line * 0.8));
    p.setBrush(red);
    p.drawPath(plus);
    p.setPen(Qt::NoPen);
}

QImage drawLogo(int scale)
{
    QImage img = blank({48, 48}, scale);
    QPainter p(&img);
    smooth(p);
    QRadialGradient bg(QPointF(18, 14), 44);
    bg.setColorAt(0, QColor(255, 255, 255));
    bg.setColorAt(1, QColor(214, 228, 240));
    p.fillRect(QRectF(0, 0, 48, 48), bg);
    drawEmblem(p, QRectF(0, 0, 48, 48));
    const QPainterPath name = fitted(textPath(QStringLiteral("Tandra")), QRectF(2, 25, 44, 12));
    p.setPen(QPen(QColor(255, 255, 255, 230), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(name);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(name);
    return img;
}

QImage drawIcon(int size, bool flat = false)
{
    QImage img = blank(QSize(size, size));
    QPainter p(&img);
    smooth(p);
    QRectF box(0, 0, size, size);
    if (size >= 48 && !flat) {
        // Lift the larger icons off the desktop; small ones stay crisp.
        box.adjust(0, 0, -size / 24.0, -size / 16.0);
        QImage shadow = blank(img.size());
        QPainter sp(&shadow);
        smooth(sp);
        drawEmblem(sp, box.translated(size / 24.0, size / 16.0));
        sp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        sp.fillRect(shadow.rect(), QColor(0, 30, 0, 90));
        sp.end();
        p.drawImage(0, 0, blurred(shadow, qMax(1, size / 40)));
    }
    drawEmblem(p, box, flat);
    return img;
}

// -------------------------------------------------------------------- output

bool failed = false;

void report(const QString &path, bool ok, const QString &why = {})
{
    if (!ok) {
        std::fprintf(stderr, "artgen: %s: %s\n", qPrintable(path), qPrintable(why));
        failed = true;
    }
}

void saveJpeg(const QString &path, const QImage &img)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(92);
    report(path, writer.write(img.convertToFormat(QImage::Format_RGB32)), writer.errorString());
}

void savePng(const QString &path, const QImage &img)
{
    QImageWriter writer(path, "png");
    report(path, writer.write(img.convertToFormat(QImage::Format_ARGB32)), writer.errorString());
}

void saveIco(const QString &path)
{
    QList<IconFile::Entry> entries;
    for (int size : {48, 32, 16})
        for (int bits : {4, 8, 32})
            entries.append({drawIcon(size, bits == 4), bits});
    QFile file(path);
    const QByteArray data = IconFile::encode(entries);
    report(path, file.open(QIODevice::WriteOnly) && file.write(data) == data.size(), file.errorString());
    file.close();
    // Read it back: Qt must see every image at its size.
    QImageReader reader(path, "ico");
    bool same = reader.imageCount() == int(entries.size());
    for (int i = 0; same && i < reader.imageCount(); ++i)
        same = reader.jumpToImage(i) && reader.read().size() == entries[i].image.size();
    report(path, same, QStringLiteral("reads back wrongly"));
}

QImage crop(const QImage &img, QPoint at)
{
    const int scale = scaleOf(&img);
    return img.copy(QRect(at * scale, kButton * scale));
}

// Each picture button's motif, on the piece of background it stands on.
QImage buttonPicture(const QImage &bg, SkinButton button, Look look)
{
    switch (button) {
    case SkinButton::Img_1: return channelTile(crop(bg, kChannel1Pos), 1, look);
    case SkinButton::Img_2: return channelTile(crop(bg, kChannel2Pos), 2, look);
    case SkinButton::Img_Stop: return transportButton(crop(bg, kStopPos), Glyph::Stop, look);
    case SkinButton::Img_Pause: return transportButton(crop(bg, kPausePos), Glyph::Pause, look);
    case SkinButton::Img_Play: return transportButton(crop(bg, kPlayPos), Glyph::Play, look);
    }
    return {};
}

// A file name as drawn at the background's scale: "name.jpg" or "name@2x.jpg".
QString scaled(const QImage &bg, const QString &fileName)
{
    return scaleOf(&bg) > 1 ? doubleSizeName(fileName) : fileName;
}

void writeSkin(const QString &folder, const QImage &bg)
{
    constexpr Look looks[ButtonVisualStateCount] = {Look::Normal, Look::Hover, Look::Pressed};
    for (std::size_t b = 0; b < SkinButtonCount; ++b)
        for (std::size_t s = 0; s < ButtonVisualStateCount; ++s)
            saveJpeg(folder + '/' + scaled(bg, QString::fromLatin1(ButtonImageSet[b][s])),
                     buttonPicture(bg, SkinButton(b), looks[s]));
}

} // namespace

int main(int argc, char **argv)
{
    // Drawing needs fonts but never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen <project root>\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    const QString pictures = root.filePath(QStringLiteral("resources/pictures"));
    const QString icons = root.filePath(QStringLiteral("resources/icons"));
    const QString skin = root.filePath(QStringLiteral("SkinDefault"));
    for (const QString &dir : {pictures, icons, skin})
        report(dir, QDir().mkpath(dir), QStringLiteral("cannot create folder"));
    if (failed)
        return 1;

    // Every picture twice: as the window shows it on an ordinary screen, and
    // at double size for screens scaled to 150 % or more.
    for (int scale : {1, 2}) {
        const QImage bg = drawBackground(scale);
        auto save = [&](const QString &name, const QImage &img) { saveJpeg(pictures + '/' + scaled(bg, name), img); };
        save("background.jpg", bg);
        // The pictures the window starts with: the same motifs as the skin.
        const struct { const char *name; SkinButton button; } stored[] = {
            {"play", SkinButton::Img_Play}, {"pause", SkinButton::Img_Pause}, {"stop", SkinButton::Img_Stop}};
        for (const auto &t : stored) {
            save(QString::fromLatin1(t.name) + ".jpg", buttonPicture(bg, t.button, Look::Normal));
            save(QString::fromLatin1(t.name) + "_disabled.jpg", buttonPicture(bg, t.button, Look::Disabled));
        }
        save("channel1.jpg", buttonPicture(bg, SkinButton::Img_1, Look::Normal));
        save("channel2.jpg", buttonPicture(bg, SkinButton::Img_2, Look::Normal));
        save("logo.jpg", drawLogo(scale));
        writeSkin(skin, bg);
    }

    // 96 and 512 are the 48 and 256 icons of a screen at double scale.
    for (int size : {16, 32, 48, 64, 96, 128, 256, 512})
        savePng(icons + QStringLiteral("/tandra-%1.png").arg(size), drawIcon(size));
    saveIco(icons + "/tandra.ico");
    return failed ? 1 : 0;
}
