// The pressure graph of the main window: a chart of one line series, pressure against time.
#pragma once

#include "data/SeriesSink.h"

#include <QChartView>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QString>

class QLineSeries;
class QValueAxis;

// The chart widget: rubber-band zoom with the left button, scrolling by dragging with the
// middle one, dashed grid, no legend and no title, white background. The series is drawn in
// software so that grabbed and printed images show it.
class TPressChartView : public QChartView
{
    Q_OBJECT
public:
    explicit TPressChartView(QWidget* parent = nullptr);

    QLineSeries* series() const { return fSeries; }
    QValueAxis* timeAxis() const { return fTimeAxis; }
    QValueAxis* pressureAxis() const { return fPressureAxis; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLineSeries* fSeries = nullptr;
    QValueAxis* fTimeAxis = nullptr;
    QValueAxis* fPressureAxis = nullptr;
    bool fScrolling = false;
    QPoint fLastPos;
};

// The graph as the device object fills it. Points are gathered and handed to the series in
// one go when the zoom is reset or the titles are set, the two calls that end a fill, since
// appending a long series point by point redraws it each time.
class TChartSink : public QObject, public ISeriesSink
{
    Q_OBJECT
public:
    // The view is created as a child of parent, or owned by the sink when parent is null.
    explicit TChartSink(QWidget* parent = nullptr);
    ~TChartSink() override;

    // ISeriesSink
    void clear() override;
    void addPoint(double x, double y) override;
    // Undoes any zoom or scroll and fits both axes to the points.
    void resetZoom() override;
    void setAxisTitles(const QString& left, const QString& bottom) override;

    QList<QPointF> points() const { return fPoints; }
    QString leftTitle() const;
    QString bottomTitle() const;
    TPressChartView* view() { return fView; }
    // What the chart shows, as pixels.
    QImage grabImage();

private:
    void flush();
    void fitAxes();

    QPointer<TPressChartView> fView;
    QList<QPointF> fPoints;
    bool fPending = false;
};
