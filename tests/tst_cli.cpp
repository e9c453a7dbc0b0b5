// qel-cli against qel-sim, both as separate programs, as a user runs them from a shell.
#include "TestSupport.h"
#include "data/Catalogues.h"
#include "sim/SimArchive.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

// A qel-sim process; its first line of output is the port's path.
class SimProcess
{
public:
    explicit SimProcess(const QStringList& args)
    {
        p.start(QStringLiteral(QEL_SIM), args);
        if (p.waitForStarted() && p.waitForReadyRead(5000))
            port = QString::fromLocal8Bit(p.readLine()).trimmed();
    }
    ~SimProcess()
    {
        p.terminate();
        if (!p.waitForFinished(3000))
            p.kill();
        p.waitForFinished(1000);
    }
    QProcess p;
    QString port;
};

Result runCli(const QStringList& args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(QEL_CLI), args);
    Result r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.ms = t.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString firstLine(const QString& s)
{
    return s.section(QLatin1Char('\n'), 0, 0);
}

} // namespace

class TstCli : public QObject
{
    Q_OBJECT
private slots:
    void commandsPrintTheirResult_data();
    void commandsPrintTheirResult();
    void silentInstrumentFailsWithinTheBound();
    void busyPortFailsWithMessage();
    void usageErrors_data();
    void usageErrors();
    void downloadWritesTheArchiveAndTableReadsIt();
    void downloadFailuresWriteNothing_data();
    void downloadFailuresWriteNothing();
    void longSeriesOnASlowLineIsNotSilence();
    void downloadFaultMatrix_data();
    void downloadFaultMatrix();
    void unreadableFileIsNamed();
    void servedFileDownloadsToTheSameBytes();
    void screenIsSavedAsPngOrBitmap();
    void mergeWritesOneArchiveWithoutCopies();
    void catalogueCommandsPrintWriteAndKeepABackup();
    void catalogueCommandRefusalsLeaveTheInstrumentAlone();
};

void TstCli::commandsPrintTheirResult_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("cliArgs");
    QTest::addColumn<QString>("line");
    QTest::newRow("info en") << QStringList{} << QStringList{"info"}
                             << QStringLiteral("QEL-1.2 № A005");
    QTest::newRow("info ru, model 3")
        << QStringList{"--model", "3", "--serial", "1234"} << QStringList{"info", "--lang", "ru"}
        << QStringLiteral("КЕЛ-1.3 №  1234");
    QTest::newRow("info, replies in pieces")
        << QStringList{"--split", "--archive", "200"} << QStringList{"info"}
        << QStringLiteral("QEL-1.2 № A005");
    QTest::newRow("clock en") << QStringList{"--baud", "115200"} << QStringList{"clock"}
                              << QStringLiteral("Clock synced successfully");
    QTest::newRow("clock ru") << QStringList{} << QStringList{"clock", "--lang", "ru"}
                              << QStringLiteral("Часы синхронизованы успешно");
}

void TstCli::commandsPrintTheirResult()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, cliArgs);
    QFETCH(QString, line);
    SimProcess sim(simArgs);
    QVERIFY(!sim.port.isEmpty());
    const Result r = runCli(cliArgs + QStringList{"--port", sim.port});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(firstLine(r.out), line);
    QCOMPARE(r.err, QString());
}

void TstCli::silentInstrumentFailsWithinTheBound()
{
    SimProcess sim({"--silent"});
    QVERIFY(!sim.port.isEmpty());
    for (const char* cmd : {"info", "clock"}) {
        const Result r = runCli({cmd, "--port", sim.port});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith(QStringLiteral("Instrument does not answer")), qPrintable(r.err));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(r.ms < 10000, "the wait is bounded");
    }
}

void TstCli::busyPortFailsWithMessage()
{
    SimProcess sim({});
    QVERIFY(!sim.port.isEmpty());
    QProcess holder;
    holder.start(QStringLiteral(PORT_HOLDER), {sim.port});
    QVERIFY(holder.waitForReadyRead(5000));
    const Result r = runCli({"info", "--port", sim.port});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("Failed to connect - port busy")), qPrintable(r.err));
    holder.closeWriteChannel();
    holder.waitForFinished(3000);

    const Result missing = runCli({"info", "--port", "/dev/no-such-port-qel"});
    QCOMPARE(missing.exitCode, 1);
    QCOMPARE(missing.err, QStringLiteral("qel-cli: no such port: /dev/no-such-port-qel\n"));
}

void TstCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"fly"};
    QTest::newRow("info without port") << QStringList{"info"};
    QTest::newRow("bad language") << QStringList{"info", "--port", "/dev/null", "--lang", "de"};
    QTest::newRow("unknown option") << QStringList{"info", "--colour"};
    QTest::newRow("screen without out") << QStringList{"screen", "--port", "/dev/null"};
    QTest::newRow("screen to jpg")
        << QStringList{"screen", "--port", "/dev/null", "--out", "a.jpg"};
}

void TstCli::usageErrors()
{
    QFETCH(QStringList, args);
    const Result r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(!r.err.isEmpty());
    QCOMPARE(r.out, QString());
}

void TstCli::downloadWritesTheArchiveAndTableReadsIt()
{
    QTemporaryDir dir;
    const QString first = dir.filePath("first.qel1x");
    const QString second = dir.filePath("second.qel1x");
    SimProcess sim({"--archive", "30", "--samples", "120", "--split", "--seed", "4"});
    QVERIFY(!sim.port.isEmpty());

    Result r = runCli({"download", "--port", sim.port, "--out", first, "--clock"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("Archive readed: 0 duplicate, 30 unique, 30 new entries. \n"));
    // The same instrument again, merged onto the first file: every result is known.
    r = runCli({"download", "--port", sim.port, "--out", second, "--merge", first, "--lang", "ru"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("Архив прочитан: 30 повторяющихся, 30 уникальных, 0 новых "
                                   "записей. \n"));

    const Result table = runCli({"table", first});
    QCOMPARE(table.exitCode, 0);
    const QStringList lines = table.out.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 32); // header, 30 rows, and the empty rest after the last CR LF
    QVERIFY(lines[0].startsWith(QStringLiteral("Date\tTime\t№\tW\tObject\t")));
    QVERIFY(lines[0].endsWith(QStringLiteral("Patm, kPa\tt, °C\tComment\t")));
    QCOMPARE(lines[1].count(u'\t'), 11);
    // Two files that hold the same results merge into the table of one.
    const Result merged = runCli({"table", first, second});
    QCOMPARE(merged.out, table.out);
    const Result mmhg = runCli({"table", first, "--unit", "mmhg", "--lang", "ru"});
    QVERIFY(mmhg.out.startsWith(QStringLiteral("Дата\tВремя\t")));
    QVERIFY(mmhg.out.contains(QStringLiteral("Pатм, мм рт.ст.\t")));

    const Result graph = runCli({"graph", first, "--index", "0"});
    QCOMPARE(graph.exitCode, 0);
    const QStringList points = graph.out.split(QStringLiteral("\r\n"));
    QCOMPARE(points[0], QStringLiteral("Time, s\tPressure, kPa"));
    QVERIFY(points[1].startsWith(QStringLiteral("0\t")));
    const Result past = runCli({"graph", first, "--index", "30"});
    QCOMPARE(past.exitCode, 1);
}

void TstCli::downloadFailuresWriteNothing_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QString>("merge");
    QTest::addColumn<QString>("message");
    QTest::newRow("busy") << QStringList{"--busy"} << QString()
                          << QStringLiteral(
                                 "Measurement is in progress, the archive cannot be read.");
    QTest::newRow("silent") << QStringList{"--silent"} << QString()
                            << QStringLiteral("Instrument does not answer");
    QTest::newRow("unreadable merge file")
        << QStringList{} << QStringLiteral("junk")
        << QStringLiteral("The file is unreadable or corrupted:");
}

void TstCli::downloadFailuresWriteNothing()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QString, merge);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString out = dir.filePath("out.qel1x");
    SimProcess sim(simArgs);
    QStringList args{"download", "--port", sim.port, "--out", out};
    if (!merge.isEmpty()) {
        QFile junk(dir.filePath(merge));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not an archive");
        junk.close();
        args << "--merge" << junk.fileName();
    }
    const Result r = runCli(args);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(message), qPrintable(r.err));
    QVERIFY(!QFile::exists(out));
}

void TstCli::longSeriesOnASlowLineIsNotSilence()
{
    // One series of 30,000 samples takes more than the 5 s bound on a 115,200-baud line,
    // in parts that bring no event of their own: their bytes keep the wait alive.
    QTemporaryDir dir;
    SimProcess sim({"--archive", "1", "--samples", "30000", "--baud", "115200"});
    QVERIFY(!sim.port.isEmpty());
    const Result r = runCli({"download", "--port", sim.port, "--out", dir.filePath("a.qel1x")});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.ms > 5000); // the case is one the bound alone would cut off
}

void TstCli::downloadFaultMatrix_data()
{
    // A broken link or instrument either gives exactly the archive an honest one gives, or
    // fails with its reason and leaves the output file as it was.
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString ok;
    const QString silent = QStringLiteral("Instrument does not answer");
    QTest::newRow("honest") << QStringList{} << 0 << ok;
    QTest::newRow("replies cut at random points") << QStringList{"--split"} << 0 << ok;
    QTest::newRow("stray bytes run into every reply") << QStringList{"--garbage"} << 0 << ok;
    QTest::newRow("every reply sent twice") << QStringList{"--repeat"} << 0 << ok;
    QTest::newRow("count fields that lie") << QStringList{"--lying-counts"} << 0 << ok;
    QTest::newRow("a reply lost") << QStringList{"--drop-at", "5"} << 1 << silent;
    QTest::newRow("silence mid-download") << QStringList{"--hang-after", "6"} << 1 << silent;
    QTest::newRow("unplugged mid-download")
        << QStringList{"--unplug-after", "6"} << 1 << QStringLiteral("Device disconnected");
    QTest::newRow("busy") << QStringList{"--busy"} << 1
                          << QStringLiteral(
                                 "Measurement is in progress, the archive cannot be read.");
    QTest::newRow("head announces more than held")
        << QStringList{"--announce", "20"} << 1
        << QStringLiteral("The archive was not read completely: 12 of 20 results, 12 series "
                          "incomplete.");
    QTest::newRow("samples replies without samples")
        << QStringList{"--empty-samples"} << 1
        << QStringLiteral("The archive was not read completely: 12 of 12 results, 12 series "
                          "incomplete.");
}

void TstCli::downloadFaultMatrix()
{
    QFETCH(QStringList, fault);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QStringList archive{
        "--archive",           "12", "--samples",           "50", "--seed", "6",
        "--records-per-reply", "4",  "--samples-per-reply", "20"};
    QTemporaryDir dir;
    const QString reference = dir.filePath("reference.qel1x");
    {
        SimProcess honest(archive);
        QCOMPARE(runCli({"download", "--port", honest.port, "--out", reference}).exitCode, 0);
    }
    QFile ref(reference);
    QVERIFY(ref.open(QIODevice::ReadOnly));
    const QByteArray expected = ref.readAll();

    const QString out = dir.filePath("out.qel1x");
    const QByteArray before("a file of before");
    {
        QFile f(out);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    SimProcess sim(archive + fault);
    QVERIFY(!sim.port.isEmpty());
    const Result r = runCli({"download", "--port", sim.port, "--out", out});
    QCOMPARE(r.exitCode, exitCode);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    if (exitCode == 0) {
        QCOMPARE(r.err, QString());
        QCOMPARE(f.readAll(), expected);
    } else {
        QVERIFY2(r.err.startsWith(message), qPrintable(r.err));
        QCOMPARE(f.readAll(), before);
    }
}

void TstCli::unreadableFileIsNamed()
{
    const Result r = runCli({"table", "/nonexistent/x.qel1x"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("The file is unreadable or corrupted: "
                                             "/nonexistent/x.qel1x")),
             qPrintable(r.err));
}

void TstCli::servedFileDownloadsToTheSameBytes()
{
    // Instrument -> file -> an instrument serving that file -> file: byte for byte.
    QTemporaryDir dir;
    const QString a = dir.filePath("a.qel1x");
    const QString b = dir.filePath("b.qel1x");
    {
        SimProcess sim({"--archive", "25", "--seed", "9", "--samples-per-reply", "333"});
        QCOMPARE(runCli({"download", "--port", sim.port, "--out", a}).exitCode, 0);
    }
    SimProcess served({"--file", a, "--records-per-reply", "7"});
    QVERIFY(!served.port.isEmpty());
    QCOMPARE(runCli({"download", "--port", served.port, "--out", b}).exitCode, 0);
    QFile fa(a), fb(b);
    QVERIFY(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
    const QByteArray bytes = fa.readAll();
    QVERIFY(bytes.size() > 71);
    QCOMPARE(fb.readAll(), bytes);
}

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

void TstCli::mergeWritesOneArchiveWithoutCopies()
{
    QTemporaryDir dir;
    auto write = [&](const QString& name, int count, quint32 seed) {
        const QString p = dir.filePath(name);
        QFile f(p);
        const QDate newest = QDate(2000, 1, 1).addDays(400 * qint64(seed));
        if (f.open(QIODevice::WriteOnly))
            f.write(testsupport::archiveFileBytes(makeArchive(count, seed, 30, 0, newest)));
        return p;
    };
    const QString a = write(QStringLiteral("a.qel1x"), 5, 1);
    const QString b = write(QStringLiteral("b.qel1x"), 3, 2);
    const QString out = dir.filePath(QStringLiteral("out.qel1x"));
    const Result r = runCli({"merge", out, a, b, a});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("File opened: 5 duplicate, 8 unique, 3 new entries.\n"));
    TQelBase merged;
    QVERIFY(merged.LoadFromFile(out));
    QCOMPARE(merged.archive().size(), 8);

    // An unreadable input: its name and reason, and OUT stays as it was.
    const QByteArray before = readAll(out);
    const QString cut = dir.filePath(QStringLiteral("cut.qel1x"));
    QVERIFY(QFile::copy(b, cut));
    QVERIFY(QFile::resize(cut, 100));
    const Result bad = runCli({"merge", out, a, cut, "--lang", "ru"});
    QCOMPARE(bad.exitCode, 1);
    QVERIFY2(bad.err.startsWith(QStringLiteral("Файл не читается или испорчен:")) &&
                 bad.err.contains(cut + QStringLiteral(" (")),
             qPrintable(bad.err));
    QCOMPARE(readAll(out), before);
    const Result missing = runCli({"merge", dir.filePath(QStringLiteral("new.qel1x")), a,
                                   dir.filePath(QStringLiteral("none.qel1x"))});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("new.qel1x"))));
    QCOMPARE(runCli({"merge", out}).exitCode, 2);
}

void TstCli::screenIsSavedAsPngOrBitmap()
{
    SimProcess sim({});
    QVERIFY(!sim.port.isEmpty());
    QTemporaryDir dir;
    const QString bmp = dir.filePath("shot.bmp");
    Result r = runCli({"screen", "--port", sim.port, "--out", bmp});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QFile f(bmp);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.size(), 81974);
    QCOMPARE(bytes.left(2), QByteArray("BM"));
    const QString png = dir.filePath("shot.png");
    r = runCli({"screen", "--port", sim.port, "--out", png});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QImage(png).size(), QSize(128, 160));

    SimProcess silent({"--silent"});
    QVERIFY(!silent.port.isEmpty());
    const QString none = dir.filePath("none.png");
    r = runCli({"screen", "--port", silent.port, "--out", none});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY(!QFile::exists(none));
}

QTEST_GUILESS_MAIN(TstCli)
namespace {

QByteArray jsonOf(const Result& r)
{
    return r.out.toUtf8();
}

// The catalogue files of the commands go into a settings folder of the test's own.
struct CatalogueRig
{
    CatalogueRig() { qputenv("QEL_CONFIG_DIR", cfg.path().toLocal8Bit()); }
    ~CatalogueRig() { qunsetenv("QEL_CONFIG_DIR"); }
    QStringList backups() const
    {
        return QDir(cfg.filePath(QStringLiteral("Catalogues"))).entryList(QDir::Files, QDir::Name);
    }
    QTemporaryDir cfg;
    SimProcess sim{{}};
};

} // namespace

void TstCli::catalogueCommandsPrintWriteAndKeepABackup()
{
    CatalogueRig rig;
    QVERIFY(!rig.sim.port.isEmpty());
    const Result table = runCli({"materials", "--port", rig.sim.port});
    QCOMPARE(table.exitCode, 0);
    const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 21);
    QCOMPARE(lines[0], QStringLiteral("  #  Material            b0         b1"));
    QCOMPARE(lines[1], QStringLiteral("  0  Бетон        0.000E+00  1.000E+00"));
    QCOMPARE(lines[20], QStringLiteral(" 19  Материал 19  0.000E+00  1.000E+00"));

    // A laboratory's file: an odd coefficient arrives exactly.
    TMatBlock lab{};
    qelcat::resetMaterials(lab, enUS);
    lab[3].A[1] = 1.23456f;
    qelcat::storeName(lab[3].Name, QStringLiteral("Gypsum"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("lab.json"));
    QVERIFY(qelcat::writeFileAtomic(file, qelcat::materialsJson(lab), nullptr));
    // As the file carries it: names end at their zero byte.
    TMatBlock expected{};
    QVERIFY(qelcat::materialsFromJson(qelcat::materialsJson(lab), expected, nullptr));
    const Result set = runCli({"materials", "--port", rig.sim.port, "--set", file, "--json"});
    QCOMPARE(set.exitCode, 0);
    TMatBlock written{};
    QVERIFY(qelcat::materialsFromJson(jsonOf(set), written, nullptr));
    const Result again = runCli({"materials", "--port", rig.sim.port, "--json"});
    TMatBlock readBack{};
    QVERIFY(qelcat::materialsFromJson(jsonOf(again), readBack, nullptr));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(readBack.data()), kMatCfgSize),
             QByteArray(reinterpret_cast<const char*>(expected.data()), kMatCfgSize));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(written.data()), kMatCfgSize),
             QByteArray(reinterpret_cast<const char*>(expected.data()), kMatCfgSize));
    // The catalogue as it was before is kept.
    QCOMPARE(rig.backups().size(), 1);
    QFile backup(rig.cfg.filePath(QStringLiteral("Catalogues/")) + rig.backups().first());
    QVERIFY(backup.open(QIODevice::ReadOnly));
    TMatBlock before{};
    QVERIFY(qelcat::materialsFromJson(backup.readAll(), before, nullptr));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(before.data()), kMatCfgSize),
             defaultMaterials(ruRU));

    const Result reset = runCli({"objects", "--port", rig.sim.port, "--reset", "--lang", "ru"});
    QCOMPARE(reset.exitCode, 0);
    QCOMPARE(reset.out.split(u'\n').value(1), QStringLiteral("  0  Плита"));
    QCOMPARE(rig.backups().size(), 2);
}

void TstCli::catalogueCommandRefusalsLeaveTheInstrumentAlone()
{
    CatalogueRig rig;
    QTemporaryDir dir;
    const QString bad = dir.filePath(QStringLiteral("bad.json"));
    QVERIFY(qelcat::writeFileAtomic(bad, qelcat::objectsJson(TObjBlock{}), nullptr));
    const Result wrongKind = runCli({"materials", "--port", rig.sim.port, "--set", bad});
    QCOMPARE(wrongKind.exitCode, 1);
    QCOMPARE(wrongKind.err.count(u'\n'), 1);
    QVERIFY(wrongKind.err.startsWith(QStringLiteral("The catalogue file was not read: ")));
    const Result both = runCli({"objects", "--port", rig.sim.port, "--set", bad, "--reset"});
    QCOMPARE(both.exitCode, 2);
    const Result noPort = runCli({"objects"});
    QCOMPARE(noPort.exitCode, 2);
    QVERIFY(rig.backups().isEmpty());
    const Result after = runCli({"materials", "--port", rig.sim.port, "--json"});
    TMatBlock held{};
    QVERIFY(qelcat::materialsFromJson(jsonOf(after), held, nullptr));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(held.data()), kMatCfgSize),
             defaultMaterials(ruRU));
}

#include "tst_cli.moc"
