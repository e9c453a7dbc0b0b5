#include "CliApp.h"

#include "data/Formats.h"
#include "data/StringGrid.h"
#include "data/Views.h"
#include "device/QelBase.h"
#include "i18n/Messages.h"
#include "data/Merge.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>
#include <functional>
#include <optional>
#include <stdexcept>
#include <unistd.h>

namespace qelcli {

namespace {

// Bound of every wait for the instrument: the command never waits for ever. During a
// download it bounds the silence between two steps.
constexpr int kReplyTimeoutMs = 5000;

struct Options
{
    QString command;
    QString port;
    TLang lang = enUS;
    EPressureUnits unit = puKPa;
    QString out;
    QStringList merge;
    QStringList files;
    bool clock = false;
    int index = -1;
};

// Runs the event loop until `accept` takes an event or the bound passes; nullopt on time-out.
std::optional<TOperationType>
waitEvent(TQelBase& dev, const std::function<bool(TOperationType)>& accept, int timeoutMs)
{
    QEventLoop loop;
    std::optional<TOperationType> got;
    const TCmdCompleteEvent previous = dev.GetComCallback();
    dev.SetComCallback([&](TOperationType op) {
        if (!got && accept(op)) {
            got = op;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!got)
        loop.exec();
    dev.SetComCallback(previous);
    return got;
}

// A port that cannot be opened, an instrument that goes away or does not answer:
// one clear line on stderr, and false.
bool connectAndIdentify(TQelBase& dev, const Options& o, QTextStream& err)
{
    dev.SetLang(o.lang);
    if (!dev.Connect(o.port)) {
        // Busy and missing ports both refuse the open; say which one it is.
        QSerialPort probe;
        probe.setPortName(o.port);
        if (!probe.open(QIODevice::ReadWrite) &&
            probe.error() == QSerialPort::DeviceNotFoundError) {
            err << "qel-cli: no such port: " << o.port << Qt::endl;
        } else {
            err << Msg(msgPortBusy, o.lang) << ": " << o.port << Qt::endl;
        }
        return false;
    }
    const auto got = waitEvent(
        dev, [](TOperationType op) { return op == otDevConnect || op == otDevDisconnected; },
        kReplyTimeoutMs);
    if (!got) {
        err << Msg(msgNoAnswer, o.lang) << ": " << o.port << Qt::endl;
        return false;
    }
    if (*got == otDevDisconnected) {
        err << Msg(msgDevDisconnected, o.lang) << ": " << o.port << Qt::endl;
        return false;
    }
    if (dev.GetDevType() == devUnknown) {
        err << Msg(msgNoAnswer, o.lang) << ": " << o.port << " (no model in the identity)"
            << Qt::endl;
        return false;
    }
    return true;
}

int cmdInfo(const Options& o, QTextStream& out, QTextStream& err)
{
    TQelBase dev;
    if (!connectAndIdentify(dev, o, err))
        return ExitFailure;
    out << dev.GetDeviceName() << Qt::endl;
    return ExitOk;
}

int cmdClock(const Options& o, QTextStream& out, QTextStream& err)
{
    TQelBase dev;
    if (!connectAndIdentify(dev, o, err))
        return ExitFailure;
    dev.SynchronyzeClock();
    const auto got = waitEvent(
        dev,
        [](TOperationType op) {
            return op == otClockWrite || op == otMeasIsGoing || op == otDevDisconnected;
        },
        kReplyTimeoutMs);
    if (!got) {
        err << Msg(msgNoAnswer, o.lang) << ": " << o.port << Qt::endl;
        return ExitFailure;
    }
    if (*got == otMeasIsGoing) {
        err << Msg(msgMeasIsGoing, o.lang) << Qt::endl;
        return ExitFailure;
    }
    if (*got == otDevDisconnected) {
        err << Msg(msgDevDisconnected, o.lang) << ": " << o.port << Qt::endl;
        return ExitFailure;
    }
    out << Msg(msgClockSynced, o.lang) << Qt::endl;
    return ExitOk;
}

// Opening a file into the workspace and merging one into it are the same load followed
// by the removal of duplicates, as in the main window.
bool loadMerged(TQelBase& dev, const QString& file, const Options& o, QTextStream& err)
{
    if (!dev.LoadFromFile(file)) {
        err << Msg(msgFileCorrupted, o.lang) << ' ' << file;
        if (!dev.GetLastError().isEmpty())
            err << " (" << dev.GetLastError() << ')';
        err << Qt::endl;
        return false;
    }
    dev.RemoveDuplicates();
    return true;
}

class ProgressLine
{
public:
    ProgressLine() : fShow(::isatty(STDERR_FILENO) == 1) {}
    void update(QTextStream& err, const TArchLoadProgress& p)
    {
        if (!fShow || p.Total <= 0)
            return;
        const int width = 40;
        const int done = int(qint64(width) * p.Current / p.Total);
        err << '\r' << '[' << QString(done, u'#') << QString(width - done, u'.') << "] "
            << p.Current << '/' << p.Total << Qt::flush;
        fDirty = true;
    }
    void finish(QTextStream& err)
    {
        if (fDirty)
            err << Qt::endl;
        fDirty = false;
    }

private:
    bool fShow;
    bool fDirty = false;
};

// Reads the whole archive; false with a message when it does not end normally.
bool readArchive(TQelBase& dev, const Options& o, QTextStream& err)
{
    QEventLoop loop;
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(kReplyTimeoutMs);
    QObject::connect(&silence, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::optional<TOperationType> end;
    ProgressLine progress;
    dev.SetComCallback([&](TOperationType op) {
        if (end)
            return;
        switch (op) {
        case otArchReadContinue:
            silence.start();
            progress.update(err, dev.GetLoadProgress());
            break;
        case otArchReadComplete:
        case otMeasIsGoing:
        case otArchTooLarge:
        case otDevDisconnected:
            end = op;
            loop.quit();
            break;
        default:
            break;
        }
    });
    silence.start();
    dev.ReadArchive();
    if (!end)
        loop.exec();
    dev.SetComCallback({});
    progress.finish(err);
    if (!end) {
        err << Msg(msgNoAnswer, o.lang) << ": " << o.port << Qt::endl;
        return false;
    }
    switch (*end) {
    case otArchReadComplete:
        return true;
    case otMeasIsGoing:
        err << Msg(msgMeasIsGoing, o.lang) << Qt::endl;
        return false;
    case otArchTooLarge:
        err << Msg(msgArchTooLarge, o.lang) << Qt::endl;
        return false;
    default:
        err << Msg(msgDevDisconnected, o.lang) << ": " << o.port << Qt::endl;
        return false;
    }
}

int cmdDownload(const Options& o, QTextStream& out, QTextStream& err)
{
    TQelBase dev;
    dev.SetLang(o.lang);
    for (const QString& f : o.merge)
        if (!loadMerged(dev, f, o, err))
            return ExitFailure;
    if (!connectAndIdentify(dev, o, err))
        return ExitFailure;
    if (o.clock) {
        dev.SynchronyzeClock();
        const auto got = waitEvent(
            dev, [](TOperationType op) { return op == otClockWrite || op == otMeasIsGoing; },
            kReplyTimeoutMs);
        if (got != otClockWrite) {
            err << (got ? Msg(msgMeasIsGoing, o.lang) : Msg(msgNoAnswer, o.lang)) << Qt::endl;
            return ExitFailure;
        }
    }
    if (!readArchive(dev, o, err))
        return ExitFailure;
    const TArchDupStat st = dev.RemoveDuplicates();
    try {
        dev.SaveToFile(o.out);
    } catch (const std::exception& e) {
        err << "qel-cli: " << QString::fromUtf8(e.what()) << Qt::endl;
        return ExitFailure;
    }
    out << ArchReadText(st, o.lang) << Qt::endl;
    return ExitOk;
}

bool loadFiles(TQelBase& dev, const Options& o, QTextStream& err)
{
    dev.SetLang(o.lang);
    dev.SetDimension(o.unit);
    for (const QString& f : o.files)
        if (!loadMerged(dev, f, o, err))
            return false;
    return true;
}

void writeRaw(QTextStream& out, const QString& text)
{
    // The texts carry their own CR LF; stdout gets them as UTF-8.
    out << text;
    out.flush();
}

int cmdTable(const Options& o, QTextStream& out, QTextStream& err)
{
    TQelBase dev;
    if (!loadFiles(dev, o, err))
        return ExitFailure;
    TStringGrid grid;
    dev.UpdateBasicGrid(grid);
    writeRaw(out, TableRowsText(grid, dev.archive(), 1, grid.rowCountAll() - 1, o.lang));
    return ExitOk;
}

int cmdGraph(const Options& o, QTextStream& out, QTextStream& err)
{
    TQelBase dev;
    if (!loadFiles(dev, o, err))
        return ExitFailure;
    if (o.index < 0 || o.index >= dev.archive().size()) {
        err << "qel-cli: no result " << o.index << " (the file holds " << dev.archive().size()
            << ')' << Qt::endl;
        return ExitFailure;
    }
    TRecordingSeries graph;
    dev.UpdateGraph(graph, o.index);
    writeRaw(out, GraphText(graph, qelfmt::decimalSeparator()));
    return ExitOk;
}

const char kUsage[] =
    "Commands:\n"
    "  info  --port PATH               print the instrument's name\n"
    "  clock --port PATH               set the instrument's clock from this computer\n"
    "  download --port PATH --out FILE.qel1x [--merge FILE.qel1x]... [--clock]\n"
    "                                  read the whole archive into a file\n"
    "  table FILE.qel1x...             print the results table (merged files)\n"
    "  graph FILE.qel1x --index N      print the pressure graph of result N\n"
    "Common options: --lang en|ru, --unit kpa|atm|kgf|mmhg\n";

} // namespace

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("QEL-1.Connect command line.\n") +
                                QString::fromLatin1(kUsage));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("command"),
                            QStringLiteral("info, clock, download, table or graph"));
    const QCommandLineOption portOpt(QStringLiteral("port"),
                                     QStringLiteral("Serial port of the instrument."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption langOpt(QStringLiteral("lang"),
                                     QStringLiteral("Language of the texts: en or ru."),
                                     QStringLiteral("en|ru"), QStringLiteral("en"));
    const QCommandLineOption unitOpt(QStringLiteral("unit"),
                                     QStringLiteral("Pressure unit: kpa, atm, kgf or mmhg."),
                                     QStringLiteral("unit"), QStringLiteral("kpa"));
    const QCommandLineOption outOpt(QStringLiteral("out"), QStringLiteral("Archive file to write."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption mergeOpt(QStringLiteral("merge"),
                                      QStringLiteral("Archive file to merge first (repeatable)."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption clockOpt(QStringLiteral("clock"),
                                      QStringLiteral("Set the instrument's clock first."));
    const QCommandLineOption indexOpt(
        QStringLiteral("index"), QStringLiteral("Result index (0 = newest)."), QStringLiteral("N"));
    p.addOptions({portOpt, langOpt, unitOpt, outOpt, mergeOpt, clockOpt, indexOpt});
    if (!p.parse(args)) {
        err << "qel-cli: " << p.errorText() << Qt::endl;
        return ExitUsage;
    }
    if (p.isSet(QStringLiteral("help"))) {
        out << p.helpText();
        return ExitOk;
    }

    Options o;
    const QStringList pos = p.positionalArguments();
    if (pos.isEmpty()) {
        err << "qel-cli: no command given\n" << kUsage;
        return ExitUsage;
    }
    o.command = pos.first();
    const QString lang = p.value(langOpt).toLower();
    if (lang == QLatin1String("ru")) {
        o.lang = ruRU;
    } else if (lang != QLatin1String("en")) {
        err << "qel-cli: --lang must be en or ru" << Qt::endl;
        return ExitUsage;
    }
    o.port = p.value(portOpt);
    static const QStringList units{"kpa", "atm", "kgf", "mmhg"};
    const int unit = int(units.indexOf(p.value(unitOpt).toLower()));
    if (unit < 0) {
        err << "qel-cli: --unit must be kpa, atm, kgf or mmhg" << Qt::endl;
        return ExitUsage;
    }
    o.unit = EPressureUnits(unit);
    o.out = p.value(outOpt);
    o.merge = p.values(mergeOpt);
    o.clock = p.isSet(clockOpt);
    o.files = pos.mid(1);
    if (p.isSet(indexOpt)) {
        bool ok = false;
        o.index = p.value(indexOpt).toInt(&ok);
        if (!ok || o.index < 0) {
            err << "qel-cli: --index must be a result number from 0" << Qt::endl;
            return ExitUsage;
        }
    }

    if (o.command == QLatin1String("info") || o.command == QLatin1String("clock")) {
        if (o.port.isEmpty()) {
            err << "qel-cli: " << o.command << " needs --port PATH" << Qt::endl;
            return ExitUsage;
        }
        return o.command == QLatin1String("info") ? cmdInfo(o, out, err) : cmdClock(o, out, err);
    }
    if (o.command == QLatin1String("download")) {
        if (o.port.isEmpty() || o.out.isEmpty()) {
            err << "qel-cli: download needs --port PATH and --out FILE.qel1x" << Qt::endl;
            return ExitUsage;
        }
        return cmdDownload(o, out, err);
    }
    if (o.command == QLatin1String("table") || o.command == QLatin1String("graph")) {
        if (o.files.isEmpty()) {
            err << "qel-cli: " << o.command << " needs an archive file" << Qt::endl;
            return ExitUsage;
        }
        if (o.command == QLatin1String("table"))
            return cmdTable(o, out, err);
        if (o.files.size() != 1 || o.index < 0) {
            err << "qel-cli: graph needs one archive file and --index N" << Qt::endl;
            return ExitUsage;
        }
        return cmdGraph(o, out, err);
    }
    err << "qel-cli: unknown command: " << o.command << '\n' << kUsage;
    return ExitUsage;
}

} // namespace qelcli
