// An in-process serial line: a named port whose instrument end is served inside this
// program (the stand-in instrument of the demo and the tests), without a pseudo-terminal.
// Both ends live on one thread. Bytes written at one end reach the other from the event
// loop, in order, as a real port delivers them; the host end opens the port exclusively.
#pragma once

#include "Transport.h"

#include <QPointer>
#include <functional>

class TPipeTransport;

// Bytes waiting at one end of the line. However many writes come before it runs, one
// announcement is posted to the owner's event loop.
class TPipeInbox
{
public:
    void put(QObject* owner, const QByteArray& bytes, std::function<void()> announce);
    QByteArray take();
    void clear() { fBytes.clear(); }

private:
    QByteArray fBytes;
    bool fPending = false;
};

// The instrument end. Creating it plugs the port in under name(); deleting it (or unplug())
// takes the port away, which the host end sees as gone.
class TPipePort : public QObject
{
    Q_OBJECT
public:
    // A name of the form "pipe:<stem>-<n>" that no other plugged port has.
    explicit TPipePort(const QString& stem = QStringLiteral("qel"), QObject* parent = nullptr);
    ~TPipePort() override;

    QString name() const { return fName; }
    // The port of that name, if one is plugged in.
    static TPipePort* find(const QString& name);

    // Sends bytes to the host end; they are lost when no host has the port open, as on a
    // real line.
    void send(const QByteArray& bytes);
    // What the host wrote and this end has not read.
    QByteArray readAll();
    bool hostOpen() const { return fHost != nullptr; }
    // Takes the port away now (the host end is told from the event loop); the object
    // may be deleted afterwards, even from inside its own signal by deleteLater.
    void unplug();

signals:
    // The host wrote bytes.
    void readyRead();

private:
    friend class TPipeTransport;
    void fromHost(const QByteArray& bytes);

    QString fName;
    TPipeTransport* fHost = nullptr;
    TPipeInbox fIn;
};

// The host end, opened by the port's name.
class TPipeTransport : public ITransport
{
    Q_OBJECT
public:
    explicit TPipeTransport(QObject* parent = nullptr);
    ~TPipeTransport() override;

    bool open(const QString& name) override;
    void close() override;
    bool isOpen() const override { return fOpen; }
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void clearInput() override { fIn.clear(); }
    QString errorString() const override { return fError; }

private:
    friend class TPipePort;
    void fromDevice(const QByteArray& bytes);
    void portGone();

    QPointer<TPipePort> fPort;
    bool fOpen = false;
    TPipeInbox fIn;
    QString fError;
};
