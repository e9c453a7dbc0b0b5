// Archive download: against the stand-in on an in-process line for the walk as a whole, and
// with crafted replies for the counters and the clamping of odd replies.
#include "TestSupport.h"
#include "device/QelBase.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cstring>

using namespace qelproto;

namespace {

using testsupport::EventRecorder;
using testsupport::identify;

bool sameResult(const TCalcQEL& a, const TCalcQEL& b)
{
    return std::memcmp(&a.ArchRes, &b.ArchRes, sizeof(TArchQEL)) == 0 && a.Samples == b.Samples;
}

int ceilDiv(int a, int b)
{
    return (a + b - 1) / b;
}

// Replies as the instrument frames them.
QByteArray headReply(uint16_t head, uint16_t count, const TArchQEL& rec)
{
    QByteArray body(4, '\0');
    put16(body.data(), head);
    put16(body.data() + 2, count);
    body.append(reinterpret_cast<const char*>(&rec), sizeof rec);
    return buildFrame(dcArchHead, body);
}

QByteArray recordsReply(const QList<TArchQEL>& recs, int claimed = -1)
{
    QByteArray body(4, '\0');
    body[0] = char(claimed < 0 ? recs.size() : claimed);
    for (const TArchQEL& r : recs)
        body.append(reinterpret_cast<const char*>(&r), sizeof r);
    return buildFrame(dcArchBlock, body);
}

QByteArray samplesReply(const QList<uint16_t>& samples, int claimed = -1)
{
    QByteArray body(4, '\0');
    put16(body.data() + 2, uint16_t(claimed < 0 ? samples.size() : claimed));
    body.append(reinterpret_cast<const char*>(samples.constData()), samples.size() * 2);
    return buildFrame(dcArchSamples, body);
}

TArchQEL record(uint16_t absIndex, uint16_t sampleCount)
{
    TArchQEL r{};
    r.Base.AbsIndex = absIndex;
    r.Base.Num = absIndex + 1;
    r.SampleCount = sampleCount;
    r.SampleFreq = 10;
    r.Pad2[1] = 0x5A; // padding travels unchanged
    return r;
}

QList<int> requestedSampleOffsets(const TQelSim& sim)
{
    QList<int> offsets;
    for (const QByteArray& r : sim.requests())
        if (uint8_t(r[3]) == dcArchSamples)
            offsets.append(le16(r.constData() + 6));
    return offsets;
}

} // namespace

class TstDownload : public QObject
{
    Q_OBJECT
private slots:
    void wholeArchiveArrivesIntact_data();
    void wholeArchiveArrivesIntact();
    void downloadAppendsAfterResultsHeld();
    void singleRecordGoesStraightToSamples_data();
    void singleRecordGoesStraightToSamples();
    void seriesComesInPartsWithOneProgressStep();
    void emptyRecordsReplyEndsWithoutSeries();
    void busyInstrumentStopsTheDownload();
    void emptyArchiveEndsAtTheHead();
    void oddRepliesAreClamped();
    void emptySamplesReplyMovesOn();
    void downloadPastTheLimitIsRefused();

    void staleRepliesNeverReachAnotherResult();
    void secondReadDuringADownloadIsIgnored();
    void strayRepliesWithNoDownloadChangeNothing();
    void changingTheResultsEndsTheDownload_data();
    void changingTheResultsEndsTheDownload();
    void outcomeTellsWhatArrived_data();
    void outcomeTellsWhatArrived();
};

void TstDownload::wholeArchiveArrivesIntact_data()
{
    QTest::addColumn<int>("results");
    QTest::addColumn<int>("samplesEach"); // 0: varied
    QTest::addColumn<int>("recordsPerReply");
    QTest::addColumn<int>("samplesPerReply");
    QTest::addColumn<bool>("split");
    QTest::newRow("defaults") << 20 << 0 << 16 << 500 << false;
    QTest::newRow("two records, 200 samples") << 5 << 1000 << 2 << 200 << false;
    QTest::newRow("largest replies") << 40 << 0 << 255 << 11220 << false;
    QTest::newRow("one record each, odd parts, in pieces") << 6 << 301 << 1 << 37 << true;
    QTest::newRow("in pieces") << 12 << 0 << 3 << 1000 << true;
    QTest::newRow("empty series") << 4 << 0 << 2 << 100 << false; // SampleCount 0 below
}

void TstDownload::wholeArchiveArrivesIntact()
{
    QFETCH(int, results);
    QFETCH(int, samplesEach);
    QFETCH(int, recordsPerReply);
    QFETCH(int, samplesPerReply);
    QFETCH(bool, split);
    TQelSim sim;
    QList<TCalcQEL> arch = makeArchive(results, 3, samplesEach, 65530); // AbsIndex wraps
    if (QByteArray(QTest::currentDataTag()) == "empty series") {
        for (TCalcQEL& r : arch) {
            r.ArchRes.SampleCount = 0;
            r.Samples.clear();
        }
    }
    sim.setArchive(arch);
    sim.setRecordsPerReply(recordsPerReply);
    sim.setSamplesPerReply(samplesPerReply);
    sim.setSplit(split, 11);
    if (split)
        sim.setSplitLimits(300, 3);
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());

    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete, 60000));
    QCOMPARE(rec.count(otArchReadComplete), 1);
    QCOMPARE(rec.ops.last(), otArchReadComplete);

    QCOMPARE(dev.archive().size(), arch.size());
    for (int i = 0; i < arch.size(); ++i)
        QVERIFY2(sameResult(dev.archive()[i], arch[i]), qPrintable(QString::number(i)));
    QCOMPARE(dev.GetLoadProgress().Total, 2 * results);
    QCOMPARE(dev.GetLoadProgress().Current, 2 * results);
    QCOMPARE(dev.GetArchTotal(), uint16_t(results));
    QCOMPARE(dev.GetArchCount(), uint16_t(results));
    QCOMPARE(dev.archLastReaded(), uint16_t(results));

    // Stop and wait: exactly one request per reply the walk needs.
    int samplesRequests = 0;
    for (const TCalcQEL& r : arch)
        samplesRequests += qMax(1, ceilDiv(r.ArchRes.SampleCount, samplesPerReply));
    QCOMPARE(sim.requestCount(dcArchHead), 1);
    QCOMPARE(sim.requestCount(dcArchBlock), ceilDiv(results - 1, recordsPerReply));
    QCOMPARE(sim.requestCount(dcArchSamples), samplesRequests);
    // Progress: after every records reply that leaves records due, at the start of the
    // series and after every series.
    QCOMPARE(rec.count(otArchReadContinue),
             ceilDiv(results - 1, recordsPerReply) - 1 + 1 + results);
}

void TstDownload::downloadAppendsAfterResultsHeld()
{
    TQelSim first, second;
    first.setArchive(makeArchive(10, 1));
    const QList<TCalcQEL> three = makeArchive(3, 2, 0, 500);
    second.setArchive(three);
    second.setRecordsPerReply(1);
    first.setLine(TQelSim::linePipe);
    QVERIFY(first.start());
    second.setLine(TQelSim::linePipe);
    QVERIFY(second.start());

    TQelBase dev;
    QList<QPair<int, int>> totalsSeen; // (GetArchTotal, GetArchCount) at each step
    EventRecorder rec(dev, [&](TOperationType op) {
        if (op == otArchReadContinue)
            totalsSeen.append({dev.GetArchTotal(), dev.GetArchCount()});
    });
    QVERIFY(dev.Connect(first.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    rec.ops.clear();
    totalsSeen.clear();

    QVERIFY(dev.Connect(second.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    QCOMPARE(dev.archive().size(), 13);
    for (int i = 0; i < 3; ++i)
        QVERIFY(sameResult(dev.archive()[10 + i], three[i]));
    // During the records phase only the instrument's records count; afterwards all.
    QCOMPARE(totalsSeen.first(), (QPair<int, int>(3, 2)));
    QCOMPARE(totalsSeen.last(), (QPair<int, int>(13, 13)));
    QCOMPARE(dev.GetLoadProgress().Total, 6);
    QCOMPARE(dev.GetLoadProgress().Current, 6);
    QCOMPARE(dev.archLastReaded(), uint16_t(3));
    QCOMPARE(dev.GetArchTotal(), uint16_t(13));
    QCOMPARE(dev.GetArchCount(), uint16_t(13));
    // The series were asked for the three new records only.
    QList<int> asked;
    for (const QByteArray& r : second.requests())
        if (uint8_t(r[3]) == dcArchSamples && le16(r.constData() + 6) == 0)
            asked.append(le16(r.constData() + 4));
    QCOMPARE(asked, (QList<int>{500, 501, 502}));
}

void TstDownload::singleRecordGoesStraightToSamples_data()
{
    QTest::addColumn<int>("held");
    QTest::newRow("nothing held") << 0;
    QTest::newRow("results held") << 4;
}

void TstDownload::singleRecordGoesStraightToSamples()
{
    QFETCH(int, held);
    TQelSim before, sim;
    before.setArchive(makeArchive(held, 5));
    sim.setArchive(makeArchive(1, 6, 120, 77));
    before.setLine(TQelSim::linePipe);
    QVERIFY(before.start());
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    TArchLoadProgress atStart{};
    EventRecorder rec(dev, [&](TOperationType op) {
        if (op == otArchReadContinue && atStart.Total == 0)
            atStart = dev.GetLoadProgress();
    });
    if (held > 0) {
        QVERIFY(dev.Connect(before.slavePath()));
        dev.ReadArchive();
        QVERIFY(rec.waitFor(otArchReadComplete));
        rec.ops.clear();
        atStart = {};
    }
    QVERIFY(dev.Connect(sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    QCOMPARE(sim.requestCount(dcArchBlock), 0);
    QCOMPARE(atStart.Current, 1);
    QCOMPARE(atStart.Total, 2);
    QCOMPARE(dev.archLastReaded(), uint16_t(1));
    QCOMPARE(dev.archive().size(), held + 1);
    QCOMPARE(dev.archive().last().Samples, sim.archive().first().Samples);
}

void TstDownload::seriesComesInPartsWithOneProgressStep()
{
    TQelSim sim;
    sim.setArchive(makeArchive(1, 8, 1000));
    sim.setSamplesPerReply(200);
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(dev.Connect(sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    QCOMPARE(requestedSampleOffsets(sim), (QList<int>{0, 200, 400, 600, 800}));
    QCOMPARE(rec.count(otArchReadContinue), 2); // the start of the series and its end
    QCOMPARE(dev.archive().first().Samples.size(), 1000);
}

void TstDownload::emptyRecordsReplyEndsWithoutSeries()
{
    TQelSim sim;
    sim.setArchive(makeArchive(5, 9));
    sim.setRecordsPerReply(0);
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(dev.Connect(sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    QCOMPARE(sim.requestCount(dcArchSamples), 0);
    QCOMPARE(dev.archive().size(), 1);
    QVERIFY(dev.archive().first().Samples.isEmpty());
    QCOMPARE(dev.archLastReaded(), uint16_t(0));
}

void TstDownload::busyInstrumentStopsTheDownload()
{
    TQelSim sim;
    sim.setBusy(true);
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(dev.Connect(sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otMeasIsGoing));
    QTest::qWait(100);
    QCOMPARE(sim.requestCount(dcArchHead), 1);
    QCOMPARE(sim.requests().size(), 2); // identity and head, nothing more
    QVERIFY(!rec.ops.contains(otArchReadComplete));
    QVERIFY(dev.archive().isEmpty());
}

void TstDownload::emptyArchiveEndsAtTheHead()
{
    TQelSim sim;
    sim.setArchive({});
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(dev.Connect(sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    QVERIFY(dev.archive().isEmpty());
    QCOMPARE(sim.requests().size(), 2);
}

void TstDownload::oddRepliesAreClamped()
{
    // The replies drive the walk.
    TQelBase dev;
    testsupport::QuietPort port(dev);
    QVERIFY(port.ok());
    EventRecorder rec(dev);
    dev.ReadArchive();
    dev.ComPortRxBuf(headReply(10, 3, record(10, 4)), 0);
    // Claims 200 records but holds two; the total allows two more: both taken.
    dev.ComPortRxBuf(recordsReply({record(11, 4), record(12, 6)}, 200), 1);
    QCOMPARE(dev.archive().size(), 3);
    // A stray records reply past the total adds nothing.
    dev.ComPortRxBuf(recordsReply({record(13, 4)}), 2);
    QCOMPARE(dev.archive().size(), 3);
    // Samples: more than the record holds, and a count beyond the frame.
    dev.ComPortRxBuf(samplesReply({1, 2, 3, 4, 5, 6, 7}), 3);
    QCOMPARE(dev.archive()[0].Samples, (QList<uint16_t>{1, 2, 3, 4}));
    // A count beyond the frame reads only the samples the frame holds: its check bytes
    // are not samples. The rest of the series comes with the next part.
    dev.ComPortRxBuf(samplesReply({9, 8}, 5000), 4);
    QCOMPARE(dev.archive()[1].Samples.size(), 4);
    QCOMPARE(dev.archive()[1].Samples.mid(0, 2), (QList<uint16_t>{9, 8}));
    dev.ComPortRxBuf(samplesReply({7, 6}), 5);
    QCOMPARE(dev.archive()[1].Samples, (QList<uint16_t>{9, 8, 7, 6}));
    dev.ComPortRxBuf(samplesReply({1, 2, 3, 4, 5, 6}), 5);
    QCOMPARE(dev.archive()[2].Samples, (QList<uint16_t>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(rec.count(otArchReadComplete), 1);
    const TArchQEL r12 = record(12, 6);
    QCOMPARE(std::memcmp(&dev.archive()[2].ArchRes, &r12, sizeof r12), 0); // padding kept
    // Nothing is due any more: a stray samples reply changes nothing.
    dev.ComPortRxBuf(samplesReply({1}), 7);
    QCOMPARE(rec.count(otArchReadComplete), 1);
}

void TstDownload::emptySamplesReplyMovesOn()
{
    TQelBase dev;
    testsupport::QuietPort port(dev);
    QVERIFY(port.ok());
    EventRecorder rec(dev);
    dev.ReadArchive();
    dev.ComPortRxBuf(headReply(1, 2, record(1, 10)), 0);
    dev.ComPortRxBuf(recordsReply({record(2, 3)}), 1);
    dev.ComPortRxBuf(samplesReply({5, 5, 5}), 2);
    dev.ComPortRxBuf(samplesReply({}), 3); // the instrument has no more of this series
    QCOMPARE(dev.archive()[0].Samples, (QList<uint16_t>{5, 5, 5}));
    dev.ComPortRxBuf(samplesReply({1, 2, 3}), 4);
    QCOMPARE(dev.archive()[1].Samples, (QList<uint16_t>{1, 2, 3}));
    QCOMPARE(rec.count(otArchReadComplete), 1);
}

void TstDownload::downloadPastTheLimitIsRefused()
{
    TQelBase dev;
    testsupport::QuietPort port(dev);
    QVERIFY(port.ok());
    EventRecorder rec(dev);
    dev.ReadArchive();
    dev.ComPortRxBuf(headReply(1, 1, record(1, 1)), 0);
    dev.ComPortRxBuf(samplesReply({42}), 1);
    QCOMPARE(dev.archive().size(), 1);

    dev.ReadArchive();
    dev.ComPortRxBuf(headReply(7, 65535, record(7, 1)), 2);
    QCOMPARE(rec.ops.last(), otArchTooLarge);
    QCOMPARE(dev.archive().size(), 1);
    QCOMPARE(dev.archive()[0].Samples, QList<uint16_t>{42});
    QCOMPARE(dev.GetArchTotal(), uint16_t(1));
    QCOMPARE(dev.GetArchCount(), uint16_t(1));
    // Replies that follow a refused head find nothing due.
    dev.ComPortRxBuf(recordsReply({record(8, 1)}), 3);
    QCOMPARE(dev.archive().size(), 1);
}

void TstDownload::staleRepliesNeverReachAnotherResult()
{
    // A loaded result whose series was cut short (SampleCount 10, two held) sits where the
    // download's cursor pointed before the list was sorted. Nothing may be copied into it.
    TQelBase dev;
    testsupport::QuietPort port(dev);
    QVERIFY(port.ok());
    EventRecorder rec(dev);
    TCalcQEL cut;
    cut.ArchRes = record(900, 10);
    cut.ArchRes.Base.DateTime = {30, 1, 1, 0, 0}; // newer than the downloaded ones
    cut.Samples = {1, 2};
    QVERIFY(testsupport::loadResults(dev, {cut}));

    dev.ReadArchive();
    dev.ComPortRxBuf(headReply(1, 2, record(1, 3)), 0);
    dev.ComPortRxBuf(recordsReply({record(2, 3)}), 1);
    dev.ComPortRxBuf(samplesReply({5}), 2);             // part of the first series
    dev.ComPortRxBuf(headReply(1, 0, record(1, 3)), 3); // no head is due: ignored
    QVERIFY(dev.IsReading());
    dev.RemoveDuplicates(); // sorts: the cut result is first now; the download ends
    QVERIFY(!dev.IsReading());
    QCOMPARE(rec.count(otArchReadComplete), 1);
    port.requests();
    dev.ComPortRxBuf(samplesReply({7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7}), 4);
    QCOMPARE(dev.archive()[0].Samples, (QList<uint16_t>{1, 2}));
    QCOMPARE(port.requests(), QByteArray()); // and nothing more was asked
}

void TstDownload::secondReadDuringADownloadIsIgnored()
{
    TQelSim sim;
    const QList<TCalcQEL> arch = makeArchive(20, 5);
    sim.setArchive(arch);
    sim.setRecordsPerReply(4);
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    int progress = 0;
    EventRecorder rec(dev, [&](TOperationType op) {
        if (op == otArchReadContinue && ++progress == 2)
            dev.ReadArchive();
    });
    QVERIFY(identify(dev, rec, sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    QCOMPARE(rec.count(otArchReadComplete), 1);
    QCOMPARE(sim.requestCount(dcArchHead), 1);
    QVERIFY(dev.GetReadOutcome().complete());
    QCOMPARE(dev.RemoveDuplicates(), (TArchDupStat{0, 20, 20}));
    QCOMPARE(dev.archive().size(), arch.size());
    for (const TCalcQEL& r : arch) {
        const auto it = std::find_if(dev.archive().cbegin(), dev.archive().cend(),
                                     [&](const TCalcQEL& d) { return sameResult(d, r); });
        QVERIFY(it != dev.archive().cend());
    }
}

void TstDownload::strayRepliesWithNoDownloadChangeNothing()
{
    TQelBase dev;
    testsupport::QuietPort port(dev);
    QVERIFY(port.ok());
    EventRecorder rec(dev);
    TCalcQEL held;
    held.ArchRes = record(3, 5);
    held.Samples = {1, 2, 3, 4, 5};
    QVERIFY(testsupport::loadResults(dev, {held}));
    port.requests();
    dev.ComPortRxBuf(samplesReply({57005, 57005, 57005}), 0);
    dev.ComPortRxBuf(recordsReply({record(4, 1)}), 1);
    dev.ComPortRxBuf(headReply(4, 1, record(4, 1)), 2);
    QCOMPARE(dev.archive().size(), 1);
    QCOMPARE(dev.archive()[0].Samples, (QList<uint16_t>{1, 2, 3, 4, 5}));
    QCOMPARE(port.requests(), QByteArray());
    QVERIFY(rec.ops.isEmpty());
}

void TstDownload::changingTheResultsEndsTheDownload_data()
{
    QTest::addColumn<int>("removed"); // from the front, on the first progress step
    QTest::addColumn<int>("atStep");
    QTest::newRow("some, during the records") << 2 << 1;
    QTest::newRow("all, during the records") << 1000 << 1;
    QTest::newRow("some, during the series") << 2 << 6;
    QTest::newRow("all, during the series") << 1000 << 6;
}

void TstDownload::changingTheResultsEndsTheDownload()
{
    QFETCH(int, removed);
    QFETCH(int, atStep);
    TQelSim sim;
    sim.setArchive(makeArchive(12, 9));
    sim.setRecordsPerReply(3);
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    int step = 0;
    EventRecorder rec(dev, [&](TOperationType op) {
        if (op == otArchReadContinue && ++step == atStep)
            dev.RemoveResults(0, removed, false);
    });
    QVERIFY(identify(dev, rec, sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    QVERIFY(!dev.IsReading());
    QVERIFY(!dev.GetReadOutcome().complete());
    const int requests = int(sim.requests().size());
    // Nothing more is asked for, and late replies find nothing due.
    QTest::qWait(100);
    QCOMPARE(int(sim.requests().size()), requests);
    QCOMPARE(rec.count(otArchReadComplete), 1);
    // The complete event came before the removal's own.
    QCOMPARE(rec.ops.indexOf(otArchReadComplete) < rec.ops.indexOf(otResultDelete), true);
}

void TstDownload::outcomeTellsWhatArrived_data()
{
    QTest::addColumn<int>("announced"); // -1: what is held
    QTest::addColumn<bool>("emptySamples");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<TArchReadOutcome>("outcome");
    QTest::addColumn<bool>("intact");
    QTest::newRow("honest") << -1 << false << false << TArchReadOutcome{6, 6, 0, true} << true;
    QTest::newRow("head over-announces")
        << 9 << false << false << TArchReadOutcome{9, 6, 6, true} << false;
    QTest::newRow("samples without samples")
        << -1 << true << false << TArchReadOutcome{6, 6, 6, true} << false;
    QTest::newRow("every reply twice")
        << -1 << false << true << TArchReadOutcome{6, 6, 0, true} << true;
}

void TstDownload::outcomeTellsWhatArrived()
{
    QFETCH(int, announced);
    QFETCH(bool, emptySamples);
    QFETCH(bool, repeat);
    QFETCH(TArchReadOutcome, outcome);
    QFETCH(bool, intact);
    TQelSim sim;
    const QList<TCalcQEL> arch = makeArchive(6, 4);
    sim.setArchive(arch);
    sim.setRecordsPerReply(2);
    sim.setSamplesPerReply(7);
    sim.setAnnouncedCount(announced);
    sim.setEmptySamples(emptySamples);
    sim.setRepeatReplies(repeat);
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    QCOMPARE(dev.GetReadOutcome(), outcome);
    QCOMPARE(dev.GetReadOutcome().complete(), intact);
    if (intact) {
        QCOMPARE(dev.archive().size(), arch.size());
        for (int i = 0; i < arch.size(); ++i)
            QVERIFY2(sameResult(dev.archive()[i], arch[i]), qPrintable(QString::number(i)));
    }
}

QTEST_GUILESS_MAIN(TstDownload)
#include "tst_download.moc"
