#include "view/frame_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <cmath>
#include <utility>

namespace {

QColor toColor(FrameColour c)
{
    return QColor::fromRgbF(c.red, c.green, c.blue);
}

QColor toColor(const TrailColour& c)
{
    return QColor::fromRgbF(c.red, c.green, c.blue, c.alpha);
}

QPointF toPoint(ScreenPoint p)
{
    return {p.x, p.y};
}

void drawSegments(QPainter& painter, const std::vector<ScreenSegment>& segments, FrameColour colour)
{
    painter.setPen(QPen(toColor(colour), 1.0, Qt::SolidLine, Qt::FlatCap));
    for (const ScreenSegment& s : segments)
        painter.drawLine(toPoint(s.from), toPoint(s.to));
}

}  // namespace

QImage paintFrame(const Frame& frame)
{
    QImage image(int(frame.width), int(frame.height), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    if (!frame.cellColours.empty()) {
        const QImage cells(frame.cellColours.data(), int(frame.cellColumns), int(frame.cellRows),
                           int(frame.cellColumns * 3), QImage::Format_RGB888);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0.0, 0.0, frame.cellColumns * frame.cellSize, frame.cellRows * frame.cellSize), cells);
    }
    for (const auto& [triangles, colour] : {std::pair{&frame.liquid, liquidColour}, std::pair{&frame.air, airColour}}) {
        if (triangles->empty())
            continue;
        // One path of every triangle, filled at once: no seams between them.
        QPainterPath region;
        region.setFillRule(Qt::WindingFill);
        for (size_t k = 0; k + 2 < triangles->size(); k += 3)
            region.addPolygon(QPolygonF({toPoint((*triangles)[k]), toPoint((*triangles)[k + 1]),
                                         toPoint((*triangles)[k + 2]), toPoint((*triangles)[k])}));
        painter.fillPath(region, toColor(colour));
    }
    painter.setRenderHint(QPainter::Antialiasing);
    drawSegments(painter, frame.grid, gridColour);
    for (const ScreenPoint& corner : frame.solids)
        painter.fillRect(QRectF(corner.x, corner.y, frame.cellSize, frame.cellSize), toColor(solidColour));
    for (const std::vector<ScreenPoint>& outline : frame.discOutlines) {
        QPolygonF polygon;
        for (const ScreenPoint& corner : outline)
            polygon << QPointF(corner.x, corner.y);
        QPainterPath path;
        path.addPolygon(polygon);
        painter.fillPath(path, toColor(solidColour));
    }
    drawSegments(painter, frame.arrows, arrowColour);

    // Dots as OpenGL rasterises square points: dotSize pixels across, their
    // edges on the pixel boundaries nearest the point, counted as OpenGL
    // counts rows, from the bottom.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int across = int(dotSize);
    for (const auto& [points, colour] : {std::pair{&frame.dots, dotColour}, std::pair{&frame.particles, particleColour}})
        for (const ScreenPoint& dot : *points) {
            const int left = int(std::floor(dot.x + 0.5f)) - across / 2;
            const int bottom = int(std::floor(float(frame.height) - dot.y + 0.5f)) - across / 2;
            painter.fillRect(QRect(left, int(frame.height) - bottom - across, across, across), toColor(colour));
        }
    painter.setRenderHint(QPainter::Antialiasing);

    // Each trail segment shades from the colour of its older point to that of
    // its newer one, as OpenGL interpolates along a line strip: colour and
    // alpha each on their own, not premultiplied.
    for (size_t t = 0; t + 1 < frame.trailStarts.size(); ++t) {
        for (uint32_t k = frame.trailStarts[t]; k + 1 < frame.trailStarts[t + 1]; ++k) {
            const TrailVertex& from = frame.trailVertices[k];
            const TrailVertex& to = frame.trailVertices[k + 1];
            if (from.point.x == to.point.x && from.point.y == to.point.y)
                continue;  // OpenGL draws nothing for a line of no length
            QLinearGradient shade(toPoint(from.point), toPoint(to.point));
            shade.setColorAt(0.0, toColor(from.colour));
            shade.setColorAt(1.0, toColor(to.colour));
            shade.setInterpolationMode(QGradient::ComponentInterpolation);
            painter.setPen(QPen(QBrush(shade), 1.0, Qt::SolidLine, Qt::FlatCap));
            painter.drawLine(toPoint(from.point), toPoint(to.point));
        }
    }
    if (frame.colourBar.shown)
        painter.drawImage(QPointF(frame.colourBar.x, frame.colourBar.y), paintColourBar(frame.colourBar));
    painter.end();
    return image;
}

QImage paintColourBar(const ColourBar& bar, qreal ratio)
{
    QImage image(int(std::ceil(bar.width * ratio)), int(std::ceil(bar.height * ratio)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(0, 0, 0, 170));  // the field shows through, the text reads
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const qreal pad = 6.0, line = metrics.height();
    const qreal textWidth = bar.width - 2 * pad;
    const QString high = QString::number(bar.high, 'g', 4), low = QString::number(bar.low, 'g', 4);
    const int steps = int(bar.colours.size() / 3);
    // One band per colour, from the scale's low end to its high one.
    auto paintScale = [&](const QRectF& scale, bool upwards) {
        for (int k = 0; k < steps; ++k) {
            const QColor colour(bar.colours[size_t(k) * 3], bar.colours[size_t(k) * 3 + 1],
                                bar.colours[size_t(k) * 3 + 2]);
            if (upwards)
                painter.fillRect(QRectF(scale.left(), scale.bottom() - scale.height() * (k + 1) / steps,
                                        scale.width(), scale.height() / steps + 0.5),
                                 colour);
            else
                painter.fillRect(QRectF(scale.left() + scale.width() * k / steps, scale.top(),
                                        scale.width() / steps + 0.5, scale.height()),
                                 colour);
        }
    };
    if (bar.across) {
        // The name and units on one line; below, the low value, the scale, the high value.
        painter.setPen(Qt::white);
        const QString heading = QString::fromStdString(bar.title) + "  " + QString::fromStdString(bar.units);
        painter.drawText(QRectF(pad, pad, textWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(heading, Qt::ElideRight, textWidth));
        // Each label keeps at most a third of the line; the scale has what is left.
        const qreal labelRoom = textWidth / 3.0 - pad;
        const QString lowShown = metrics.elidedText(low, Qt::ElideRight, labelRoom);
        const QString highShown = metrics.elidedText(high, Qt::ElideRight, labelRoom);
        const qreal lowWidth = metrics.horizontalAdvance(lowShown), highWidth = metrics.horizontalAdvance(highShown);
        const qreal row = pad + line + 2.0;
        painter.drawText(QRectF(pad, row, lowWidth, line), Qt::AlignLeft | Qt::AlignVCenter, lowShown);
        painter.drawText(QRectF(bar.width - pad - highWidth, row, highWidth, line), Qt::AlignRight | Qt::AlignVCenter,
                         highShown);
        const qreal scaleLeft = pad + lowWidth + pad, scaleRight = bar.width - pad - highWidth - pad;
        if (scaleRight > scaleLeft)
            paintScale(QRectF(scaleLeft, row + 2.0, scaleRight - scaleLeft, line - 4.0), false);
        painter.end();
        return image;
    }
    painter.setPen(Qt::white);
    painter.drawText(QRectF(pad, pad, textWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(QString::fromStdString(bar.title), Qt::ElideRight, textWidth));
    painter.setPen(QColor(200, 200, 200));
    painter.drawText(QRectF(pad, pad + line, textWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(QString::fromStdString(bar.units), Qt::ElideRight, textWidth));
    // The scale, high at the top; tall enough that its two labels keep a line apart.
    const QRectF scale(pad, pad + 2.5 * line, 14.0, bar.height - 3.0 * line - 2 * pad);
    if (scale.height() > 0.0)
        paintScale(scale, true);
    painter.setPen(Qt::white);
    const qreal labelLeft = scale.right() + pad, labelWidth = bar.width - labelLeft - pad;
    painter.drawText(QRectF(labelLeft, scale.top() - line / 2, labelWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(high, Qt::ElideRight, labelWidth));
    painter.drawText(QRectF(labelLeft, scale.bottom() - line / 2, labelWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(low, Qt::ElideRight, labelWidth));
    painter.end();
    return image;
}
