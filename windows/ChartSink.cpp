#include "ChartSink.h"

#include <QLineSeries>
#include <QMouseEvent>
#include <QPen>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

// A step of 1, 2 or 5 times a power of ten giving about five intervals over span.
double niceStep(double span)
{
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    const double raw = span / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    const double factor = norm < 1.5 ? 1 : norm < 3 ? 2 : norm < 7 ? 5 : 10;
    return factor * magnitude;
}

void styleAxis(QValueAxis* axis)
{
    // Round tick steps that follow zooming and scrolling, labelled with the decimals they need.
    QObject::connect(axis, &QValueAxis::rangeChanged, axis, [axis](qreal lo, qreal hi) {
        const double step = niceStep(hi - lo);
        axis->setTickInterval(step);
        const int decimals = std::clamp(int(-std::floor(std::log10(step))), 0, 9);
        axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
    });
    axis->setTickAnchor(0);
    axis->setTickInterval(niceStep(1));
    QPen grid(QColor(0xC0, 0xC0, 0xC0));
    grid.setStyle(Qt::DashLine);
    axis->setGridLinePen(grid);
    axis->setLineVisible(false);
    axis->setTickType(QValueAxis::TicksDynamic);
}

} // namespace

TPressChartView::TPressChartView(QWidget* parent) : QChartView(parent)
{
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setTitle(QString());
    chart->setBackgroundBrush(Qt::white);
    chart->setBackgroundRoundness(0);
    chart->setLocalizeNumbers(true);
    chart->setAnimationOptions(QChart::NoAnimation);

    fSeries = new QLineSeries;
    fSeries->setUseOpenGL(false);
    chart->addSeries(fSeries);

    fTimeAxis = new QValueAxis;
    fPressureAxis = new QValueAxis;
    styleAxis(fTimeAxis);
    styleAxis(fPressureAxis);
    fTimeAxis->setTitleText(QStringLiteral("Время, с"));
    fPressureAxis->setTitleText(QStringLiteral("Давление, кПа"));
    chart->addAxis(fTimeAxis, Qt::AlignBottom);
    chart->addAxis(fPressureAxis, Qt::AlignLeft);
    fSeries->attachAxis(fTimeAxis);
    fSeries->attachAxis(fPressureAxis);
    fTimeAxis->setRange(0, 1);
    fPressureAxis->setRange(0, 1);

    // The view made a chart of its own; setChart lets go of it without deleting it.
    QChart* const own = this->chart();
    setChart(chart);
    delete own;
    setBackgroundBrush(Qt::white);
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
    resize(467, 300);
}

void TPressChartView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        fScrolling = true;
        fLastPos = event->position().toPoint();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void TPressChartView::mouseMoveEvent(QMouseEvent* event)
{
    if (fScrolling) {
        const QPoint pos = event->position().toPoint();
        const QPoint delta = pos - fLastPos;
        fLastPos = pos;
        // The plot follows the pointer: right shows earlier times, down higher pressures.
        chart()->scroll(-delta.x(), delta.y());
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void TPressChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton && fScrolling) {
        fScrolling = false;
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        // The right button opens the graph's menu; the chart view would also zoom out on it.
        QGraphicsView::mouseReleaseEvent(event);
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

TChartSink::TChartSink(QWidget* parent) : QObject(parent), fView(new TPressChartView(parent)) {}

TChartSink::~TChartSink()
{
    // A view placed in a window belongs to it; one never placed is ours.
    if (fView && !fView->parent())
        delete fView;
}

void TChartSink::clear()
{
    fPoints.clear();
    fPending = true;
}

void TChartSink::addPoint(double x, double y)
{
    fPoints.append(QPointF(x, y));
    fPending = true;
}

void TChartSink::resetZoom()
{
    flush();
    if (!fView)
        return;
    fView->chart()->zoomReset();
    fitAxes();
}

void TChartSink::setAxisTitles(const QString& left, const QString& bottom)
{
    flush();
    if (!fView)
        return;
    fView->pressureAxis()->setTitleText(left);
    fView->timeAxis()->setTitleText(bottom);
}

QString TChartSink::leftTitle() const
{
    return fView ? fView->pressureAxis()->titleText() : QString();
}

QString TChartSink::bottomTitle() const
{
    return fView ? fView->timeAxis()->titleText() : QString();
}

QImage TChartSink::grabImage()
{
    flush();
    return fView ? fView->grab().toImage() : QImage();
}

void TChartSink::flush()
{
    if (!fPending || !fView)
        return;
    fPending = false;
    fView->series()->replace(fPoints);
}

void TChartSink::fitAxes()
{
    double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
    bool any = false;
    for (const QPointF& p : std::as_const(fPoints)) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            continue;
        if (!any) {
            xMin = xMax = p.x();
            yMin = yMax = p.y();
            any = true;
            continue;
        }
        xMin = std::min(xMin, p.x());
        xMax = std::max(xMax, p.x());
        yMin = std::min(yMin, p.y());
        yMax = std::max(yMax, p.y());
    }
    if (any) {
        if (xMax <= xMin)
            xMax = xMin + 1; // a single sample still gets a time axis
        // Room above and below the line so that it never runs along the frame.
        const double span = yMax - yMin;
        const double pad = span > 0 ? span * 0.05 : std::max(std::abs(yMin) * 0.05, 0.5);
        yMin -= pad;
        yMax += pad;
    }
    fView->timeAxis()->setRange(xMin, xMax);
    fView->pressureAxis()->setRange(yMin, yMax);
}
