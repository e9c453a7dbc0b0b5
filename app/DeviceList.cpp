#include "DeviceList.h"

#include "PortSource.h"
#include "Workspace.h"
#include "i18n/Messages.h"

TDeviceList::TDeviceList(IPortSource* ports, TWorkspace& workspace, QObject* parent)
    : QObject(parent), fPorts(ports), fWorkspace(workspace)
{
    DevChangeTimer.setSingleShot(true);
    DevChangeTimer.setInterval(200);
    connect(&DevChangeTimer, &QTimer::timeout, this, &TDeviceList::DevChangeTimerTimer);
    if (fPorts)
        connect(fPorts, &IPortSource::deviceChange, this, &TDeviceList::OnDeviceChange);
    // Losing the instrument in use leaves nothing chosen; the user sees the others.
    connect(&fWorkspace, &TWorkspace::instrumentLost, this, [this] {
        clearChoice();
        if (!fAssoc.isEmpty())
            emit choiceWanted();
    });
}

bool TDeviceList::hasChoice() const
{
    return fCurrent >= 0 && fCurrent < fAssoc.size() && !fAssoc[fCurrent].Name.isEmpty();
}

void TDeviceList::setCurrent(int index)
{
    fCurrent = index;
    emit currentChanged(index);
}

void TDeviceList::clearChoice()
{
    setCurrent(-1);
}

bool TDeviceList::identify(const QString& port, TQelPortAssoc& assoc)
{
    assoc = IdentifyPort(port, fWorkspace.lang());
    if (assoc.DevType != devUnknown)
        return true;
    // Busy, or open but silent: not an instrument that can be chosen. It stays out of the
    // list until it goes away, and the status says why.
    fSilentPorts.insert(port);
    const TLang lang = fWorkspace.lang();
    emit statusChanged((assoc.Port == QStringLiteral("COM?")
                            ? Msg(msgPortBusy, lang) + QStringLiteral(": ")
                            : Msg(msgNoIdentity, lang)) +
                       port);
    return false;
}

void TDeviceList::addDeviceEntry(const TQelPortAssoc& assoc)
{
    fAssoc.append(assoc);
    emit entryAdded(assoc.Name);
    // Adding keeps the choice as it was; only a choice changes it.
    emit currentChanged(fCurrent);
}

void TDeviceList::sDevSelectBoxChange(int index)
{
    if (index < 0 || index >= fAssoc.size() || fAssoc[index].Name.isEmpty())
        return;
    const int before = fCurrent;
    if (index != fCurrent)
        setCurrent(index);
    const TQelPortAssoc entry = fAssoc[index];
    // The user kept the results held, with their changes: the choice goes back.
    if (!fWorkspace.connectTo(entry.Port, entry.DevType) && fWorkspace.wasCancelled())
        setCurrent(before);
}

void TDeviceList::ScanDevices()
{
    if (!fPorts)
        return;
    fScanning = true;
    fAssoc.clear();
    fSilentPorts.clear();
    fCurrent = -1;
    emit entriesCleared();
    const QStringList ports = EnumDevicePorts(fPorts->ports());
    for (const QString& port : ports) {
        TQelPortAssoc assoc;
        if (identify(port, assoc))
            addDeviceEntry(assoc);
    }
    fScanning = false;
    if (!fAssoc.isEmpty() && !fWorkspace.isLoadTypeFile()) {
        sDevSelectBoxChange(0);
        if (fAssoc.size() > 1)
            emit choiceWanted();
    }
    if (DevChangeTimer.isActive() || ports.size() != listedPorts().size())
        DevChangeTimer.start(); // changes during the scan
}

void TDeviceList::OnDeviceChange()
{
    DevChangeTimer.stop();
    DevChangeTimer.start();
}

QStringList TDeviceList::listedPorts() const
{
    QStringList listed;
    for (const TQelPortAssoc& a : fAssoc)
        listed.append(a.Port);
    listed.append(QStringList(fSilentPorts.cbegin(), fSilentPorts.cend()));
    return listed;
}

void TDeviceList::DevChangeTimerTimer()
{
    DevChangeTimer.stop();
    if (fScanning || !fPorts) {
        DevChangeTimer.start(); // an identification is waiting; look again afterwards
        return;
    }
    const QStringList present = EnumDevicePorts(fPorts->ports());
    const TDeviceChange change = FindDeviceChange(present, listedPorts());
    if (change.Change > 0) {
        UpdateDeviceList(change.Port, true);
    } else if (change.Change < 0) {
        // A port that never answered has gone: nothing was listed for it.
        if (!fSilentPorts.remove(change.Port))
            UpdateDeviceList(change.Port, false);
    }
    // One port per tick; when several came or went, the next tick takes the next one.
    if (change.Change != 0 && EnumDevicePorts(fPorts->ports()).size() != listedPorts().size())
        DevChangeTimer.start();
}

void TDeviceList::UpdateDeviceList(const QString& Port, bool Added)
{
    if (Added) {
        fScanning = true;
        TQelPortAssoc assoc;
        const bool ok = identify(Port, assoc);
        fScanning = false;
        if (!ok)
            return;
        const bool noneChosen = fCurrent < 0;
        addDeviceEntry(assoc);
        if (noneChosen && !fWorkspace.isLoadTypeFile())
            sDevSelectBoxChange(0);
        if (fAssoc.size() > 1)
            emit choiceWanted();
        return;
    }

    int idx = -1;
    for (int i = 0; i < fAssoc.size(); ++i)
        if (fAssoc[i].Port == Port) {
            idx = i;
            break;
        }
    if (idx >= 0) {
        fAssoc.removeAt(idx);
        // The same instrument stays chosen when an entry before it goes; when the chosen
        // entry itself goes, nothing is chosen.
        const int current = idx == fCurrent ? -1 : (idx < fCurrent ? fCurrent - 1 : fCurrent);
        fCurrent = current;
        emit entryRemoved(idx);
        emit currentChanged(current);
    }
    // The port the workspace was connected to: the port itself may already be closed,
    // since a vanished device closes it at once.
    if (fWorkspace.connectedPort() == Port)
        fWorkspace.instrumentGone();
}
