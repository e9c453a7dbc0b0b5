// qel-cli against qel-sim, both as separate programs, as a user runs them from a shell.
#include <QElapsedTimer>
#include <QProcess>
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
    QVERIFY(!missing.err.isEmpty());
}

void TstCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"fly"};
    QTest::newRow("info without port") << QStringList{"info"};
    QTest::newRow("bad language") << QStringList{"info", "--port", "/dev/null", "--lang", "de"};
    QTest::newRow("unknown option") << QStringList{"info", "--colour"};
}

void TstCli::usageErrors()
{
    QFETCH(QStringList, args);
    const Result r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(!r.err.isEmpty());
    QCOMPARE(r.out, QString());
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
