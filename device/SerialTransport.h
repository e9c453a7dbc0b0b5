// The serial port (a USB virtual COM port, a pseudo-terminal) at the instrument's settings:
// 115200 baud, 8 data bits, no parity, one stop bit, no flow control.
#pragma once

#include "Transport.h"

#include <QSerialPort>

class TSerialTransport : public ITransport
{
    Q_OBJECT
public:
    explicit TSerialTransport(QObject* parent = nullptr);
    ~TSerialTransport() override;

    bool open(const QString& name) override;
    void close() override;
    bool isOpen() const override { return fPort.isOpen(); }
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override { return fPort.readAll(); }
    void clearInput() override;
    QString errorString() const override { return fError; }

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort fPort;
    QString fError;
};
