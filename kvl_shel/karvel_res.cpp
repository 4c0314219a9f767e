// The wizard's own images, drawn here: icon 501, watermark 311, header banner 312.
#include "GUI2/g_res.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor deep_blue(0x1d, 0x4f, 0x7a);
const QColor ink(0x0e, 0x2c, 0x45);
const QColor paper(0xfb, 0xfb, 0xf7);
const QColor fold(0xdf, 0xe6, 0xec);
const QColor text_grey(0x9a, 0xa8, 0xb5);
const QColor amber(0xf2, 0xb2, 0x33);
const QColor amber_edge(0x7a, 0x52, 0x10);

// A document sheet with a folded corner and a few text lines, in the box (x, y, w, h).
void draw_sheet(QPainter& p, qreal x, qreal y, qreal w, qreal h, qreal pen)
{
    const qreal corner = w * 0.25;
    QPainterPath sheet;
    sheet.moveTo(x, y);
    sheet.lineTo(x + w - corner, y);
    sheet.lineTo(x + w, y + corner);
    sheet.lineTo(x + w, y + h);
    sheet.lineTo(x, y + h);
    sheet.closeSubpath();
    p.setPen(QPen(ink, pen));
    p.setBrush(paper);
    p.drawPath(sheet);
    QPainterPath flap;
    flap.moveTo(x + w - corner, y);
    flap.lineTo(x + w - corner, y + corner);
    flap.lineTo(x + w, y + corner);
    flap.closeSubpath();
    p.setBrush(fold);
    p.drawPath(flap);
    p.setPen(Qt::NoPen);
    p.setBrush(text_grey);
    const qreal line_h = h * 0.05;
    const qreal widths[] = {0.62, 0.76, 0.70, 0.48};
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(x + w * 0.12, y + corner + h * 0.08 + i * line_h * 2.4, w * widths[i], line_h));
}

// An arrow pointing down (dx 0) or right (dx 1) with its tip at (x, y).
void draw_arrow(QPainter& p, qreal x, qreal y, qreal size, bool right)
{
    QPainterPath arrow;
    const qreal s = size;
    if (right) {
        arrow.moveTo(x, y);
        arrow.lineTo(x - s * 0.5, y - s * 0.5);
        arrow.lineTo(x - s * 0.5, y - s * 0.22);
        arrow.lineTo(x - s, y - s * 0.22);
        arrow.lineTo(x - s, y + s * 0.22);
        arrow.lineTo(x - s * 0.5, y + s * 0.22);
        arrow.lineTo(x - s * 0.5, y + s * 0.5);
    } else {
        arrow.moveTo(x, y);
        arrow.lineTo(x - s * 0.5, y - s * 0.5);
        arrow.lineTo(x - s * 0.22, y - s * 0.5);
        arrow.lineTo(x - s * 0.22, y - s);
        arrow.lineTo(x + s * 0.22, y - s);
        arrow.lineTo(x + s * 0.22, y - s * 0.5);
        arrow.lineTo(x + s * 0.5, y - s * 0.5);
    }
    arrow.closeSubpath();
    p.setPen(QPen(amber_edge, 1.2));
    p.setBrush(amber);
    p.drawPath(arrow);
}

// Tall enough for the highest page, so that it fills the side of every exterior page.
QPixmap draw_watermark()
{
    QPixmap image(164, 360);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 360);
    sky.setColorAt(0, deep_blue);
    sky.setColorAt(1, QColor(0x3f, 0x8f, 0xc4));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 20));
    p.drawEllipse(QPointF(130, 40), 60, 60);
    p.drawEllipse(QPointF(20, 320), 80, 80);
    draw_sheet(p, 34, 70, 82, 112, 2);
    draw_arrow(p, 82, 250, 40, false);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(14, 44, 69, 140));
    p.drawRoundedRect(QRectF(30, 262, 104, 38), 6, 6);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(18);
    mono.setBold(true);
    p.setFont(mono);
    p.setPen(amber);
    p.drawText(QRectF(30, 262, 104, 38), Qt::AlignCenter, QStringLiteral("<xml/>"));
    return image;
}

QPixmap draw_banner()
{
    QPixmap image(640, 64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 640, 0);
    band.setColorAt(0, Qt::white);
    band.setColorAt(0.6, QColor(0xf3, 0xf7, 0xfb));
    band.setColorAt(1, QColor(0xcf, 0xe0, 0xef));
    p.fillRect(image.rect(), band);
    draw_sheet(p, 578, 8, 38, 48, 1.3);
    draw_arrow(p, 570, 32, 24, true);
    p.fillRect(QRectF(0, 62, 640, 2), QColor(29, 79, 122, 90));
    return image;
}

QPixmap draw_icon(int size)
{
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(deep_blue);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    draw_sheet(p, 14, 8, 34, 46, 1.5);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(15);
    mono.setBold(true);
    p.setFont(mono);
    p.setPen(QColor(0xc8, 0x86, 0x0f));
    p.drawText(QRectF(10, 34, 42, 20), Qt::AlignCenter, QStringLiteral("</>"));
    return image;
}

} // namespace

QPixmap resource_bitmap(int id)
{
    switch (id) {
    case 311:
        return draw_watermark();
    case 312:
        return draw_banner();
    default:
        return QPixmap();
    }
}

QIcon resource_icon(unsigned id)
{
    if (id != 501)
        return QIcon();
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(draw_icon(size));
    return icon;
}
