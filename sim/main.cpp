// qel-sim: an instrument on a pseudo-terminal. The first line of stdout is the port path to
// open; it serves until SIGINT or SIGTERM.
#include "QelSim.h"
#include "SimArchive.h"
#include "data/ArchiveFile.h"
#include "device/Protocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSet>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    // Nothing else is safe in a handler; the event loop reads the pipe.
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &c, 1);
}

[[noreturn]] void fail(const QString& text, int code = 1)
{
    std::fprintf(stderr, "qel-sim: %s\n", qPrintable(text));
    std::exit(code);
}

int intOption(const QCommandLineParser& p, const QCommandLineOption& o, int lo, int hi, int def)
{
    if (!p.isSet(o))
        return def;
    bool ok = false;
    const QString text = p.value(o);
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi)
        fail(QStringLiteral("invalid value for --%1: '%2' (expected %3..%4)")
                 .arg(o.names().first(), text)
                 .arg(lo)
                 .arg(hi));
    return v;
}

QString describe(const QByteArray& f)
{
    const char* p = f.constData();
    const int code = uint8_t(f[3]);
    switch (code) {
    case dcDevInfo:
        return QStringLiteral("identity");
    case dcMatRead:
        return QStringLiteral("materials read");
    case dcMatWrite:
        return QStringLiteral("materials write");
    case dcObjRead:
        return QStringLiteral("objects read");
    case dcObjWrite:
        return QStringLiteral("objects write");
    case dcArchHead:
        return QStringLiteral("archive head");
    case dcArchBlock:
        return QStringLiteral("records after %1").arg(qelproto::le16(p + 4));
    case dcArchSamples:
        return QStringLiteral("samples of %1 from %2")
            .arg(qelproto::le16(p + 4))
            .arg(qelproto::le16(p + 6));
    case dcResultDelete:
        return QStringLiteral("delete %1 from %2")
            .arg(qelproto::le16(p + 6))
            .arg(qelproto::le16(p + 4));
    case dcClockWrite:
        return f.size() >= 16 ? QStringLiteral("clock %1-%2-%3 %4:%5:%6")
                                    .arg(2000 + int8_t(p[4]))
                                    .arg(int(p[5]), 2, 10, QChar(u'0'))
                                    .arg(int(p[6]), 2, 10, QChar(u'0'))
                                    .arg(int(p[7]), 2, 10, QChar(u'0'))
                                    .arg(int(p[8]), 2, 10, QChar(u'0'))
                                    .arg(int(p[9]), 2, 10, QChar(u'0'))
                              : QStringLiteral("clock (short frame)");
    case dcScreenShot:
        return QStringLiteral("screen");
    default:
        return QStringLiteral("unknown code %1").arg(code);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qel-sim"));

    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Serves the instrument's side of the link on a pseudo-terminal. The "
                       "first line of output is the port to open."));
    p.addHelpOption();
    const QCommandLineOption model(QStringLiteral("model"), "Model 2 or 3 (DevType 1 or 2).", "2|3",
                                   "2");
    const QCommandLineOption serial(QStringLiteral("serial"), "Serial number field.", "N", "2053");
    const QCommandLineOption archive(QStringLiteral("archive"), "Generate N results.", "N", "20");
    const QCommandLineOption samples(QStringLiteral("samples"),
                                     "Samples per result (default varied).", "N");
    const QCommandLineOption seed(QStringLiteral("seed"), "Seed of the generated archive.", "N",
                                  "1");
    const QCommandLineOption file(QStringLiteral("file"), "Serve the results of an archive file.",
                                  "F.qel1x");
    const QCommandLineOption recs(QStringLiteral("records-per-reply"), "Records per records reply.",
                                  "N", "16");
    const QCommandLineOption samps(QStringLiteral("samples-per-reply"),
                                   "Samples per samples reply.", "N", "500");
    const QCommandLineOption split(QStringLiteral("split"), "Send replies in random pieces.");
    const QCommandLineOption delay(QStringLiteral("delay"), "Wait before each reply.", "MS", "0");
    const QCommandLineOption busy(QStringLiteral("busy"),
                                  "Busy measuring: archive requests get 254.");
    const QCommandLineOption silent(QStringLiteral("silent"), "Never answer.");
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  "Pace output to this line rate (0: unpaced).", "B", "0");
    const QCommandLineOption verbose(QStringLiteral("verbose"), "One line per request on stderr.");
    const QCommandLineOption repeat(QStringLiteral("repeat"), "Send every reply twice.");
    const QCommandLineOption announce(QStringLiteral("announce"),
                                      "Head reply announces N records, whatever is held.", "N");
    const QCommandLineOption emptySamples(QStringLiteral("empty-samples"),
                                          "Samples replies carry no samples.");
    const QCommandLineOption hangAfter(QStringLiteral("hang-after"),
                                       "Stop answering after N requests.", "N");
    const QCommandLineOption unplugAfter(QStringLiteral("unplug-after"),
                                         "Hang up the line at request N.", "N");
    const QCommandLineOption garbage(QStringLiteral("garbage"), "Stray bytes before every reply.");
    const QCommandLineOption dropAt(QStringLiteral("drop-at"), "Lose the reply to request N.", "N");
    const QCommandLineOption lying(QStringLiteral("lying-counts"),
                                   "Count fields claim more than their replies carry.");
    p.addOptions({model,        serial,    archive,     samples, seed,   file,    recs,   samps,
                  split,        delay,     busy,        silent,  baud,   verbose, repeat, announce,
                  emptySamples, hangAfter, unplugAfter, garbage, dropAt, lying});
    p.process(app);
    if (!p.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first()));

    const int modelNo = intOption(p, model, 2, 3, 2);
    const int serialNo = intOption(p, serial, 0, 65535, 2053);
    const int count = intOption(p, archive, 0, kMaxArchive, 20);
    const int perResult = intOption(p, samples, 0, 65535, 0);
    const QString seedText = p.value(seed);
    bool seedOk = false;
    const quint32 seedNo = seedText.toUInt(&seedOk);
    if (!seedOk)
        fail(QStringLiteral("invalid value for --seed: '%1'").arg(seedText));

    TQelSim sim;
    sim.setDevType(modelNo == 3 ? dev13 : dev12);
    sim.setSerialNumber(uint16_t(serialNo));
    if (p.isSet(file)) {
        TQelInfo fileInfo{};
        QList<TCalcQEL> results;
        QString error;
        if (!LoadArchiveFile(p.value(file), 0, enUS, fileInfo, results, error))
            fail(QStringLiteral("cannot read %1: %2").arg(p.value(file), error));
        // The instrument names its records by AbsIndex; a file merged from several
        // instruments may repeat one, and then the records are numbered afresh.
        QSet<uint16_t> seen;
        for (const TCalcQEL& r : results)
            seen.insert(r.ArchRes.Base.AbsIndex);
        if (seen.size() != results.size()) {
            std::fprintf(stderr, "qel-sim: AbsIndex repeats in the file; numbering afresh\n");
            for (int i = 0; i < results.size(); ++i)
                results[i].ArchRes.Base.AbsIndex = uint16_t(i);
        }
        sim.setArchive(results);
        if (fileInfo.DevType != devUnknown && !p.isSet(model) && !p.isSet(serial))
            sim.setInfo(fileInfo);
    } else {
        sim.setArchive(makeArchive(count, seedNo, perResult));
    }
    sim.setRecordsPerReply(intOption(p, recs, 0, qelproto::kMaxRecordsPerReply, 16));
    sim.setSamplesPerReply(intOption(p, samps, 1, TQelSim::kMaxSamplesPerReply, 500));
    sim.setSplit(p.isSet(split), seedNo);
    sim.setReplyDelayMs(intOption(p, delay, 0, 600000, 0));
    sim.setBusy(p.isSet(busy));
    sim.setSilent(p.isSet(silent));
    sim.setBaud(intOption(p, baud, 0, 100000000, 0));
    sim.setRepeatReplies(p.isSet(repeat));
    if (p.isSet(announce))
        sim.setAnnouncedCount(intOption(p, announce, 0, 65535, 0));
    sim.setEmptySamples(p.isSet(emptySamples));
    const int hangAt = p.isSet(hangAfter) ? intOption(p, hangAfter, 0, INT_MAX, 0) : -1;
    const int unplugAt = p.isSet(unplugAfter) ? intOption(p, unplugAfter, 1, INT_MAX, 1) : -1;
    const bool stray = p.isSet(garbage);
    const int dropNo = p.isSet(dropAt) ? intOption(p, dropAt, 1, INT_MAX, 1) : -1;
    sim.setLyingCounts(p.isSet(lying));

    const bool talk = p.isSet(verbose);
    int served = 0;
    QObject::connect(&sim, &TQelSim::requestReceived, &sim, [&, talk](int) {
        if (talk)
            std::fprintf(stderr, "qel-sim: %s\n", qPrintable(describe(sim.requests().last())));
        sim.clearRequests(); // a long run must not collect every request
        ++served;
        if (hangAt >= 0 && served > hangAt)
            sim.setSilent(true);
        if (unplugAt > 0 && served == unplugAt) {
            sim.unplug();
            QCoreApplication::quit();
        }
        if (served == dropNo)
            sim.setDropNext(1);
        // Zeros: line noise that no length field can be read from.
        if (stray)
            sim.queueRaw(QByteArray(3, '\0'));
    });

    if (::pipe(gSignalPipe) != 0)
        fail(QStringLiteral("cannot create the signal pipe"));
    QSocketNotifier sigNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&sigNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    if (!sim.start())
        fail(sim.errorString());
    std::printf("%s\n", qPrintable(sim.slavePath()));
    std::fflush(stdout);

    const int rc = app.exec();
    sim.stop();
    return rc;
}
