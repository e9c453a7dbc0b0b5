#include "PipeTransport.h"

#include <QHash>

namespace {

QHash<QString, TPipePort*>& plugged()
{
    static QHash<QString, TPipePort*> ports;
    return ports;
}

} // namespace

void TPipeInbox::put(QObject* owner, const QByteArray& bytes, std::function<void()> announce)
{
    fBytes.append(bytes);
    if (fPending)
        return;
    fPending = true;
    QMetaObject::invokeMethod(
        owner,
        [this, announce = std::move(announce)] {
            fPending = false;
            if (!fBytes.isEmpty())
                announce();
        },
        Qt::QueuedConnection);
}

QByteArray TPipeInbox::take()
{
    QByteArray out;
    out.swap(fBytes);
    return out;
}

TPipePort::TPipePort(const QString& stem, QObject* parent) : QObject(parent)
{
    static int serial = 0;
    do
        fName = QStringLiteral("pipe:%1-%2").arg(stem).arg(++serial);
    while (plugged().contains(fName));
    plugged().insert(fName, this);
}

TPipePort::~TPipePort()
{
    unplug();
}

void TPipePort::unplug()
{
    if (plugged().value(fName) == this)
        plugged().remove(fName);
    if (fHost)
        fHost->portGone();
    fHost = nullptr;
    fIn.clear();
}

TPipePort* TPipePort::find(const QString& name)
{
    return plugged().value(name, nullptr);
}

void TPipePort::send(const QByteArray& bytes)
{
    // After unplug() fHost is null: nothing reaches the host any more.
    if (fHost && !bytes.isEmpty())
        fHost->fromDevice(bytes);
}

QByteArray TPipePort::readAll()
{
    return fIn.take();
}

void TPipePort::fromHost(const QByteArray& bytes)
{
    fIn.put(this, bytes, [this] { emit readyRead(); });
}

TPipeTransport::TPipeTransport(QObject* parent) : ITransport(parent) {}

TPipeTransport::~TPipeTransport()
{
    close();
}

bool TPipeTransport::open(const QString& name)
{
    close();
    TPipePort* port = TPipePort::find(name);
    if (!port) {
        fError = QStringLiteral("No such port: ") + name;
        return false;
    }
    if (port->fHost) {
        fError = QStringLiteral("The port is held by another user: ") + name;
        return false;
    }
    port->fHost = this;
    fPort = port;
    fOpen = true;
    fIn.clear();
    fError.clear();
    return true;
}

void TPipeTransport::close()
{
    if (fPort && fPort->fHost == this)
        fPort->fHost = nullptr;
    fPort = nullptr;
    fOpen = false;
}

void TPipeTransport::write(const QByteArray& bytes)
{
    if (fOpen && fPort && !bytes.isEmpty())
        fPort->fromHost(bytes);
}

QByteArray TPipeTransport::readAll()
{
    return fIn.take();
}

void TPipeTransport::fromDevice(const QByteArray& bytes)
{
    fIn.put(this, bytes, [this] {
        if (fOpen)
            emit bytesArrived();
    });
}

void TPipeTransport::portGone()
{
    // A serial port learns of a vanished device from its driver, after the fact: the
    // host end is told from the event loop too.
    fPort = nullptr;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!fOpen)
                return;
            fOpen = false;
            fError = QStringLiteral("The device went away");
            emit gone();
        },
        Qt::QueuedConnection);
}
