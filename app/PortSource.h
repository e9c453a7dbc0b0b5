// Where the main window learns which serial ports exist and when that changes.
#pragma once

#include "device/Discovery.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

class IPortSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual QList<TPortInfo> ports() const = 0;

signals:
    // Any arrival or removal, as the system reports it: possibly several for one change.
    void deviceChange();
};

// The ports of this computer. Changes come from the system's device notification where
// there is one (udev on Linux, WM_DEVICECHANGE on Windows), otherwise from polling.
class TSystemPortSource : public IPortSource
{
    Q_OBJECT
public:
    explicit TSystemPortSource(QObject* parent = nullptr);
    ~TSystemPortSource() override;

    // Ports given on the command line (--port): listed as Forced while they exist.
    void setExtraPorts(const QStringList& ports);
    // Interval of the polling (2000 ms). It runs when there is no device notification, or
    // when extra ports are set: a pseudo-terminal comes and goes without one.
    void setPollInterval(int ms);
    bool usesUdev() const;
    QList<TPortInfo> ports() const override;

private:
    struct TNative;
    QStringList portNames() const;
    void updatePolling();
    void onPoll();

    std::unique_ptr<TNative> fNative; // null without a device notification
    QStringList fExtra;
    QStringList fLastNames; // as seen by the last poll
    QTimer fPoll;
};
