#include "GraphPicture.h"

#include "data/Views.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>

QImage drawGraphPicture(const TRecordingSeries& graph, QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plot(60, 20, size.width() - 80, size.height() - 70);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(plot);
    p.drawText(QRectF(plot.left(), plot.bottom() + 25, plot.width(), 20), Qt::AlignCenter,
               graph.bottomTitle);
    p.save();
    p.translate(15, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, -10, plot.height(), 20), Qt::AlignCenter,
               graph.leftTitle);
    p.restore();
    if (graph.points.isEmpty())
        return img;
    double x0 = graph.points.first().x(), x1 = x0, y0 = graph.points.first().y(), y1 = y0;
    for (const QPointF& pt : graph.points) {
        x0 = std::min(x0, pt.x());
        x1 = std::max(x1, pt.x());
        y0 = std::min(y0, pt.y());
        y1 = std::max(y1, pt.y());
    }
    // A flat series still gets a scale.
    const double dx = x1 > x0 ? x1 - x0 : 1;
    const double dy = y1 > y0 ? y1 - y0 : 1;
    QPolygonF line;
    line.reserve(graph.points.size());
    for (const QPointF& pt : graph.points)
        line << QPointF(plot.left() + (pt.x() - x0) / dx * plot.width(),
                        plot.bottom() - (pt.y() - y0) / dy * plot.height());
    p.drawText(QRectF(0, plot.top() - 8, 56, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(y1, 'g', 4));
    p.drawText(QRectF(0, plot.bottom() - 8, 56, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(y0, 'g', 4));
    p.drawText(QRectF(plot.left() - 30, plot.bottom() + 2, 60, 16), Qt::AlignCenter,
               QString::number(x0, 'g', 4));
    p.drawText(QRectF(plot.right() - 30, plot.bottom() + 2, 60, 16), Qt::AlignCenter,
               QString::number(x1, 'g', 4));
    p.setPen(QPen(QColor(0, 0, 200), 2));
    p.drawPolyline(line);
    return img;
}
