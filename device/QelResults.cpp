// The results held by the device object: ordering and removal, archive files and the views,
// over the functions of the data layer.
#include "QelBase.h"
#include "data/ArchiveFile.h"
#include "data/Merge.h"
#include "data/Views.h"

#include <QPointer>
#include <stdexcept>

int TQelBase::CompareResults(const TCalcQEL& x, const TCalcQEL& y)
{
    return ::CompareResults(x, y);
}

TArchDupStat TQelBase::RemoveDuplicates()
{
    if (!breakDownload())
        return {};
    const TArchDupStat stat = ::RemoveDuplicates(fArchive, fArchLastReaded);
    fArchTotal = uint16_t(qMin<qsizetype>(fArchive.size(), kMaxArchive));
    // One removal event per copy dropped, as removing them one by one would give; the
    // archive is already consistent, and a callback that releases us ends the loop.
    for (int32_t i = 0; i < stat.Duplicates && fComCallback; ++i) {
        if (!raise(otResultDelete))
            break;
    }
    return stat;
}

void TQelBase::RemoveResults(int32_t Start, int32_t Count, bool FromDevice)
{
    if (!breakDownload())
        return;
    if (FromDevice && Start >= 0 && Count > 0 && Start < fArchive.size()) {
        const qsizetype n = qMin<qsizetype>(Count, fArchive.size() - Start);
        // Sent before the local removal: it names the first result by its AbsIndex. The
        // count is what goes here too, so the instrument is never told to delete results
        // beyond the block.
        QPointer<TQelBase> self(this);
        SendResultDeleteReq(fArchive[Start].ArchRes.Base.AbsIndex,
                            uint16_t(qMin<qsizetype>(n, 0xFFFF)));
        if (!self)
            return; // a failed request's event released us
    }
    // Measured again inside: an event raised by the request may have changed the archive.
    RemoveResultBlock(fArchive, Start, Count);
    fArchTotal = uint16_t(qMin<qsizetype>(fArchive.size(), kMaxArchive));
    // From the device, the event comes with the instrument's reply.
    if (!FromDevice)
        raise(otResultDelete);
}

void TQelBase::SaveToFile(const QString& FileName)
{
    SaveArchiveFile(FileName, fDevInfo, fArchive, fLang);
}

bool TQelBase::LoadFromFile(const QString& FileName)
{
    // Read aside and appended only when the whole file is good: a bad file must not cost
    // the results already held.
    if (!breakDownload())
        return false;
    TQelInfo info{};
    QList<TCalcQEL> loaded;
    if (!LoadArchiveFile(FileName, fArchive.size(), fLang, info, loaded, fLastError))
        return false;
    fArchLastReaded = uint16_t(loaded.size());
    fArchive.append(std::move(loaded));
    fArchTotal = uint16_t(fArchive.size());
    fDevInfo = info;
    return true;
}

void TQelBase::UpdateBasicGrid(TStringGrid& Grid)
{
    FillBasicGrid(Grid, fArchive, fLang, fDimension);
}

void TQelBase::UpdateGraph(ISeriesSink& Graph, int32_t Idx)
{
    if (Idx < 0 || Idx >= fArchive.size())
        return;
    FillGraph(Graph, std::as_const(fArchive)[Idx], fLang, fDimension);
}
