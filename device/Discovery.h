// Finding attached instruments: which serial ports are theirs, what changed between two
// looks at the port list, and which instrument answers on a port.
#pragma once

#include "data/QelTypes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

// One serial port as the system lists it.
struct TPortInfo
{
    QString Port; // the name Connect takes: /dev/ttyACM0, COM5
    QString Description;
    bool HasIds = false; // USB vendor and product are known
    quint16 Vid = 0;
    quint16 Pid = 0;
    bool Forced = false; // added by --port: listed as an instrument port without a USB identity
};

// The instrument's virtual serial port, VID_0483&PID_0500.
constexpr quint16 kQelVendorId = 0x0483, kQelProductId = 0x0500;

// The instrument ports among `ports`, in the order given: USB vendor and product match, or
// Forced.
QStringList EnumDevicePorts(const QList<TPortInfo>& ports);

struct TDeviceChange
{
    int Change = 0; // -1 a port went away, 0 none, +1 a port came
    QString Port;
};

// Compares the ports present with those listed. Only a different count is a change; then
// both are sorted ignoring case and the first position whose names differ (exactly) names
// the port: from the present list if it is longer (+1), else from the listed one (-1).
// One call reports one port; when several changed, later calls find the others.
TDeviceChange FindDeviceChange(const QStringList& present, const QStringList& listed);

// One entry of the instrument box.
struct TQelPortAssoc
{
    QString Port;        // "COM?" when the port could not be opened
    QString Name;        // display name; empty when not identified
    uint8_t DevType = 0; // 0 when not identified
};

// Bound of the wait for the identity: an instrument that opens its port but never answers
// must not hold the scan for ever.
constexpr int kIdentifyTimeoutMs = 3000;

// Identifies the instrument on a port with a device object of its own, names in language
// lang. The wait processes events (other identifications may run inside it) and ends when
// the identity arrives, the port closes, or after timeoutMs. A port that cannot be opened
// gives {"COM?", "", 0}; one that opens but is not identified gives {port, "", 0}.
TQelPortAssoc IdentifyPort(const QString& port, TLang lang, int timeoutMs = kIdentifyTimeoutMs);
