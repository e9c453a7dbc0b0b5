// Where the pressure graph goes: a chart in the window, a recorder in tests.
#pragma once

#include <QString>

class ISeriesSink
{
public:
    virtual ~ISeriesSink() = default;
    virtual void clear() = 0;
    virtual void addPoint(double x, double y) = 0;
    virtual void resetZoom() = 0;
    virtual void setAxisTitles(const QString& left, const QString& bottom) = 0;
};
