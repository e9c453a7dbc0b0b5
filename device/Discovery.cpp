#include "Discovery.h"

#include "QelBase.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>

QStringList EnumDevicePorts(const QList<TPortInfo>& ports)
{
    QStringList found;
    for (const TPortInfo& p : ports) {
        const bool usbMatch = p.HasIds && p.Vid == kQelVendorId && p.Pid == kQelProductId;
        if (usbMatch || p.Forced)
            found.append(p.Port);
    }
    return found;
}

namespace {

QStringList sortedIgnoringCase(QStringList names)
{
    // Names equal but for case are put in exact order, so that the two lists line up the
    // same way whatever order they came in.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

} // namespace

TDeviceChange FindDeviceChange(const QStringList& present, const QStringList& listed)
{
    if (present.size() == listed.size())
        return {};
    const QStringList l = sortedIgnoringCase(present);
    const QStringList a = sortedIgnoringCase(listed);
    const qsizetype shorter = std::min(l.size(), a.size());
    qsizetype i = 0;
    while (i < shorter && l[i] == a[i])
        ++i;
    if (l.size() > a.size())
        return {+1, l[i]};
    return {-1, a[i]};
}

TQelPortAssoc IdentifyPort(const QString& port, TLang lang, int timeoutMs)
{
    // Everything here belongs to this call: an identification started from inside the
    // wait below has its own device object, loop and timers.
    TQelBase dev;
    dev.SetLang(lang);
    if (dev.Connect(port)) {
        QEventLoop loop;
        QTimer poll;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            // A closed port can bring no identity: the device went during the wait.
            if (dev.GetDevType() != devUnknown || dev.GetPortName() != port)
                loop.quit();
        });
        poll.start(10);
        deadline.start(std::max(0, timeoutMs));
        loop.exec();
    }
    TQelPortAssoc assoc;
    assoc.Port = dev.GetPortName();
    assoc.Name = dev.GetDeviceName();
    assoc.DevType = dev.GetDevType();
    return assoc; // dev closes its port as it goes
}
