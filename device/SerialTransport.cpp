#include "SerialTransport.h"

TSerialTransport::TSerialTransport(QObject* parent) : ITransport(parent)
{
    fPort.setBaudRate(QSerialPort::Baud115200);
    fPort.setDataBits(QSerialPort::Data8);
    fPort.setParity(QSerialPort::NoParity);
    fPort.setStopBits(QSerialPort::OneStop);
    fPort.setFlowControl(QSerialPort::NoFlowControl);
    connect(&fPort, &QSerialPort::readyRead, this, &ITransport::bytesArrived);
    connect(&fPort, &QSerialPort::errorOccurred, this, &TSerialTransport::onError);
}

TSerialTransport::~TSerialTransport()
{
    fPort.disconnect(this);
    if (fPort.isOpen())
        fPort.close();
}

bool TSerialTransport::open(const QString& name)
{
    if (fPort.isOpen())
        fPort.close();
    fPort.setPortName(name);
    // An exclusive open: it fails while another program holds the port (lock file and
    // TIOCEXCL on Linux, share mode 0 on Windows). The error event reports a failure.
    if (!fPort.open(QIODevice::ReadWrite))
        return false;
    // Modem lines held inactive; a pseudo-terminal has none, which is not an error here.
    fPort.setDataTerminalReady(false);
    fPort.setRequestToSend(false);
    fPort.clearError();
    fError.clear();
    return true;
}

void TSerialTransport::close()
{
    if (fPort.isOpen())
        fPort.close();
}

void TSerialTransport::write(const QByteArray& bytes)
{
    if (fPort.isOpen())
        fPort.write(bytes);
}

void TSerialTransport::clearInput()
{
    fPort.clear(QSerialPort::Input);
    fPort.readAll(); // what the port object itself had buffered
}

void TSerialTransport::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // modem lines of a pseudo-terminal
    case QSerialPort::TimeoutError:              // only from the blocking waits, never used
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
        // The device has gone: close the port so that it counts as closed from now on.
        fError = fPort.errorString();
        fPort.clearError();
        if (fPort.isOpen())
            fPort.close();
        emit gone();
        return;
    default:
        fError = fPort.errorString();
        fPort.clearError();
        emit failed();
        return;
    }
}
