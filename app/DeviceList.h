// The instruments attached: one entry per identified instrument port, in the order found,
// kept up to date as ports come and go, and the choice of one of them.
#pragma once

#include "data/QelTypes.h"
#include "device/Discovery.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

class IPortSource;
class TWorkspace;

class TDeviceList : public QObject
{
    Q_OBJECT
public:
    // `ports` and `workspace` outlive the list.
    TDeviceList(IPortSource* ports, TWorkspace& workspace, QObject* parent = nullptr);

    // The entries, one per line of the instrument box, in its order.
    const QList<TQelPortAssoc>& entries() const { return fAssoc; }
    // The entry chosen; -1 for none.
    int currentIndex() const { return fCurrent; }
    // An entry with an instrument's name is chosen.
    bool hasChoice() const;
    // Ports that answered no identity; they stay out of the list until they go away.
    const QSet<QString>& silentPorts() const { return fSilentPorts; }
    // Debounces bursts of device changes; one comparison when it runs out.
    const QTimer& devChangeTimer() const { return DevChangeTimer; }

    void ScanDevices();
    void OnDeviceChange();
    void DevChangeTimerTimer();
    void UpdateDeviceList(const QString& Port, bool Added);
    // An entry is chosen, by the user or by the list itself: the workspace connects to it.
    // Nothing happens for no entry or one without a name.
    void sDevSelectBoxChange(int index);
    // No entry is chosen any more; the connection, if any, stays.
    void clearChoice();

signals:
    void entryAdded(const QString& name); // appended at the end
    void entryRemoved(int index);
    void entriesCleared();
    void currentChanged(int index);
    // More than one entry: the user should see the choice.
    void choiceWanted();
    void statusChanged(const QString& text);

private:
    QStringList listedPorts() const;
    void addDeviceEntry(const TQelPortAssoc& assoc);
    void setCurrent(int index);
    bool identify(const QString& port, TQelPortAssoc& assoc);

    IPortSource* fPorts;
    TWorkspace& fWorkspace;
    QList<TQelPortAssoc> fAssoc;
    QSet<QString> fSilentPorts;
    int fCurrent = -1;
    bool fScanning = false;
    QTimer DevChangeTimer;
};
