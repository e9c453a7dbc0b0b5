// The byte link between a device object and its instrument: a serial port, or an in-process
// line whose far end is served inside this program. The device object sees only this.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class ITransport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the named port for exclusive use; false when it is missing or another holder
    // has it (errorString() tells which).
    virtual bool open(const QString& name) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Queues the bytes for the instrument; nothing is sent on a closed link.
    virtual void write(const QByteArray& bytes) = 0;
    // Everything received and not yet read.
    virtual QByteArray readAll() = 0;
    // Drops what arrived before now: bytes left from an earlier user of the port.
    virtual void clearInput() = 0;
    virtual QString errorString() const = 0;

signals:
    // Bytes wait to be read. Delivered from the event loop, never inside write().
    void bytesArrived();
    // The device went away; the link is closed from now on.
    void gone();
    // Any other error of the port; the link stays as it is.
    void failed();
};

// The transport for a port name: the in-process line of that name when one is plugged,
// otherwise the serial port.
std::unique_ptr<ITransport> MakeTransport(const QString& name);
