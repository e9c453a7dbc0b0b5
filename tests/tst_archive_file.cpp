// Archive files: the fixtures are written here byte by byte, independently of the code
// under test, then loaded; saving must give the same bytes back.
#include "data/QelTypes.h"
#include "device/QelBase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <csignal>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <sys/resource.h>

// The largest single heap request since the last reset: shows that a hostile count in a
// small file never turns into a large allocation.
static std::atomic<size_t> gLargestRequest{0};
static void noteRequest(size_t n)
{
    size_t seen = gLargestRequest.load(std::memory_order_relaxed);
    while (n > seen && !gLargestRequest.compare_exchange_weak(seen, n))
        ;
}
#if defined(__SANITIZE_ADDRESS__)
#define QEL_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_UNDER_ASAN 1
#endif
#endif
#if defined(QEL_UNDER_ASAN)
// The sanitizer owns malloc and cannot share it with a replacement; its allocator reports
// every request (operator new, calloc and realloc included) to a hook instead.
#define QEL_TRACKS_ALLOCATIONS 1
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
static void onMalloc(const volatile void*, size_t n)
{
    noteRequest(n);
}
static void onFree(const volatile void*) {}
[[maybe_unused]] static const int gHooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
#elif defined(__GLIBC__)
#define QEL_TRACKS_ALLOCATIONS 1
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t n)
{
    noteRequest(n);
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size)
{
    noteRequest(n * size);
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n)
{
    noteRequest(n);
    return __libc_realloc(p, n);
}
#endif

namespace {

constexpr qint32 kHuge = 0x7FFFFFFF;

QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray identity(int seed)
{
    QByteArray b(67, '\0');
    for (int i = 0; i < b.size(); ++i)
        b[i] = char(seed + 7 * i);
    return b;
}

// A record with every byte set, padding included, and the given SampleCount.
QByteArray record(int seed, quint16 sampleCount)
{
    QByteArray b(88, '\0');
    for (int i = 0; i < b.size(); ++i)
        b[i] = char(seed * 31 + 13 * i + 1);
    qToLittleEndian(sampleCount, b.data() + 50);
    b[62] = b[63] = char(0xA5);
    b[85] = b[86] = b[87] = char(0x5A);
    return b;
}

QByteArray units(const QList<quint16>& values)
{
    QByteArray b(2 * values.size(), '\0');
    for (int i = 0; i < values.size(); ++i)
        qToLittleEndian(values[i], b.data() + 2 * i);
    return b;
}

QByteArray units(const QString& s)
{
    QList<quint16> v;
    for (QChar c : s)
        v.append(c.unicode());
    return units(v);
}

// One entry with the counts exactly as given, so that they can disagree with the data.
QByteArray entry(const QByteArray& rec, qint32 s, const QByteArray& samples, qint32 c,
                 const QByteArray& comment)
{
    return rec + le32(s) + samples + le32(c) + comment;
}

struct Result
{
    QByteArray rec;
    QList<quint16> samples;
    QString comment;
};

QByteArray entry(const Result& r)
{
    return entry(r.rec, qint32(r.samples.size()), units(r.samples), qint32(r.comment.size()),
                 units(r.comment));
}

QByteArray fileOf(const QByteArray& ident, const QList<Result>& results)
{
    QByteArray b = ident + le32(qint32(results.size()));
    for (const Result& r : results)
        b += entry(r);
    return b;
}

// Three results: a long series with a comment, an empty one, a short one.
QList<Result> threeResults()
{
    QList<quint16> series;
    for (int i = 0; i < 300; ++i)
        series.append(quint16(i * 211 + 7));
    series[299] = 0xFFFF;
    return {{record(1, 300), series, QStringLiteral("ab")},
            {record(2, 0), {}, {}},
            {record(3, 5), {1, 2, 3, 4, 0xFFFF}, QStringLiteral("Бетон, ось 3")}};
}

QList<Result> priorResults()
{
    return {{record(7, 2), {100, 200}, QStringLiteral("prior")}, {record(8, 0), {}, {}}};
}

QList<QByteArray> expected(const QList<Result>& results)
{
    QList<QByteArray> out;
    for (const Result& r : results)
        out.append(entry(r));
    return out;
}

// What the object holds, in the same form as expected().
QList<QByteArray> held(const TQelBase& b)
{
    QList<QByteArray> out;
    for (const TCalcQEL& r : b.archive()) {
        const QByteArray rec(reinterpret_cast<const char*>(&r.ArchRes), sizeof r.ArchRes);
        out.append(entry({rec, r.Samples, r.UserComment}));
    }
    return out;
}

QByteArray heldIdentity(const TQelBase& b)
{
    return QByteArray(reinterpret_cast<const char*>(&b.devInfo()), sizeof(TQelInfo));
}

int lastReaded(const TQelBase& b)
{
    return b.archLastReaded();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestArchiveFile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void emptyArchiveIsIdentityAndZeroCount();
    void resultWithSeriesAndCommentTakes700Bytes();
    void saveThenLoadRoundTripsByteForByte();
    void loadingTwiceAppendsTwice();
    void badFileFailsAndKeepsEverything_data();
    void badFileFailsAndKeepsEverything();
    void negativeCountsMeanNone();
    void trailingBytesAreIgnoredAndSuccessClearsError();
    void commentOutsideBmpIsSurrogatePair();
    void seriesIsWrittenAsHeldUpToSampleCount_data();
    void seriesIsWrittenAsHeldUpToSampleCount();
    void failedSaveThrowsAndKeepsFile_data();
    void failedSaveThrowsAndKeepsFile();
    void loadStopsAtArchiveLimit_data();
    void loadStopsAtArchiveLimit();

private:
    QString path(const QString& name) const { return fDir->filePath(name); }
    QString fixture(const QString& name, const QByteArray& bytes)
    {
        const QString p = path(name);
        if (!writeFile(p, bytes))
            qFatal("cannot write fixture %s", qPrintable(p));
        return p;
    }
    std::unique_ptr<QTemporaryDir> fDir;
};

void TestArchiveFile::init()
{
    fDir = std::make_unique<QTemporaryDir>();
    QVERIFY(fDir->isValid());
}

void TestArchiveFile::emptyArchiveIsIdentityAndZeroCount()
{
    const QByteArray file = identity(0x21) + le32(0);
    QCOMPARE(file.size(), 71);
    TQelBase b;
    QVERIFY(b.LoadFromFile(fixture("empty.qel1x", file)));
    QCOMPARE(b.GetLastError(), QString());
    QCOMPARE(b.archive().size(), 0);
    QCOMPARE(b.GetArchTotal(), 0);
    QCOMPARE(heldIdentity(b), identity(0x21));

    b.SaveToFile(path("saved.qel1x"));
    QCOMPARE(readFile(path("saved.qel1x")), file);
    QCOMPARE(lastReaded(b), 0);
}

void TestArchiveFile::resultWithSeriesAndCommentTakes700Bytes()
{
    Result r = threeResults().first();
    r.comment.clear();
    TQelBase b;
    QVERIFY(b.LoadFromFile(fixture("in.qel1x", fileOf(identity(5), {r}))));
    b.SetComment(0, QStringLiteral("ab"));
    b.SaveToFile(path("out.qel1x"));

    r.comment = QStringLiteral("ab");
    const QByteArray saved = readFile(path("out.qel1x"));
    QCOMPARE(saved, fileOf(identity(5), {r}));
    QCOMPARE(saved.size(), 71 + 700);
}

void TestArchiveFile::saveThenLoadRoundTripsByteForByte()
{
    const QByteArray file = fileOf(identity(9), threeResults());
    TQelBase a;
    QVERIFY(a.LoadFromFile(fixture("in.qel1x", file)));
    QCOMPARE(held(a), expected(threeResults()));
    QCOMPARE(heldIdentity(a), identity(9));
    QCOMPARE(a.GetArchTotal(), 3);
    QCOMPARE(a.GetArchCount(), 3);

    // The target exists and is longer: it must be replaced, not overwritten in part.
    const QString out = fixture("out.qel1x", QByteArray(4096, 'x'));
    a.SaveToFile(out);
    QCOMPARE(readFile(out), file);

    TQelBase b;
    QVERIFY(b.LoadFromFile(out));
    QCOMPARE(held(b), expected(threeResults()));
    QCOMPARE(heldIdentity(b), identity(9));
    b.SaveToFile(path("again.qel1x"));
    QCOMPARE(readFile(path("again.qel1x")), file);
    QCOMPARE(lastReaded(b), 3);
}

void TestArchiveFile::loadingTwiceAppendsTwice()
{
    const QString file = fixture("in.qel1x", fileOf(identity(9), threeResults()));
    TQelBase b;
    QVERIFY(b.LoadFromFile(file));
    QVERIFY(b.LoadFromFile(file));
    QCOMPARE(held(b), expected(threeResults()) + expected(threeResults()));
    QCOMPARE(b.GetArchTotal(), 6);
    QCOMPARE(lastReaded(b), 3);
}

void TestArchiveFile::badFileFailsAndKeepsEverything_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("exists");

    const QList<Result> rs = threeResults();
    const QByteArray file = fileOf(identity(0x10), rs);
    const qsizetype third = 71 + entry(rs[0]).size() + entry(rs[1]).size();
    const qsizetype thirdComment = third + 88 + 4 + 2 * rs[2].samples.size();

    QTest::newRow("inside identity") << file.left(30) << true;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("inside N") << file.left(69) << true;
    QTest::newRow("inside third record") << file.left(third + 40) << true;
    QTest::newRow("inside third sample count") << file.left(third + 90) << true;
    QTest::newRow("middle of third samples") << file.left(third + 88 + 4 + 3) << true;
    QTest::newRow("inside third comment count") << file.left(thirdComment + 2) << true;
    QTest::newRow("middle of third comment") << file.left(thirdComment + 4 + 5) << true;
    QTest::newRow("last byte missing") << file.chopped(1) << true;
    QTest::newRow("missing file") << QByteArray() << false;

    const QByteArray one = entry(rs[2]);
    QTest::newRow("hostile N") << identity(0x10) + le32(kHuge) + one << true;
    QTest::newRow("hostile S") << identity(0x10) + le32(1) +
                                      entry(rs[2].rec, kHuge, units(rs[2].samples), 0, {})
                               << true;
    QTest::newRow("hostile C") << identity(0x10) + le32(1) +
                                      entry(rs[2].rec, 0, {}, kHuge, units(rs[2].comment))
                               << true;
}

void TestArchiveFile::badFileFailsAndKeepsEverything()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, exists);

    TQelBase b;
    QVERIFY(b.LoadFromFile(fixture("prior.qel1x", fileOf(identity(0x40), priorResults()))));
    const QString bad = exists ? fixture("bad.qel1x", bytes) : path("nowhere.qel1x");

    gLargestRequest = 0;
    QVERIFY(!b.LoadFromFile(bad));
#ifdef QEL_TRACKS_ALLOCATIONS
    QVERIFY2(gLargestRequest < 1024 * 1024,
             qPrintable(QStringLiteral("allocated %1 bytes").arg(gLargestRequest)));
#endif
    QVERIFY(!b.GetLastError().isEmpty());
    QCOMPARE(held(b), expected(priorResults()));
    QCOMPARE(heldIdentity(b), identity(0x40));
    QCOMPARE(b.GetArchTotal(), 2);
    QCOMPARE(lastReaded(b), 2);
}

void TestArchiveFile::negativeCountsMeanNone()
{
    const QByteArray rec = record(4, 3);
    const Result next = threeResults()[2];
    const QByteArray file = identity(3) + le32(2) + entry(rec, -5, {}, -1, {}) + entry(next);
    TQelBase b;
    QVERIFY(b.LoadFromFile(fixture("neg.qel1x", file)));
    QCOMPARE(held(b), expected({{rec, {}, {}}, next}));

    b.SaveToFile(path("out.qel1x"));
    QCOMPARE(readFile(path("out.qel1x")),
             identity(3) + le32(2) + entry(rec, 0, {}, 0, {}) + entry(next));
}

void TestArchiveFile::trailingBytesAreIgnoredAndSuccessClearsError()
{
    const QByteArray file = fileOf(identity(9), threeResults());
    TQelBase b;
    QVERIFY(!b.LoadFromFile(path("nowhere.qel1x")));
    QVERIFY(!b.GetLastError().isEmpty());

    QVERIFY(b.LoadFromFile(fixture("tail.qel1x", file + le32(77) + QByteArray(50, 'z'))));
    QCOMPARE(b.GetLastError(), QString());
    QCOMPARE(held(b), expected(threeResults()));
    b.SaveToFile(path("out.qel1x"));
    QCOMPARE(readFile(path("out.qel1x")), file);
}

void TestArchiveFile::commentOutsideBmpIsSurrogatePair()
{
    const QByteArray rec = record(6, 0);
    TQelBase b;
    QVERIFY(b.LoadFromFile(fixture("in.qel1x", identity(1) + le32(1) + entry(rec, 0, {}, 0, {}))));
    const QString comment = QStringLiteral("x") + QString::fromUcs4(U"\U0001F600");
    b.SetComment(0, comment);
    b.SaveToFile(path("out.qel1x"));

    const QByteArray file =
        identity(1) + le32(1) + entry(rec, 0, {}, 3, units({0x78, 0xD83D, 0xDE00}));
    QCOMPARE(readFile(path("out.qel1x")), file);
    TQelBase c;
    QVERIFY(c.LoadFromFile(path("out.qel1x")));
    QCOMPARE(c.GetComment(0), comment);
}

void TestArchiveFile::seriesIsWrittenAsHeldUpToSampleCount_data()
{
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<QList<quint16>>("samples");

    QTest::addColumn<QList<quint16>>("written");

    QTest::newRow("interrupted: 4 of 10")
        << 10 << QList<quint16>{9, 8, 7, 6} << QList<quint16>{9, 8, 7, 6};
    QTest::newRow("none of 10") << 10 << QList<quint16>{} << QList<quint16>{};
    QTest::newRow("more than SampleCount held")
        << 2 << QList<quint16>{1, 2, 3} << QList<quint16>{1, 2};
}

void TestArchiveFile::seriesIsWrittenAsHeldUpToSampleCount()
{
    QFETCH(int, sampleCount);
    QFETCH(QList<quint16>, samples);
    QFETCH(QList<quint16>, written);

    const QList<Result> rs{{record(5, quint16(sampleCount)), samples, QStringLiteral("c")},
                           threeResults()[0]};
    QList<Result> out = rs;
    out[0].samples = written;
    TQelBase b;
    QVERIFY(b.LoadFromFile(fixture("in.qel1x", fileOf(identity(2), rs))));
    b.SaveToFile(path("out.qel1x"));
    QCOMPARE(readFile(path("out.qel1x")), fileOf(identity(2), out));

    TQelBase c;
    QVERIFY(c.LoadFromFile(path("out.qel1x")));
    QCOMPARE(held(c), expected(out));
}

void TestArchiveFile::failedSaveThrowsAndKeepsFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("failMidWrite");

    QTest::newRow("directory missing") << "missing/out.qel1x" << false;
    QTest::newRow("parent is a regular file") << "good.qel1x/out.qel1x" << false;
    QTest::newRow("target is a directory") << "adir" << false;
    // The write itself fails once it passes a file size limit: the good file it was to
    // replace must survive whole.
    QTest::newRow("write fails over the good file") << "good.qel1x" << true;
}

void TestArchiveFile::failedSaveThrowsAndKeepsFile()
{
    QFETCH(QString, target);
    QFETCH(bool, failMidWrite);

    const QByteArray good = fileOf(identity(9), threeResults());
    fixture("good.qel1x", good);
    QVERIFY(QDir(fDir->path()).mkdir("adir"));
    TQelBase b;
    QVERIFY(b.LoadFromFile(path("good.qel1x")));

    QString message;
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    if (failMidWrite) {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
        rlimit small = saved;
        small.rlim_cur = 256;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    }
    try {
        b.SaveToFile(path(target));
    } catch (const std::runtime_error& e) {
        message = QString::fromUtf8(e.what());
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY2(message.contains(path(target)), qPrintable(message));
    QCOMPARE(readFile(path("good.qel1x")), good);
    QCOMPARE(QDir(fDir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList({"adir", "good.qel1x"}));
    QVERIFY(QDir(path("adir")).isEmpty());
}

void TestArchiveFile::loadStopsAtArchiveLimit_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("added");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("fills to the limit") << 65534 << 1 << true;
    QTest::newRow("one past a full archive") << 65535 << 1 << false;
    QTest::newRow("one past from a file alone") << 0 << 65536 << false;
    QTest::newRow("past the limit together") << 40000 << 30000 << false;
}

void TestArchiveFile::loadStopsAtArchiveLimit()
{
    QFETCH(int, before);
    QFETCH(int, added);
    QFETCH(bool, accepted);

    // Minimal results, 96 bytes each, so that a full archive costs about 6 MB.
    const auto minimal = [](int seed, int n) {
        return identity(seed) + le32(n) + entry(record(seed, 0), 0, {}, 0, {}).repeated(n);
    };
    TQelBase b;
    if (before > 0)
        QVERIFY(b.LoadFromFile(fixture("before.qel1x", minimal(1, before))));
    const QList<QByteArray> prior = held(b);
    const QByteArray priorIdentity = heldIdentity(b);

    QCOMPARE(b.LoadFromFile(fixture("added.qel1x", minimal(2, added))), accepted);
    QCOMPARE(b.GetLastError().isEmpty(), accepted);
    const int total = accepted ? before + added : before;
    QCOMPARE(int(b.GetArchTotal()), total);
    QCOMPARE(b.archive().size(), total);
    QCOMPARE(held(b).mid(0, before), prior);
    QCOMPARE(heldIdentity(b), accepted ? identity(2) : priorIdentity);
    QCOMPARE(lastReaded(b), accepted ? added : before);
}

QTEST_GUILESS_MAIN(TestArchiveFile)
#include "tst_archive_file.moc"
