#include "Workspace.h"

#include "data/Merge.h"

#include <QPointer>
#include <cstring>

namespace {

// A count shown to the user never goes below 0: a download broken off and merged again
// can leave more copies than new results.
TArchDupStat clamped(TArchDupStat st)
{
    st.New = qMax<int32_t>(0, st.New);
    return st;
}

} // namespace

TWorkspace::TWorkspace(QObject* parent) : QObject(parent) {}

TWorkspace::~TWorkspace()
{
    if (ActiveDevice)
        ActiveDevice->SetComCallback({});
    ActiveDevice.reset();
}

TQelBase* TWorkspace::device() const
{
    return dynamic_cast<TQelBase*>(ActiveDevice.get());
}

void TWorkspace::setLang(TLang lang)
{
    fLang = lang;
}

void TWorkspace::setDimension(EPressureUnits dim)
{
    fDimension = dim;
    if (ActiveDevice)
        ActiveDevice->SetDimension(dim);
}

void TWorkspace::setStatus(const QString& text)
{
    fStatus = text;
    emit statusChanged(text);
}

void TWorkspace::setStatus1(const QString& text)
{
    fStatus1 = text;
    emit status1Changed(text);
}

void TWorkspace::hide()
{
    fWaiting = true;
    emit hideResults();
}

void TWorkspace::showHeld()
{
    fWaiting = false;
    if (ActiveDevice)
        ActiveDevice->RemoveDuplicates();
    emit showResults();
}

bool TWorkspace::isModified() const
{
    const TQelBase* dev = device();
    if (!dev)
        return false;
    const QList<TCalcQEL>& now = dev->archive();
    if (now.constData() == fSaved.constData() && now.size() == fSaved.size())
        return false;
    if (now.size() != fSaved.size())
        return true;
    for (qsizetype i = 0; i < now.size(); ++i) {
        const TCalcQEL& a = now[i];
        const TCalcQEL& b = fSaved[i];
        if (std::memcmp(&a.ArchRes, &b.ArchRes, sizeof a.ArchRes) != 0 || a.Samples != b.Samples ||
            a.UserComment != b.UserComment)
            return true;
    }
    return false;
}

void TWorkspace::markSaved()
{
    if (const TQelBase* dev = device())
        fSaved = dev->archive();
}

TWorkspace::TBegin TWorkspace::askBegin(bool mergeWithoutAsking)
{
    if (!ActiveDevice)
        return bgNew;
    if (mergeWithoutAsking || (fAsk && fAsk(qMergeResults, msg(msgMergeResults))))
        return bgMerge;
    if (isModified() && fMayDiscard && !fMayDiscard())
        return bgKeep;
    return bgNew;
}

bool TWorkspace::BeginWorkspace(int Model)
{
    fCancelled = false;
    const bool wasLoadTypeFile = fLoadTypeFile;
    fLoadTypeFile = false;
    switch (askBegin(false)) {
    case bgMerge:
        fLoadTypeFile = true;
        return true;
    case bgKeep:
        fLoadTypeFile = wasLoadTypeFile;
        fCancelled = true;
        return false;
    case bgNew:
        break;
    }
    return NewWorkspace(Model);
}

std::shared_ptr<TQelBase> TWorkspace::makeDevice()
{
    std::shared_ptr<TQelBase> dev = NewQelBase();
    dev->SetLang(fLang);
    dev->SetDimension(fDimension);
    dev->setNoAnswerTimeout(fNoAnswerMs);
    return dev;
}

void TWorkspace::install(std::shared_ptr<TQelBase> dev)
{
    if (ActiveDevice)
        ActiveDevice->SetComCallback({});
    QPointer<TWorkspace> self(this);
    dev->SetComCallback([self](TOperationType op) {
        if (self)
            self->CmdComplete(op);
    });
    fSaved = dev->archive();
    ActiveDevice = std::move(dev); // releases the previous workspace, which closes its port
    fConnectedPort.clear();
    fReading = false;
    isReadAfterClockWrite = false;
    emit workspaceReplaced();
}

bool TWorkspace::NewWorkspace(int Model)
{
    // A model this program has no name for is handled like the first one, rather than
    // leaving the window without a workspace.
    Q_UNUSED(Model);
    install(makeDevice());
    return true;
}

void TWorkspace::closeWorkspace()
{
    if (ActiveDevice)
        ActiveDevice->SetComCallback({});
    ActiveDevice.reset(); // closes the port: the connection ends too
    fSaved.clear();
    fConnectedPort.clear();
    fReading = false;
    isReadAfterClockWrite = false;
    hide();
    setStatus(msg(msgReady));
    setStatus1(msg(msgNotConnected));
}

bool TWorkspace::connectTo(const QString& port, int model)
{
    if (!BeginWorkspace(model))
        return false;
    hide();
    if (!ActiveDevice->Connect(port)) {
        setStatus(msg(msgPortBusy));
        return false;
    }
    fConnectedPort = port;
    return true;
}

void TWorkspace::readArchive()
{
    TQelBase* dev = device();
    if (!dev) {
        setStatus(msg(msgDevNotSelected));
        return;
    }
    // A second download into the same list would count the first one's results twice.
    if (fReading) {
        setStatus(msg(msgArchReading));
        return;
    }
    hide();
    setStatus(msg(msgArchReading));
    fReading = true;
    dev->ReadArchive();
}

void TWorkspace::synchronizeClock()
{
    if (TQelBase* dev = device())
        dev->SynchronyzeClock();
    else
        setStatus(msg(msgDevNotSelected));
}

bool TWorkspace::removeResults(int Start, int Count)
{
    TQelBase* dev = device();
    if (!dev || Count <= 0)
        return false;
    const bool fromDevice = !fLoadTypeFile;
    if (fromDevice && !(fAsk && fAsk(qDeleteFromDevice, msg(msgDeleteFromDevice).arg(Count))))
        return false;
    dev->RemoveResults(Start, Count, fromDevice);
    return true;
}

bool TWorkspace::openFile(const QString& FileName, bool mergeWithoutAsking)
{
    fCancelled = false;
    fLastError.clear();
    const TBegin begin = askBegin(mergeWithoutAsking);
    if (begin == bgKeep) {
        fCancelled = true;
        return false;
    }
    // A new workspace takes the place of the one in use only once the file has been read:
    // a file that fails must not cost the results held.
    std::shared_ptr<TQelBase> fresh = begin == bgNew ? makeDevice() : nullptr;
    TQelBase* target = fresh ? fresh.get() : device();
    if (!target->LoadFromFile(FileName)) {
        fLastError = target->GetLastError();
        return false;
    }
    if (fresh)
        install(std::move(fresh));
    TQelBase* dev = device();
    const TArchDupStat st = clamped(dev->RemoveDuplicates());
    fOpenedStat = st;
    if (begin == bgNew)
        markSaved();
    setStatus(FileOpenedText(st, fLang));
    fLoadTypeFile = true;
    fWaiting = false;
    emit showResults();
    setStatus1(dev->GetDeviceName());
    return true;
}

void TWorkspace::instrumentGone()
{
    if (fConnectedPort.isEmpty())
        return;
    fConnectedPort.clear();
    // No instrument is chosen by itself any more, and deletions stay local.
    fLoadTypeFile = true;
    isReadAfterClockWrite = false;
    fReading = false;
    setStatus1(msg(msgNotConnected));
    if (fWaiting)
        showHeld();
    setStatus(msg(msgDevDisconnected));
    emit instrumentLost();
}

void TWorkspace::CmdComplete(TOperationType Op)
{
    TQelBase* dev = device();
    if (!dev)
        return;
    switch (Op) {
    case otDevConnect:
        setStatus1(dev->GetDeviceName());
        if (fAutoClock) {
            isReadAfterClockWrite = fReadOnConnect;
            dev->SynchronyzeClock();
        } else if (fReadOnConnect) {
            readArchive();
        }
        break;
    case otArchReadContinue: {
        // The announced count is taken twice, once for the records and once for the
        // series; a result is complete with its series.
        const TArchLoadProgress p = dev->GetLoadProgress();
        const int total = p.Total / 2;
        emit progressChanged(qBound(0, int(p.Current) - total, total), total);
        break;
    }
    case otArchReadComplete: {
        fReading = false;
        const TArchReadOutcome outcome = dev->GetReadOutcome();
        const TArchDupStat st = clamped(dev->RemoveDuplicates());
        // What arrived is shown either way; the status says when it is not all.
        setStatus(outcome.complete() ? ArchReadText(st, fLang)
                                     : ArchIncompleteText(outcome, fLang));
        fWaiting = false;
        emit showResults();
        break;
    }
    case otMatRead:
        setStatus(msg(msgMatRead));
        break;
    case otMatWrite:
        setStatus(msg(msgMatWritten));
        break;
    case otObjRead:
        setStatus(msg(msgObjRead));
        break;
    case otObjWrite:
        setStatus(msg(msgObjWritten));
        break;
    case otClockWrite: {
        setStatus(msg(msgClockSynced));
        const bool read = isReadAfterClockWrite;
        isReadAfterClockWrite = false;
        if (read)
            readArchive();
        break;
    }
    case otResultDelete:
        setStatus(msg(msgResultsRemoved));
        break;
    case otMeasIsGoing:
        // The download stops; the views stay hidden.
        fReading = false;
        setStatus(msg(msgMeasIsGoing));
        break;
    case otArchTooLarge:
        fReading = false;
        showHeld();
        setStatus(msg(msgArchTooLarge));
        break;
    case otNoAnswer:
        fReading = false;
        isReadAfterClockWrite = false;
        if (!fConnectedPort.isEmpty()) {
            // A late answer would continue a download into a list that is sorted now:
            // the link is closed instead, and choosing the instrument again reconnects.
            dev->Disconnect();
            fConnectedPort.clear();
            fLoadTypeFile = true;
            setStatus1(msg(msgNotConnected));
            emit instrumentLost();
        }
        if (fWaiting)
            showHeld();
        setStatus(msg(msgNoAnswer));
        break;
    case otDevDisconnected:
        // The port has closed under us: nothing more can come.
        if (dev->GetPortName() == QStringLiteral("COM?")) {
            if (!fConnectedPort.isEmpty()) {
                instrumentGone();
            } else if (fWaiting) {
                fReading = false;
                showHeld();
            }
        }
        break;
    case otScreenReady:
    default:
        break;
    }
    emit completed(Op);
}
