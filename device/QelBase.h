// The device object: owns the serial port to one instrument, its identity, the results
// held, the two catalogue blocks and the screen buffer. Every exchange is asynchronous;
// outcomes arrive through the one completion callback.
#pragma once

#include "Protocol.h"
#include "Transport.h"
#include "data/QelTypes.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QImage;
class TStringGrid;
class ISeriesSink;

enum TOperationType : int
{
    otDevConnect = 0,
    otArchReadContinue = 1,
    otArchReadComplete = 2,
    otMatRead = 3,
    otMatWrite = 4,
    otObjRead = 5,
    otObjWrite = 6,
    otClockWrite = 7,
    otResultDelete = 8,
    otDevDisconnected = 9,
    otScreenReady = 10,
    otMeasIsGoing = 11,
    otArchTooLarge = 12, // a download would pass kMaxArchive results; nothing was added
    otNoAnswer = 13,     // no byte for the no-answer time while an answer was due
};

// Silence after which a due answer counts as lost.
constexpr int kNoAnswerMs = 10000;

using TCmdCompleteEvent = std::function<void(TOperationType)>;

class IQel
{
public:
    virtual ~IQel() = default;

    virtual bool Connect(const QString& Port) = 0;
    virtual void Disconnect() = 0;
    virtual void SynchronyzeClock() = 0;
    virtual void GetScreenShot() = 0;
    virtual void UpdateScreenImg(QImage& Image) = 0;
    virtual TArchDupStat RemoveDuplicates() = 0;
    virtual void ReadArchive() = 0;
    virtual void UpdateBasicGrid(TStringGrid& Grid) = 0;
    virtual void UpdateDetailGrid(TStringGrid& Grid, int32_t Idx) = 0;
    virtual void UpdateGraph(ISeriesSink& Graph, int32_t Idx) = 0;
    // Throws std::runtime_error with the reason when the file cannot be written.
    virtual void SaveToFile(const QString& FileName) = 0;
    virtual bool LoadFromFile(const QString& FileName) = 0;
    virtual void RemoveResults(int32_t Start, int32_t Count, bool FromDevice) = 0;
    virtual void ReadMaterials() = 0;
    virtual void UpdateMaterialsGrid(TStringGrid& Grid) = 0;
    virtual void ApplyMaterials(TStringGrid& Grid) = 0;
    virtual void ResetMaterials() = 0;
    virtual void ReadObjects() = 0;
    virtual void UpdateObjectsGrid(TStringGrid& Grid) = 0;
    virtual void ApplyObjects(TStringGrid& Grid) = 0;
    virtual void ResetObjects() = 0;
    virtual QString GetDeviceName() const = 0;
    virtual TLang GetLang() const = 0;
    virtual void SetLang(TLang Lang) = 0;
    virtual EPressureUnits GetDimension() const = 0;
    virtual void SetDimension(EPressureUnits Dim) = 0;
    virtual void SetComCallback(TCmdCompleteEvent Callback) = 0;
    virtual TCmdCompleteEvent GetComCallback() const = 0;
    virtual uint8_t GetDevType() const = 0;
    virtual QString GetComment(int32_t Index) const = 0;
    virtual void SetComment(int32_t Index, const QString& Text) = 0;
    virtual uint16_t GetArchTotal() const = 0;
    virtual uint16_t GetArchCount() const = 0;
    virtual TArchLoadProgress GetLoadProgress() const = 0;
    virtual QString GetPortName() const = 0;
    // Why the last LoadFromFile failed, in the object's language; empty after a success.
    virtual QString GetLastError() const = 0;
    // How the last archive read went; all zero before the first.
    virtual TArchReadOutcome GetReadOutcome() const = 0;
    virtual bool IsReading() const = 0;
};

// The current workspace; empty until an instrument is chosen or a file is opened.
extern std::shared_ptr<IQel> ActiveDevice;

class TQelBase;
// A device object whose last owner releases it with deleteLater: its port may still be
// inside a signal when the last reference goes.
std::shared_ptr<TQelBase> NewQelBase();

// The display name of an identity in a language ("QEL-1.2 № A005"); empty for DevType 0.
QString DeviceDisplayName(const TQelInfo& info, TLang lang);

class TQelBase : public QObject, public IQel
{
    Q_OBJECT
public:
    explicit TQelBase(QObject* parent = nullptr);
    ~TQelBase() override;

    // IQel
    bool Connect(const QString& Port) override;
    void Disconnect() override;
    void SynchronyzeClock() override;
    void GetScreenShot() override;
    void UpdateScreenImg(QImage& Image) override;
    TArchDupStat RemoveDuplicates() override;
    void ReadArchive() override;
    void UpdateBasicGrid(TStringGrid& Grid) override;
    void UpdateDetailGrid(TStringGrid& Grid, int32_t Idx) override;
    void UpdateGraph(ISeriesSink& Graph, int32_t Idx) override;
    void SaveToFile(const QString& FileName) override;
    bool LoadFromFile(const QString& FileName) override;
    void RemoveResults(int32_t Start, int32_t Count, bool FromDevice) override;
    void ReadMaterials() override;
    void UpdateMaterialsGrid(TStringGrid& Grid) override;
    void ApplyMaterials(TStringGrid& Grid) override;
    void ResetMaterials() override;
    void ReadObjects() override;
    void UpdateObjectsGrid(TStringGrid& Grid) override;
    void ApplyObjects(TStringGrid& Grid) override;
    void ResetObjects() override;
    QString GetDeviceName() const override;
    TLang GetLang() const override { return fLang; }
    void SetLang(TLang Lang) override { fLang = Lang; }
    EPressureUnits GetDimension() const override { return fDimension; }
    void SetDimension(EPressureUnits Dim) override { fDimension = Dim; }
    void SetComCallback(TCmdCompleteEvent Callback) override { fComCallback = std::move(Callback); }
    TCmdCompleteEvent GetComCallback() const override { return fComCallback; }
    uint8_t GetDevType() const override { return fDevInfo.DevType; }
    QString GetComment(int32_t Index) const override;
    void SetComment(int32_t Index, const QString& Text) override;
    uint16_t GetArchTotal() const override;
    uint16_t GetArchCount() const override;
    TArchLoadProgress GetLoadProgress() const override { return fArchLoadProg; }
    QString GetPortName() const override;
    QString GetLastError() const override { return fLastError; }
    TArchReadOutcome GetReadOutcome() const override { return fArchOutcome; }
    bool IsReading() const override { return fArchState != asIdle; }

    // Order of results: negative when x comes first (newer; of one minute the higher
    // number), 0 when both have the same date, time and number.
    static int CompareResults(const TCalcQEL& x, const TCalcQEL& y);

    // Read access for the views, files and tests.
    const TQelInfo& devInfo() const { return fDevInfo; }
    const QList<TCalcQEL>& archive() const { return fArchive; }
    const std::array<TQelMaterial, kMaterialCount>& matCfg() const { return MatCfg; }
    const std::array<TQelObject, kObjectCount>& objCfg() const { return ObjCfg; }
    uint16_t archLastReaded() const { return fArchLastReaded; }
    int screenEntries() const { return fScreenCtrl.SecTotal; }
    const char* screenBuffer() const { return fScreenArr.get(); }
    // The screen held as the 81,974-byte bitmap file that UpdateScreenImg shows.
    QByteArray screenBitmap() const;

    // The silence after which a due answer counts as lost (kNoAnswerMs).
    void setNoAnswerTimeout(int ms) { fNoAnswerTimer.setInterval(ms); }

    // The receive handler: bytes as the port delivered them, at nowMs of a monotonic clock.
    // The frames completed are handled before it returns.
    void ComPortRxBuf(QByteArrayView bytes, qint64 nowMs);

    std::array<TQelObject, kObjectCount> ObjCfg{};
    std::array<TQelMaterial, kMaterialCount> MatCfg{};

signals:
    // Bytes came from the instrument: it is alive, whatever they turn out to be.
    void bytesReceived();

private:
    // The port's own signals only collect bytes and post the handling: a callback never
    // runs inside them, so it may run a nested event loop (a modal window) and still
    // receive, or release this object.
    void onBytesArrived();
    void drainFrames();
    void ComPortException(bool gone);
    void setTransport(std::unique_ptr<ITransport> link);
    bool openPort();
    // Calls the callback if one is installed. Returns false when the callback destroyed
    // this object, so that the caller touches nothing more.
    bool raise(TOperationType op);
    void writeFrame(const QByteArray& frame);
    // Handles one whole frame by its code; false when this object is gone.
    bool dispatchFrame(const QByteArray& frame);
    bool onArchHead(const QByteArray& frame);
    bool onArchBlock(const QByteArray& frame);
    bool onArchSamples(const QByteArray& frame);
    bool beginSamplePhase();
    void requestNextSamples();
    // The reply just taken arrived after the last download request went out: an earlier
    // copy of an answer already handled cannot pass for the answer to this one.
    bool answersLastRequest() const;
    // Raises a download event; false when the object is gone or the callback ended this
    // download (the caller then sends nothing more).
    bool raiseInDownload(TOperationType op);
    void endDownload(bool finished);
    // A change of the results ends a running download first, reported as complete; false
    // when the callback released this object.
    bool breakDownload();
    bool onScreenPart(const QByteArray& frame);
    void ClearArchive();
    // Answers the object waits for: an archive read, a catalogue read, a clock write.
    enum Due : unsigned
    {
        dueNone = 0,
        dueArchive = 1,
        dueMat = 2,
        dueObj = 4,
        dueClock = 8
    };
    void expect(unsigned due);
    void settle(unsigned due);
    void onNoAnswer();

    void SendDevInfoReq();
    void SendMatReadReq();
    void SendMatWriteReq();
    void SendObjReadReq();
    void SendObjWriteReq();
    void SendArchHeadReq();
    void SendArchBlockReq(uint16_t lastAbsIndex);
    void SendArchSamplesReq(uint16_t absIndex, uint16_t firstSample);
    void SendResultDeleteReq(uint16_t absIndex, uint16_t count);
    void SendClockWriteReq();
    void SendScreenReq();

    struct TDeleteLater
    {
        void operator()(QObject* o) const { o->deleteLater(); }
    };
    // Released with deleteLater: it may be inside one of its signals when replaced.
    std::unique_ptr<ITransport, TDeleteLater> fComPort;
    QString fPortName; // as given to Connect, so that it compares with the discovery's names
    TQelInfo fDevInfo{};
    TLang fLang = ruRU;
    EPressureUnits fDimension = puKPa;
    TCmdCompleteEvent fComCallback;
    QList<TCalcQEL> fArchive;
    uint16_t fArchHead = 0;
    uint16_t fArchTotal = 0;
    uint16_t fArchStart = 0;
    uint16_t fArchLastReaded = 0;
    TArchLoadProgress fArchLoadProg;
    enum TArchState
    {
        asIdle,
        asHead,
        asRecords,
        asSamples
    };
    TArchState fArchState = asIdle;
    unsigned fArchRun = 0;   // changes at every start and end of a download
    qint64 fArchAskedAt = 0; // bytes received when the last download request went out
    uint16_t fArchAskedAfter = 0;
    std::vector<bool> fArchSeen; // AbsIndex of the records this download brought
    TArchReadOutcome fArchOutcome;
    // The series due: the result at startIdx + curIdx, named by its identity as well, so
    // that a reply is never stored into another result.
    struct
    {
        uint16_t startIdx = 0;
        uint16_t curIdx = 0;
        uint16_t curOffset = 0;
        TArchBase id{};
    } fArchSamples;
    std::unique_ptr<char[]> fScreenArr;
    struct
    {
        int32_t x = 0;
        int32_t y = 0;
        int32_t SecTotal = 0;
    } fScreenCtrl;

    QString fLastError;
    unsigned fDue = dueNone;
    QTimer fNoAnswerTimer;
    qelproto::TFrameReader fReader;
    bool fDrainPending = false;
    QElapsedTimer fClock;
};
