// Ports plugged and unplugged by calls.
#pragma once

#include "app/PortSource.h"

#include <algorithm>

class TFakePortSource : public IPortSource
{
public:
    using IPortSource::IPortSource;
    // Adds the port, or replaces the one of the same name; emits deviceChange.
    void plug(const TPortInfo& p)
    {
        auto same = std::find_if(fPorts.begin(), fPorts.end(),
                                 [&](const TPortInfo& q) { return q.Port == p.Port; });
        if (same != fPorts.end())
            *same = p;
        else
            fPorts.append(p);
        emit deviceChange();
    }
    // Removes the port; emits deviceChange if it was there.
    void unplug(const QString& port)
    {
        if (fPorts.removeIf([&](const TPortInfo& p) { return p.Port == port; }) > 0)
            emit deviceChange();
    }
    QList<TPortInfo> ports() const override { return fPorts; }

private:
    QList<TPortInfo> fPorts;
};
