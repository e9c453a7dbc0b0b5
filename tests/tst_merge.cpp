// Ordering the archive newest first, dropping copies of one measurement, and removing blocks
// of results from the archive and the instrument.
#include "TestSupport.h"
#include "data/Merge.h"
#include "device/Protocol.h"
#include "device/QelBase.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <map>
#include <random>
#include <termios.h>
#include <unistd.h>

Q_DECLARE_METATYPE(TCalcQEL)

namespace {

// One result; AbsIndex tells the copies apart, and the samples are derived from it so that
// a record that lost its own series shows.
TCalcQEL res(int abs, TQelDateTime when, int num, const QString& comment = {})
{
    TCalcQEL r;
    r.ArchRes.Base.AbsIndex = uint16_t(abs);
    r.ArchRes.Base.DateTime = when;
    r.ArchRes.Base.Num = uint16_t(num);
    r.ArchRes.SampleCount = 3;
    r.ArchRes.Pad2[1] = uint8_t(abs);
    r.Samples = {uint16_t(abs), uint16_t(abs ^ 0x5A5A), uint16_t(abs * 7)};
    r.UserComment = comment;
    return r;
}

const TQelDateTime kDay{24, 3, 5, 7, 9};

using testsupport::loadResults;

bool load(TQelBase& dev, const QList<TCalcQEL>& results)
{
    return loadResults(dev, results);
}

// Everything a result holds, so that two lists compare whole.
QByteArray content(const TCalcQEL& r)
{
    QByteArray out(reinterpret_cast<const char*>(&r.ArchRes), sizeof r.ArchRes);
    out.append(reinterpret_cast<const char*>(r.Samples.constData()),
               r.Samples.size() * qsizetype(sizeof(uint16_t)));
    out.append(reinterpret_cast<const char*>(r.UserComment.utf16()),
               r.UserComment.size() * qsizetype(sizeof(char16_t)));
    return out;
}

QList<QByteArray> contents(const QList<TCalcQEL>& list)
{
    QList<QByteArray> out;
    for (const TCalcQEL& r : list)
        out.append(content(r));
    return out;
}

QList<int> absIndices(const QList<TCalcQEL>& list)
{
    QList<int> out;
    for (const TCalcQEL& r : list)
        out.append(r.ArchRes.Base.AbsIndex);
    return out;
}

// The plain way: sort keeping equal keys in order, then walk the neighbours and drop one of
// each equal pair, the one with the shorter comment or else the later one.
QList<TCalcQEL> neighbourWalk(QList<TCalcQEL> a)
{
    std::stable_sort(a.begin(), a.end(), [](const TCalcQEL& x, const TCalcQEL& y) {
        return TQelBase::CompareResults(x, y) < 0;
    });
    for (qsizetype i = 1; i < a.size();) {
        if (TQelBase::CompareResults(a[i - 1], a[i]) != 0)
            ++i;
        else if (a[i - 1].UserComment.size() < a[i].UserComment.size())
            a.removeAt(i - 1);
        else
            a.removeAt(i);
    }
    return a;
}

// The same choice by key lookup: per key the first held copy with the longest comment.
QList<TCalcQEL> keptPerKey(const QList<TCalcQEL>& a)
{
    const auto before = [](const TCalcQEL* x, const TCalcQEL* y) {
        return TQelBase::CompareResults(*x, *y) < 0;
    };
    std::map<const TCalcQEL*, const TCalcQEL*, decltype(before)> best(before);
    for (const TCalcQEL& r : a) {
        auto [it, inserted] = best.try_emplace(&r, &r);
        if (!inserted && it->second->UserComment.size() < r.UserComment.size())
            it->second = &r;
    }
    QList<TCalcQEL> out;
    for (const auto& [key, r] : best)
        out.append(*r);
    return out;
}

TQelDateTime randomTime(QRandomGenerator& rng, bool fullRange)
{
    const auto pick = [&](int lo, int hi) { return int8_t(rng.bounded(lo, hi + 1)); };
    if (fullRange)
        return {pick(-128, 127), pick(-128, 127), pick(-128, 127), pick(-128, 127),
                pick(-128, 127)};
    return {pick(-1, 1), pick(1, 2), pick(30, 31), pick(23, 23), pick(0, 1)};
}

QString randomComment(QRandomGenerator& rng)
{
    static const char16_t kLetters[] = u"ab\u0416";
    QString s;
    const int n = rng.bounded(4);
    for (int i = 0; i < n; ++i)
        s.append(QChar(kLetters[rng.bounded(3)]));
    return s;
}

// Records the events and, at each, what the archive looked like.
struct EventLog
{
    explicit EventLog(TQelBase& dev) : fDev(dev)
    {
        dev.SetComCallback([this](TOperationType op) {
            ops.append(op);
            sizes.append(int(fDev.archive().size()));
            totals.append(fDev.GetArchTotal());
        });
    }
    TQelBase& fDev;
    QList<TOperationType> ops;
    QList<int> sizes;
    QList<int> totals;
};

// The master side of a pseudo-terminal, standing in for the instrument's port.
class PtyMaster
{
public:
    PtyMaster()
    {
        fMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fMaster < 0 || ::grantpt(fMaster) != 0 || ::unlockpt(fMaster) != 0)
            return;
        char name[256] = {};
        if (::ptsname_r(fMaster, name, sizeof name) != 0)
            return;
        // Held open so that reads of the master do not fail while the port is closed.
        fSlave = ::open(name, O_RDWR | O_NOCTTY);
        for (int fd : {fMaster, fSlave}) {
            termios t{};
            ::tcgetattr(fd, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
        ::fcntl(fMaster, F_SETFL, ::fcntl(fMaster, F_GETFL) | O_NONBLOCK);
        fName = QString::fromLocal8Bit(name);
    }
    ~PtyMaster()
    {
        for (int fd : {fMaster, fSlave})
            if (fd >= 0)
                ::close(fd);
    }
    QString name() const { return fSlave >= 0 ? fName : QString(); }
    // Bytes written to the port, until `size` have come or the time is up.
    QByteArray read(qsizetype size, int timeoutMs = 1000)
    {
        QByteArray got;
        QDeadlineTimer deadline(timeoutMs);
        while (got.size() < size && !deadline.hasExpired()) {
            char buf[512];
            const ssize_t n = ::read(fMaster, buf, sizeof buf);
            if (n > 0)
                got.append(buf, n);
            else
                QTest::qWait(5);
        }
        return got;
    }

private:
    int fMaster = -1;
    int fSlave = -1;
    QString fName;
};

} // namespace

class TstMerge : public QObject
{
    Q_OBJECT
private slots:
    void compareOrdersNewestFirst_data();
    void compareOrdersNewestFirst();
    void duplicatesKeepLongestCommentNewestFirst_data();
    void duplicatesKeepLongestCommentNewestFirst();
    void emptiedArchiveReportsLatestLoadAsNew();
    void keptCopyTakesTheWholeSeriesOfAnother_data();
    void keptCopyTakesTheWholeSeriesOfAnother();
    void duplicatesMatchNeighbourWalk_data();
    void duplicatesMatchNeighbourWalk();
    void largeMergeKeepsOneCopyOfEach();
    void callbackReleasingObjectEndsDuplicateEvents();
    void removeResultsClampsToArchive_data();
    void removeResultsClampsToArchive();
    void deleteRequestNamesFirstResultAndRemovedCount_data();
    void deleteRequestNamesFirstResultAndRemovedCount();
    void callbackReleasingObjectOnFailedDeleteRequestIsSafe();
};

void TstMerge::compareOrdersNewestFirst_data()
{
    QTest::addColumn<TCalcQEL>("x");
    QTest::addColumn<TCalcQEL>("y");
    QTest::addColumn<int>("sign");
    QTest::newRow("equal keys, other fields differ")
        << res(1, kDay, 5, "abc") << res(2, kDay, 5) << 0;
    QTest::newRow("later year") << res(1, {25, 1, 1, 0, 0}, 0) << res(2, {24, 12, 31, 23, 59}, 9)
                                << -1;
    QTest::newRow("year -1 is before 0")
        << res(1, {-1, 12, 31, 23, 59}, 9) << res(2, {0, 1, 1, 0, 0}, 0) << 1;
    QTest::newRow("month before day")
        << res(1, {24, 2, 1, 0, 0}, 0) << res(2, {24, 1, 31, 23, 59}, 9) << -1;
    QTest::newRow("day before hour")
        << res(1, {24, 3, 4, 23, 59}, 9) << res(2, {24, 3, 5, 0, 0}, 0) << 1;
    QTest::newRow("hour before minute")
        << res(1, {24, 3, 5, 8, 0}, 0) << res(2, {24, 3, 5, 7, 59}, 9) << -1;
    QTest::newRow("minute before number")
        << res(1, {24, 3, 5, 7, 8}, 9) << res(2, {24, 3, 5, 7, 9}, 0) << 1;
    QTest::newRow("higher number first") << res(1, kDay, 8) << res(2, kDay, 7) << -1;
    QTest::newRow("number is unsigned") << res(1, kDay, 0x8000) << res(2, kDay, 0x7FFF) << -1;
    QTest::newRow("minute byte is signed")
        << res(1, {24, 3, 5, 7, -128}, 0) << res(2, {24, 3, 5, 7, 0}, 0) << 1;
}

void TstMerge::compareOrdersNewestFirst()
{
    QFETCH(TCalcQEL, x);
    QFETCH(TCalcQEL, y);
    QFETCH(int, sign);
    const auto sgn = [](int v) { return (v > 0) - (v < 0); };
    QCOMPARE(sgn(TQelBase::CompareResults(x, y)), sign);
    QCOMPARE(sgn(TQelBase::CompareResults(y, x)), -sign);
}

void TstMerge::duplicatesKeepLongestCommentNewestFirst_data()
{
    QTest::addColumn<QList<TCalcQEL>>("older");
    QTest::addColumn<QList<TCalcQEL>>("latest");
    QTest::addColumn<QList<int>>("keptAbs");
    QTest::addColumn<TArchDupStat>("stat");

    QTest::newRow("commented copy stays")
        << QList<TCalcQEL>{res(1, kDay, 5)} << QList<TCalcQEL>{res(2, kDay, 5, "abc")}
        << QList<int>{2} << TArchDupStat{1, 1, 0};
    QTest::newRow("commented copy stays when held first")
        << QList<TCalcQEL>{res(1, kDay, 5, "abc")} << QList<TCalcQEL>{res(2, kDay, 5)}
        << QList<int>{1} << TArchDupStat{1, 1, 0};
    QTest::newRow("three plain copies leave the first")
        << QList<TCalcQEL>{} << QList<TCalcQEL>{res(1, kDay, 5), res(2, kDay, 5), res(3, kDay, 5)}
        << QList<int>{1} << TArchDupStat{2, 1, 1};
    QTest::newRow("first of the longest comments")
        << QList<TCalcQEL>{}
        << QList<TCalcQEL>{res(1, kDay, 5, "ab"), res(2, kDay, 5, "abc"), res(3, kDay, 5, "xyz")}
        << QList<int>{2} << TArchDupStat{2, 1, 1};
    QTest::newRow("comment length counts code units")
        << QList<TCalcQEL>{res(1, kDay, 5, "abc")}
        << QList<TCalcQEL>{res(2, kDay, 5, QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x98\x80"))}
        << QList<int>{2} << TArchDupStat{1, 1, 0};
    QTest::newRow("same minute, numbers 7 and 8")
        << QList<TCalcQEL>{} << QList<TCalcQEL>{res(1, kDay, 7), res(2, kDay, 8)}
        << QList<int>{2, 1} << TArchDupStat{0, 2, 2};
    QTest::newRow("new year's eve")
        << QList<TCalcQEL>{}
        << QList<TCalcQEL>{res(1, {23, 12, 31, 23, 59}, 1), res(2, {24, 1, 1, 0, 0}, 1)}
        << QList<int>{2, 1} << TArchDupStat{0, 2, 2};
    QTest::newRow("1999 after every later year")
        << QList<TCalcQEL>{}
        << QList<TCalcQEL>{res(1, {-1, 12, 31, 23, 59}, 9), res(2, {24, 1, 1, 0, 0}, 0),
                           res(3, {0, 1, 1, 0, 0}, 0), res(4, {127, 1, 1, 0, 0}, 0)}
        << QList<int>{4, 2, 3, 1} << TArchDupStat{0, 4, 4};
    QTest::newRow("no copies, still sorted")
        << QList<TCalcQEL>{res(1, {24, 1, 1, 0, 0}, 1)}
        << QList<TCalcQEL>{res(2, {24, 6, 1, 0, 0}, 1), res(3, {24, 3, 1, 0, 0}, 1)}
        << QList<int>{2, 3, 1} << TArchDupStat{0, 3, 2};
    QTest::newRow("copies among older results never make New negative")
        << QList<TCalcQEL>{res(1, kDay, 5), res(2, kDay, 5), res(3, kDay, 5)}
        << QList<TCalcQEL>{res(4, kDay, 6)} << QList<int>{4, 1} << TArchDupStat{2, 2, 0};
    QTest::newRow("empty archive")
        << QList<TCalcQEL>{} << QList<TCalcQEL>{} << QList<int>{} << TArchDupStat{0, 0, 0};

    QList<TCalcQEL> ten, again;
    for (int i = 0; i < 10; ++i) {
        ten.append(res(i, {24, 1, int8_t(i + 1), 12, 0}, i));
        again.append(res(100 + i, {24, 1, int8_t(i + 1), 12, 0}, i));
    }
    QList<int> newestFirst;
    for (int i = 9; i >= 0; --i)
        newestFirst.append(i);
    QTest::newRow("ten loaded onto the same ten")
        << ten << again << newestFirst << TArchDupStat{10, 10, 0};
}

void TstMerge::duplicatesKeepLongestCommentNewestFirst()
{
    QFETCH(QList<TCalcQEL>, older);
    QFETCH(QList<TCalcQEL>, latest);
    QFETCH(QList<int>, keptAbs);
    QFETCH(TArchDupStat, stat);

    TQelBase dev;
    if (!older.isEmpty())
        QVERIFY(load(dev, older));
    QVERIFY(load(dev, latest));
    EventLog log(dev);

    QCOMPARE(dev.RemoveDuplicates(), stat);
    QCOMPARE(absIndices(dev.archive()), keptAbs);
    QCOMPARE(int(dev.GetArchTotal()), int(keptAbs.size()));
    // Each kept result is whole: its own series and comment came with it.
    QList<QByteArray> expected;
    for (int abs : keptAbs) {
        for (const TCalcQEL& r : older + latest)
            if (r.ArchRes.Base.AbsIndex == abs)
                expected.append(content(r));
    }
    QCOMPARE(contents(dev.archive()), expected);

    // One removal event per copy dropped, each seeing the archive already settled.
    QCOMPARE(log.ops, QList<TOperationType>(stat.Duplicates, otResultDelete));
    QCOMPARE(log.sizes, QList<int>(stat.Duplicates, int(keptAbs.size())));
    QCOMPARE(log.totals, QList<int>(stat.Duplicates, int(keptAbs.size())));

    // The latest load's count is kept, so a second pass finds nothing new to drop.
    log.ops.clear();
    QCOMPARE(dev.RemoveDuplicates(), (TArchDupStat{0, stat.Uniquie, int32_t(latest.size())}));
    QCOMPARE(absIndices(dev.archive()), keptAbs);
    QVERIFY(log.ops.isEmpty());
}

void TstMerge::emptiedArchiveReportsLatestLoadAsNew()
{
    TQelBase dev;
    QVERIFY(load(dev, {res(1, kDay, 1), res(2, kDay, 2), res(3, kDay, 3)}));
    dev.RemoveResults(0, 3, false);
    QCOMPARE(dev.RemoveDuplicates(), (TArchDupStat{0, 0, 3}));
    QVERIFY(dev.archive().isEmpty());
}

void TstMerge::keptCopyTakesTheWholeSeriesOfAnother_data()
{
    // Copies of one measurement (AbsIndex 1 and 2), the kept one with the longer comment.
    QTest::addColumn<QList<TCalcQEL>>("copies");
    QTest::addColumn<QList<uint16_t>>("keptSamples");
    TCalcQEL cut = res(1, kDay, 5, "long comment");
    cut.Samples.resize(1);
    TCalcQEL whole = res(2, kDay, 5);
    TCalcQEL alsoCut = whole;
    alsoCut.Samples.resize(2);
    QTest::newRow("cut short, the other whole") << QList<TCalcQEL>{cut, whole} << whole.Samples;
    QTest::newRow("the whole one first") << QList<TCalcQEL>{whole, cut} << whole.Samples;
    QTest::newRow("both cut short") << QList<TCalcQEL>{cut, alsoCut} << cut.Samples;
    TCalcQEL wholeLong = res(1, kDay, 5, "long comment");
    QTest::newRow("kept whole keeps its own")
        << QList<TCalcQEL>{wholeLong, whole} << wholeLong.Samples;
}

void TstMerge::keptCopyTakesTheWholeSeriesOfAnother()
{
    QFETCH(QList<TCalcQEL>, copies);
    QFETCH(QList<uint16_t>, keptSamples);
    QList<TCalcQEL> results = copies;
    const TArchDupStat stat = RemoveDuplicates(results, int(results.size()));
    QCOMPARE(stat, (TArchDupStat{1, 1, 1}));
    QCOMPARE(results.size(), 1);
    // The comment rule still chooses the copy; only its series is made whole.
    QCOMPARE(results[0].UserComment, QStringLiteral("long comment"));
    QCOMPARE(results[0].ArchRes.Base.AbsIndex, uint16_t(1));
    QCOMPARE(results[0].Samples, keptSamples);
}

void TstMerge::duplicatesMatchNeighbourWalk_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("spread");
    QTest::newRow("one key") << 1u << 0;
    QTest::newRow("few keys, many copies") << 2u << 1;
    QTest::newRow("every byte value") << 3u << 2;
}

void TstMerge::duplicatesMatchNeighbourWalk()
{
    QFETCH(quint32, seed);
    QFETCH(int, spread);

    QRandomGenerator rng(seed);
    const uint16_t kNums[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF};
    const auto randomResult = [&](int abs) {
        switch (spread) {
        case 0:
            return res(abs, kDay, 5, randomComment(rng));
        case 1:
            return res(abs, randomTime(rng, false), kNums[rng.bounded(3)], randomComment(rng));
        default:
            return res(abs, randomTime(rng, true),
                       rng.bounded(2) ? kNums[rng.bounded(5)] : rng.bounded(0x10000),
                       randomComment(rng));
        }
    };
    QList<TCalcQEL> first, second;
    for (int i = 0; i < 1000; ++i)
        first.append(randomResult(i));
    for (int i = 0; i < 1000; ++i) {
        second.append(randomResult(1000 + i));
        if (rng.bounded(2)) { // a copy of an earlier measurement
            const TArchBase& earlier = first[rng.bounded(1000)].ArchRes.Base;
            second.last().ArchRes.Base.DateTime = earlier.DateTime;
            second.last().ArchRes.Base.Num = earlier.Num;
        }
    }

    TQelBase dev;
    QVERIFY(load(dev, first));
    QVERIFY(load(dev, second));
    const QList<TCalcQEL> held = dev.archive();
    const QList<TCalcQEL> expected = neighbourWalk(held);

    const TArchDupStat stat = dev.RemoveDuplicates();
    QCOMPARE(contents(dev.archive()), contents(expected));
    const int32_t dups = int32_t(held.size() - expected.size());
    QVERIFY(dups > 0);
    QCOMPARE(stat, (TArchDupStat{dups, int32_t(expected.size()), qMax(0, 1000 - dups)}));
}

void TstMerge::largeMergeKeepsOneCopyOfEach()
{
    // Two downloads of one instrument: the same 20,000 measurements, differently commented.
    QRandomGenerator rng(7);
    QList<TCalcQEL> first, second;
    for (int i = 0; i < 20000; ++i) {
        const TQelDateTime when{int8_t(rng.bounded(-2, 3)), int8_t(rng.bounded(1, 13)),
                                int8_t(rng.bounded(1, 29)), 12, 0};
        const int num = rng.bounded(0x10000);
        first.append(res(i, when, num, randomComment(rng)));
        second.append(res(20000 + i, when, num, randomComment(rng)));
    }
    std::shuffle(second.begin(), second.end(), std::mt19937(7));

    TQelBase dev;
    QVERIFY(load(dev, first));
    QVERIFY(load(dev, second));
    const QList<TCalcQEL> expected = keptPerKey(dev.archive());
    int events = 0;
    dev.SetComCallback([&events](TOperationType op) { events += op == otResultDelete; });

    const TArchDupStat stat = dev.RemoveDuplicates();
    const int32_t dups = 40000 - int32_t(expected.size());
    QVERIFY(dups >= 20000);
    QCOMPARE(stat, (TArchDupStat{dups, int32_t(expected.size()), qMax(0, 20000 - dups)}));
    QCOMPARE(int(dev.GetArchTotal()), int(expected.size()));
    QCOMPARE(events, dups);
    QCOMPARE(contents(dev.archive()), contents(expected));
}

void TstMerge::callbackReleasingObjectEndsDuplicateEvents()
{
    auto* dev = new TQelBase;
    QVERIFY(load(*dev, {res(1, kDay, 5), res(2, kDay, 5), res(3, kDay, 5)}));
    int events = 0;
    dev->SetComCallback([&events, &dev](TOperationType) {
        ++events;
        delete dev;
        dev = nullptr;
    });
    QCOMPARE(dev->RemoveDuplicates(), (TArchDupStat{2, 1, 1}));
    QCOMPARE(events, 1);
    QVERIFY(!dev);
}

void TstMerge::removeResultsClampsToArchive_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("leftAbs");
    QTest::addColumn<bool>("requestSent");
    QTest::newRow("first two") << 0 << 2 << QList<int>{3} << true;
    QTest::newRow("middle one") << 1 << 1 << QList<int>{1, 3} << true;
    QTest::newRow("all") << 0 << 3 << QList<int>{} << true;
    QTest::newRow("count past the end") << 1 << 10 << QList<int>{1} << true;
    QTest::newRow("largest count") << 2 << INT_MAX << QList<int>{1, 2} << true;
    QTest::newRow("start at the end") << 3 << 1 << QList<int>{1, 2, 3} << false;
    QTest::newRow("start far past the end") << INT_MAX << 1 << QList<int>{1, 2, 3} << false;
    QTest::newRow("negative start") << -1 << 2 << QList<int>{1, 2, 3} << false;
    QTest::newRow("negative count") << 0 << -1 << QList<int>{1, 2, 3} << false;
    QTest::newRow("no count") << 0 << 0 << QList<int>{1, 2, 3} << false;
}

void TstMerge::removeResultsClampsToArchive()
{
    QFETCH(int, start);
    QFETCH(int, count);
    QFETCH(QList<int>, leftAbs);
    QFETCH(bool, requestSent);

    for (bool fromDevice : {false, true}) {
        TQelBase dev; // never connected: a request fails on the closed port
        QVERIFY(load(dev, {res(1, {24, 1, 3, 0, 0}, 1), res(2, {24, 1, 2, 0, 0}, 1),
                           res(3, {24, 1, 1, 0, 0}, 1)}));
        EventLog log(dev);
        dev.RemoveResults(start, count, fromDevice);
        QCOMPARE(absIndices(dev.archive()), leftAbs);
        QCOMPARE(int(dev.GetArchTotal()), int(leftAbs.size()));
        // Locally the event comes at once, nothing removed or not; from the device it is
        // the instrument's reply, and here only the failed request reports.
        const QList<TOperationType> ops = !fromDevice   ? QList<TOperationType>{otResultDelete}
                                          : requestSent ? QList<TOperationType>{otDevDisconnected}
                                                        : QList<TOperationType>{};
        QCOMPARE(log.ops, ops);
    }
}

void TstMerge::deleteRequestNamesFirstResultAndRemovedCount_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("block") << 1 << 2 << qelproto::resultDeleteReq(12, 2);
    QTest::newRow("count past the end") << 1 << 100 << qelproto::resultDeleteReq(12, 2);
    QTest::newRow("count beyond 16 bits") << 0 << 65537 << qelproto::resultDeleteReq(11, 3);
    QTest::newRow("start at the end") << 3 << 1 << QByteArray();
    QTest::newRow("negative start") << -1 << 1 << QByteArray();
}

void TstMerge::deleteRequestNamesFirstResultAndRemovedCount()
{
    QFETCH(int, start);
    QFETCH(int, count);
    QFETCH(QByteArray, request);

    PtyMaster pty;
    QVERIFY(!pty.name().isEmpty());
    TQelBase dev;
    QVERIFY(load(dev, {res(11, {24, 1, 3, 0, 0}, 1), res(12, {24, 1, 2, 0, 0}, 1),
                       res(13, {24, 1, 1, 0, 0}, 1)}));
    QVERIFY(dev.Connect(pty.name()));
    const QByteArray identity = qelproto::devInfoReq();
    QCOMPARE(pty.read(identity.size()), identity);
    EventLog log(dev);

    dev.RemoveResults(start, count, true);
    // Where nothing is due, a short wait shows that nothing comes.
    QCOMPARE(request.isEmpty() ? pty.read(1, 200) : pty.read(request.size()), request);
    QVERIFY(log.ops.isEmpty()); // the event waits for the instrument's reply
}

void TstMerge::callbackReleasingObjectOnFailedDeleteRequestIsSafe()
{
    auto* dev = new TQelBase;
    QVERIFY(load(*dev, {res(1, kDay, 1), res(2, kDay, 2)}));
    QList<TOperationType> ops;
    dev->SetComCallback([&ops, &dev](TOperationType op) {
        ops.append(op);
        delete dev;
        dev = nullptr;
    });
    dev->RemoveResults(0, 1, true);
    QVERIFY(!dev);
    QCOMPARE(ops, QList<TOperationType>{otDevDisconnected});
}

QTEST_GUILESS_MAIN(TstMerge)
#include "tst_merge.moc"
