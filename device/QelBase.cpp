#include "QelBase.h"

#include "ScreenImage.h"
#include "data/Catalogues.h"

#include <QDateTime>
#include <QImage>
#include <QPointer>
#include <cstring>

using namespace qelproto;

std::shared_ptr<IQel> ActiveDevice;

std::shared_ptr<TQelBase> NewQelBase()
{
    return std::shared_ptr<TQelBase>(new TQelBase, [](TQelBase* dev) {
        // Silent from now on: no event of a released workspace reaches its old owner.
        dev->SetComCallback({});
        dev->Disconnect();
        dev->deleteLater();
    });
}

QString DeviceDisplayName(const TQelInfo& info, TLang lang)
{
    if (info.DevType == devUnknown)
        return {};
    // No I and no O: they read as digits on the instrument's nameplate.
    static const char kLetters[] = " ABCDEFGHJKLMNPQRSTUVWXY";
    static_assert(sizeof(kLetters) - 1 == 24);
    QString model;
    switch (info.DevType) {
    case dev12:
        model = QStringLiteral("2");
        break;
    case dev13:
        model = QStringLiteral("3");
        break;
    default:
        model = QStringLiteral("?"); // a model this program has no name for
        break;
    }
    const int letterIdx = info.SerialNumber >> 11;
    const QChar letter = letterIdx < 24 ? QChar::fromLatin1(kLetters[letterIdx]) : QChar(u'?');
    const int number = info.SerialNumber & 0x7FF;
    return (lang == ruRU ? QStringLiteral("КЕЛ-1.") : QStringLiteral("QEL-1.")) + model +
           QStringLiteral(" № ") + letter + QStringLiteral("%1").arg(number, 3, 10, QChar(u'0'));
}

TQelBase::TQelBase(QObject* parent) : QObject(parent), fScreenArr(new char[kScreenBufferSize]())
{
    fNoAnswerTimer.setSingleShot(true);
    fNoAnswerTimer.setInterval(kNoAnswerMs);
    connect(&fNoAnswerTimer, &QTimer::timeout, this, &TQelBase::onNoAnswer);
    fClock.start();
}

TQelBase::~TQelBase()
{
    // The object itself is released from the event loop (NewQelBase), never inside a
    // signal of its port, so the port may go with it at once.
    if (fComPort) {
        fComPort->disconnect(this);
        fComPort->close();
        delete fComPort.release();
    }
}

// ---------------------------------------------------------------- connection

void TQelBase::setTransport(std::unique_ptr<ITransport> link)
{
    if (fComPort) {
        fComPort->disconnect(this);
        fComPort->close();
    }
    fComPort.reset(link.release());
    if (!fComPort)
        return;
    connect(fComPort.get(), &ITransport::bytesArrived, this, &TQelBase::onBytesArrived);
    connect(fComPort.get(), &ITransport::gone, this, [this] { ComPortException(true); });
    connect(fComPort.get(), &ITransport::failed, this, [this] { ComPortException(false); });
}

bool TQelBase::Connect(const QString& Port)
{
    if (Port.isEmpty())
        return false;
    if (Port == fPortName && fComPort) {
        // The same port again: reopen and ask for the identity, no trial open.
        fComPort->close();
        if (!openPort())
            return false;
        SendDevInfoReq();
        return true;
    }

    fDevInfo.DevType = devUnknown;
    // Trial open, before the port is taken over: it fails while another program holds the
    // port, and a failure here raises no event.
    std::unique_ptr<ITransport> link = MakeTransport(Port);
    if (!link->open(Port))
        return false;
    link->close();
    setTransport(std::move(link));
    fPortName = Port;
    if (!openPort())
        return false;
    SendDevInfoReq();
    return true;
}

bool TQelBase::openPort()
{
    if (!fComPort->open(fPortName))
        return false; // the error event has reported it
    fReader.clear();
    // Bytes left in the driver from before the open answer nothing asked now.
    fComPort->clearInput();
    return true;
}

void TQelBase::Disconnect()
{
    endDownload(false);
    settle(~0u);
    if (fComPort)
        fComPort->close();
}

void TQelBase::expect(unsigned due)
{
    fDue |= due;
    fNoAnswerTimer.start();
}

void TQelBase::settle(unsigned due)
{
    fDue &= ~due;
    if (fDue == dueNone)
        fNoAnswerTimer.stop();
}

void TQelBase::onNoAnswer()
{
    if (fDue == dueNone)
        return;
    // What was asked for will not come now. A late catalogue or clock answer is still
    // taken as it arrives; the download is over, so that it can be started again.
    endDownload(false);
    fDue = dueNone;
    fReader.clear();
    raise(otNoAnswer);
}

QString TQelBase::GetPortName() const
{
    return fComPort && fComPort->isOpen() ? fPortName : QStringLiteral("COM?");
}

QString TQelBase::GetDeviceName() const
{
    return DeviceDisplayName(fDevInfo, fLang);
}

void TQelBase::SynchronyzeClock()
{
    SendClockWriteReq();
}

void TQelBase::ReadMaterials()
{
    SendMatReadReq();
}

void TQelBase::ReadObjects()
{
    SendObjReadReq();
}

void TQelBase::ComPortException(bool gone)
{
    if (gone) {
        endDownload(false);
        settle(~0u); // nothing can come any more; the disconnect says so
    }
    // Reported from the event loop, after any frames that arrived before the error: the
    // port is inside its signal now.
    QMetaObject::invokeMethod(
        this, [this] { raise(otDevDisconnected); }, Qt::QueuedConnection);
}

bool TQelBase::raise(TOperationType op)
{
    switch (op) {
    case otArchReadComplete:
    case otArchTooLarge:
        settle(dueArchive);
        break;
    case otMatRead:
        settle(dueMat);
        break;
    case otObjRead:
        settle(dueObj);
        break;
    case otClockWrite:
        settle(dueClock);
        break;
    case otMeasIsGoing:
        settle(dueArchive | dueClock); // answered, though not served
        break;
    default:
        break;
    }
    if (!fComCallback)
        return true;
    QPointer<TQelBase> self(this);
    // A copy: the callback may install another callback or release this object.
    TCmdCompleteEvent cb = fComCallback;
    cb(op);
    return !self.isNull();
}

// ---------------------------------------------------------------- requests

void TQelBase::writeFrame(const QByteArray& frame)
{
    if (!fComPort || !fComPort->isOpen()) {
        // A request on a closed port fails in the port and is reported as such; no
        // answer can come to it.
        endDownload(false);
        settle(~0u);
        raise(otDevDisconnected);
        return;
    }
    fComPort->write(frame);
}

void TQelBase::SendDevInfoReq()
{
    writeFrame(devInfoReq());
}
void TQelBase::SendMatReadReq()
{
    expect(dueMat);
    writeFrame(matReadReq());
}
void TQelBase::SendObjReadReq()
{
    expect(dueObj);
    writeFrame(objReadReq());
}
void TQelBase::SendArchHeadReq()
{
    expect(dueArchive);
    fArchAskedAt = fReader.received();
    writeFrame(archHeadReq());
}

void TQelBase::SendMatWriteReq()
{
    writeFrame(
        matWriteReq(QByteArrayView(reinterpret_cast<const char*>(MatCfg.data()), kMatCfgSize)));
}

void TQelBase::SendObjWriteReq()
{
    writeFrame(
        objWriteReq(QByteArrayView(reinterpret_cast<const char*>(ObjCfg.data()), kObjCfgSize)));
}

void TQelBase::SendArchBlockReq(uint16_t lastAbsIndex)
{
    fArchAskedAt = fReader.received();
    fArchAskedAfter = lastAbsIndex;
    writeFrame(archBlockReq(lastAbsIndex));
}

void TQelBase::SendArchSamplesReq(uint16_t absIndex, uint16_t firstSample)
{
    fArchAskedAt = fReader.received();
    writeFrame(archSamplesReq(absIndex, firstSample));
}

void TQelBase::SendResultDeleteReq(uint16_t absIndex, uint16_t count)
{
    writeFrame(resultDeleteReq(absIndex, count));
}

void TQelBase::SendClockWriteReq()
{
    // Time of day first, then the date, as one consistent local reading.
    const QDateTime now = QDateTime::currentDateTime();
    const QTime t = now.time();
    const QDate d = now.date();
    expect(dueClock);
    writeFrame(clockWriteReq(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()));
}

void TQelBase::SendScreenReq()
{
    if (fComPort && fComPort->isOpen())
        writeFrame(screenReq());
}

// ---------------------------------------------------------------- receiving

void TQelBase::onBytesArrived()
{
    const QByteArray bytes = fComPort->readAll();
    fReader.append(bytes, fClock.elapsed());
    if (bytes.isEmpty())
        return;
    if (fDue != dueNone)
        fNoAnswerTimer.start(); // the instrument is talking: the silence starts anew
    emit bytesReceived();
    if (fDrainPending)
        return;
    fDrainPending = true;
    QMetaObject::invokeMethod(this, &TQelBase::drainFrames, Qt::QueuedConnection);
}

void TQelBase::ComPortRxBuf(QByteArrayView bytes, qint64 nowMs)
{
    fReader.append(bytes, nowMs);
    if (fDue != dueNone && !bytes.isEmpty())
        fNoAnswerTimer.start();
    drainFrames();
}

void TQelBase::drainFrames()
{
    fDrainPending = false;
    QByteArray frame;
    QPointer<TQelBase> self(this);
    // Each frame is taken off the reader before it is handled, so a handler that runs
    // a nested event loop receives further frames in order inside it.
    while (fReader.takeFrame(frame)) {
        if (!dispatchFrame(frame) || self.isNull())
            return;
    }
}

bool TQelBase::dispatchFrame(const QByteArray& frame)
{
    const char* f = frame.constData();
    const int size = int(frame.size());
    switch (uint8_t(f[3])) {
    case dcDevInfo:
        if (size < kHeaderSize + int(sizeof(TQelInfo)))
            return true; // too short to carry an identity: not one
        std::memcpy(&fDevInfo, f + kHeaderSize, sizeof(TQelInfo));
        return raise(otDevConnect);
    case dcMatRead:
        if (size < 4 + kMatCfgSize)
            return true;
        std::memcpy(MatCfg.data(), f + 4, kMatCfgSize);
        return raise(otMatRead);
    case dcMatWrite:
        return raise(otMatWrite);
    case dcObjRead:
        if (size < 4 + kObjCfgSize)
            return true;
        std::memcpy(ObjCfg.data(), f + 4, kObjCfgSize);
        return raise(otObjRead);
    case dcObjWrite:
        return raise(otObjWrite);
    case dcArchHead:
        return onArchHead(frame);
    case dcArchBlock:
        return onArchBlock(frame);
    case dcArchSamples:
        return onArchSamples(frame);
    case dcResultDelete:
        return raise(otResultDelete);
    case dcClockWrite:
        return raise(otClockWrite);
    case dcScreenShot:
        return onScreenPart(frame);
    case dcMeasIsGoing:
        endDownload(false); // the instrument serves no download while it measures
        return raise(otMeasIsGoing);
    default:
        return true; // accepted and ignored
    }
}

bool TQelBase::onScreenPart(const QByteArray& frame)
{
    const char* f = frame.constData();
    const int size = int(frame.size());
    // The count is clamped to what the frame holds and to the room left in the buffer.
    int m = le16(f + 6);
    m = qMin(m, (size - kHeaderSize) / kScreenEntrySize);
    m = qMin(m, kScreenMaxEntries - fScreenCtrl.SecTotal);
    if (m > 0) {
        std::memcpy(fScreenArr.get() + qsizetype(fScreenCtrl.SecTotal) * kScreenEntrySize,
                    f + kHeaderSize, size_t(m) * kScreenEntrySize);
        fScreenCtrl.SecTotal += m;
    }
    if (f[4] != 0)
        return raise(otScreenReady);
    return true;
}

void TQelBase::GetScreenShot()
{
    fScreenCtrl = {};
    SendScreenReq();
}

void TQelBase::UpdateScreenImg(QImage& Image)
{
    Image = qelscreen::screenImage(fScreenArr.get(), fScreenCtrl.SecTotal);
}

QByteArray TQelBase::screenBitmap() const
{
    return qelscreen::screenBitmap(fScreenArr.get(), fScreenCtrl.SecTotal);
}

// ---------------------------------------------------------------- archive counters

uint16_t TQelBase::GetArchTotal() const
{
    return uint16_t(fArchTotal - fArchStart);
}

uint16_t TQelBase::GetArchCount() const
{
    return uint16_t(fArchive.size() - fArchStart);
}

// ---------------------------------------------------------------- results

void TQelBase::ClearArchive()
{
    if (!breakDownload())
        return;
    fArchive.clear();
}

QString TQelBase::GetComment(int32_t Index) const
{
    if (Index < 0 || Index >= fArchive.size())
        return {};
    return fArchive[Index].UserComment;
}

void TQelBase::SetComment(int32_t Index, const QString& Text)
{
    if (Index < 0 || Index >= fArchive.size())
        return;
    fArchive[Index].UserComment = Text;
}

void TQelBase::UpdateMaterialsGrid(TStringGrid& Grid)
{
    qelcat::fillMaterialsGrid(MatCfg, fLang, Grid);
}

// A cell that does not parse changes nothing and sends nothing: a half-applied block
// would reach the instrument with the next write.
void TQelBase::ApplyMaterials(TStringGrid& Grid)
{
    if (!qelcat::applyMaterialsGrid(MatCfg, Grid).isValid())
        SendMatWriteReq();
}

void TQelBase::ResetMaterials()
{
    qelcat::resetMaterials(MatCfg, fLang);
}

void TQelBase::UpdateObjectsGrid(TStringGrid& Grid)
{
    qelcat::fillObjectsGrid(ObjCfg, fLang, Grid);
}

void TQelBase::ApplyObjects(TStringGrid& Grid)
{
    qelcat::applyObjectsGrid(ObjCfg, Grid);
    SendObjWriteReq();
}

void TQelBase::ResetObjects()
{
    qelcat::resetObjects(ObjCfg, fLang);
}

// The table has no detail grid; the grid stays as it is.
void TQelBase::UpdateDetailGrid(TStringGrid&, int32_t) {}
