#include "CliApp.h"

#include "app/Settings.h"
#include "app/Workspace.h"
#include "data/Catalogues.h"
#include "data/Formats.h"
#include "data/Merge.h"
#include "data/StringGrid.h"
#include "data/Views.h"
#include "device/QelBase.h"
#include "i18n/Messages.h"
#include "reports/GraphPicture.h"
#include "reports/ReportChoice.h"
#include "reports/ReportEngine.h"
#include "reports/ReportExport.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSerialPort>
#include <QTimer>
#include <functional>
#include <optional>
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
    bool json = false;
    QString setFile;
    bool reset = false;
};

// Runs the event loop until `accept` ends the wait (true) or the instrument has been
// silent for the bound: any byte from it restarts the wait, so a long series in many
// parts is not taken for silence. nullopt on silence.
std::optional<TOperationType> waitEvent(TWorkspace& ws,
                                        const std::function<bool(TOperationType)>& accept)
{
    QEventLoop loop;
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(kReplyTimeoutMs);
    QObject::connect(&silence, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::optional<TOperationType> got;
    const QMetaObject::Connection c =
        QObject::connect(&ws, &TWorkspace::completed, &loop, [&](TOperationType op) {
            if (got)
                return;
            if (accept(op)) {
                got = op;
                loop.quit();
            }
        });
    QMetaObject::Connection alive;
    if (TQelBase* dev = ws.device())
        alive =
            QObject::connect(dev, &TQelBase::bytesReceived, &silence, qOverload<>(&QTimer::start));
    silence.start();
    loop.exec();
    QObject::disconnect(c);
    QObject::disconnect(alive);
    return got;
}

// A workspace for one command: texts in the command's language; the files and the
// instrument named on the command line are all merged, so every merge question is a Yes.
void setUp(TWorkspace& ws, const Options& o)
{
    ws.setLang(o.lang);
    ws.setDimension(o.unit);
    ws.setAsk(
        [](TWorkspace::TQuestion q, const QString&) { return q == TWorkspace::qMergeResults; });
}

// Opens the port and starts the workspace's connection chain. A port that cannot be
// opened: one clear line on stderr, and false.
bool connectPort(TWorkspace& ws, const Options& o, QTextStream& err)
{
    if (ws.connectTo(o.port, devUnknown))
        return true;
    // Busy and missing ports both refuse the open; say which one it is.
    QSerialPort probe;
    probe.setPortName(o.port);
    if (!probe.open(QIODevice::ReadWrite) && probe.error() == QSerialPort::DeviceNotFoundError)
        err << "qel-cli: no such port: " << o.port << Qt::endl;
    else
        err << Msg(msgPortBusy, o.lang) << ": " << o.port << Qt::endl;
    return false;
}

// How a wait on the instrument ended, as the one line on stderr of a failure; empty when
// `got` is the event the command waited for.
QString failure(TWorkspace& ws, std::optional<TOperationType> got, TOperationType wanted,
                const Options& o)
{
    if (!got)
        return Msg(msgNoAnswer, o.lang) + QStringLiteral(": ") + o.port;
    if (*got == otDevConnect && ws.device()->GetDevType() == devUnknown)
        return Msg(msgNoAnswer, o.lang) + QStringLiteral(": ") + o.port +
               QStringLiteral(" (no model in the identity)");
    if (*got == wanted)
        return {};
    switch (*got) {
    case otMeasIsGoing:
        return Msg(msgMeasIsGoing, o.lang);
    case otArchTooLarge:
        return Msg(msgArchTooLarge, o.lang);
    case otNoAnswer:
        return Msg(msgNoAnswer, o.lang) + QStringLiteral(": ") + o.port;
    default:
        return Msg(msgDevDisconnected, o.lang) + QStringLiteral(": ") + o.port;
    }
}

class ProgressLine
{
public:
    ProgressLine() : fShow(::isatty(STDERR_FILENO) == 1) {}
    void update(QTextStream& err, int done, int total)
    {
        if (!fShow || total <= 0)
            return;
        const int width = 40;
        const int bar = int(qint64(width) * done / total);
        err << '\r' << '[' << QString(bar, u'#') << QString(width - bar, u'.') << "] " << done
            << '/' << total << Qt::flush;
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

// Connects, and with `clock` sets the clock, and with `read` reads the whole archive:
// the window's connection chain. Empty on success, else the line for stderr.
QString runChain(TWorkspace& ws, const Options& o, bool clock, bool read, QTextStream& err)
{
    ws.setAutoClock(clock);
    ws.setReadOnConnect(read);
    const TOperationType wanted = read ? otArchReadComplete : clock ? otClockWrite : otDevConnect;
    ProgressLine progress;
    QObject::connect(&ws, &TWorkspace::progressChanged, &ws,
                     [&](int done, int total) { progress.update(err, done, total); });
    const auto got = waitEvent(ws, [&](TOperationType op) {
        switch (op) {
        case otDevConnect:
            return op == wanted || ws.device()->GetDevType() == devUnknown;
        case otClockWrite:
        case otArchReadComplete:
            return op == wanted;
        case otMeasIsGoing:
        case otArchTooLarge:
        case otNoAnswer:
            return true;
        case otDevDisconnected:
            return ws.device()->GetPortName() != o.port; // the port has closed
        default:
            return false;
        }
    });
    QObject::disconnect(&ws, &TWorkspace::progressChanged, &ws, nullptr);
    progress.finish(err);
    return failure(ws, got, wanted, o);
}

int runOnInstrument(const Options& o, bool clock, bool read, QTextStream& out, QTextStream& err)
{
    TWorkspace ws;
    setUp(ws, o);
    if (!connectPort(ws, o, err))
        return ExitFailure;
    const QString failed = runChain(ws, o, clock, read, err);
    if (!failed.isEmpty()) {
        err << failed << Qt::endl;
        return ExitFailure;
    }
    out << (clock ? Msg(msgClockSynced, o.lang) : ws.device()->GetDeviceName()) << Qt::endl;
    return ExitOk;
}

int cmdInfo(const Options& o, QTextStream& out, QTextStream& err)
{
    return runOnInstrument(o, false, false, out, err);
}

int cmdClock(const Options& o, QTextStream& out, QTextStream& err)
{
    return runOnInstrument(o, true, false, out, err);
}

// Opens the files into the workspace, each merged into those before it.
bool openFiles(TWorkspace& ws, const QStringList& files, const Options& o, QTextStream& err)
{
    for (const QString& f : files) {
        if (!ws.openFile(f)) {
            err << Msg(msgFileCorrupted, o.lang) << ' ' << f;
            if (!ws.lastError().isEmpty())
                err << " (" << ws.lastError() << ')';
            err << Qt::endl;
            return false;
        }
    }
    return true;
}

int cmdDownload(const Options& o, QTextStream& out, QTextStream& err)
{
    TWorkspace ws;
    setUp(ws, o);
    if (!openFiles(ws, o.merge, o, err))
        return ExitFailure;
    if (!connectPort(ws, o, err))
        return ExitFailure;
    const QString failed = runChain(ws, o, o.clock, true, err);
    if (!failed.isEmpty()) {
        err << failed << Qt::endl;
        return ExitFailure;
    }
    // A file is written only from a whole archive: a damaged one would pass for good.
    const TArchReadOutcome outcome = ws.device()->GetReadOutcome();
    if (!outcome.complete()) {
        err << ArchIncompleteText(outcome, o.lang) << Qt::endl;
        return ExitFailure;
    }
    try {
        ws.device()->SaveToFile(o.out);
    } catch (const std::exception& e) {
        err << "qel-cli: " << QString::fromUtf8(e.what()) << Qt::endl;
        return ExitFailure;
    }
    out << ws.statusText() << Qt::endl; // the counts of the read
    return ExitOk;
}

// Loads the inputs in order into one list without copies and writes it to OUT, only once
// every input has been read. The line printed counts over the whole merge: the copies
// dropped, the results in OUT, and those the later inputs added to the first.
int cmdMerge(const Options& o, QTextStream& out, QTextStream& err)
{
    TWorkspace ws;
    setUp(ws, o);
    TArchDupStat total;
    const QStringList inputs = o.files.mid(1);
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        if (!openFiles(ws, {inputs[i]}, o, err))
            return ExitFailure;
        const TArchDupStat st = ws.openedStat();
        total.Duplicates += st.Duplicates;
        total.Uniquie = st.Uniquie;
        if (i > 0)
            total.New += st.New;
    }
    try {
        ws.device()->SaveToFile(o.files.first());
    } catch (const std::exception& e) {
        err << "qel-cli: " << QString::fromUtf8(e.what()) << Qt::endl;
        return ExitFailure;
    }
    out << FileOpenedText(total, o.lang) << Qt::endl;
    return ExitOk;
}

void writeRaw(QTextStream& out, const QString& text)
{
    // The texts carry their own CR LF; stdout gets them as UTF-8.
    out << text;
    out.flush();
}

int cmdTable(const Options& o, QTextStream& out, QTextStream& err)
{
    TWorkspace ws;
    setUp(ws, o);
    if (!openFiles(ws, o.files, o, err))
        return ExitFailure;
    TStringGrid grid;
    TQelBase& dev = *ws.device();
    dev.UpdateBasicGrid(grid);
    writeRaw(out, TableRowsText(grid, dev.archive(), 1, grid.rowCountAll() - 1, o.lang));
    return ExitOk;
}

int cmdGraph(const Options& o, QTextStream& out, QTextStream& err)
{
    TWorkspace ws;
    setUp(ws, o);
    if (!openFiles(ws, o.files, o, err))
        return ExitFailure;
    TQelBase& dev = *ws.device();
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

// --lang and --unit into `o`; false with a line on stderr for a value they do not take.
bool readLangAndUnit(const QString& langText, const QString& unitText, Options& o, QTextStream& err)
{
    const QString lang = langText.toLower();
    if (lang != QLatin1String("en") && lang != QLatin1String("ru")) {
        err << "qel-cli: --lang must be en or ru" << Qt::endl;
        return false;
    }
    static const QStringList units{"kpa", "atm", "kgf", "mmhg"};
    const int unit = int(units.indexOf(unitText.toLower()));
    if (unit < 0) {
        err << "qel-cli: --unit must be kpa, atm, kgf or mmhg" << Qt::endl;
        return false;
    }
    o.lang = lang == QLatin1String("ru") ? ruRU : enUS;
    o.unit = EPressureUnits(unit);
    return true;
}

// report FILE.qel1x... --out OUT.pdf [--rows A-B] [--comments] [--lang en|ru] [--unit U]:
// the merged inputs' table rows A to B (default all) with the layout the Print command
// picks for them. Its options are its own, so it parses the whole line itself.
int cmdReport(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("qel-cli report FILE.qel1x... --out OUT.pdf [--rows A-B] [--comments]\n"
                       "Reports table rows A to B (from 1; default all) of the merged files."));
    p.addHelpOption();
    const QCommandLineOption outOpt(QStringLiteral("out"), QStringLiteral("Report file (.pdf)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption rowsOpt(QStringLiteral("rows"),
                                     QStringLiteral("Table rows A-B, counted from 1."),
                                     QStringLiteral("A-B"));
    const QCommandLineOption commentsOpt(QStringLiteral("comments"),
                                         QStringLiteral("The landscape layout with comments."));
    const QCommandLineOption langOpt(QStringLiteral("lang"), QStringLiteral("en or ru."),
                                     QStringLiteral("en|ru"), QStringLiteral("en"));
    const QCommandLineOption unitOpt(QStringLiteral("unit"),
                                     QStringLiteral("kpa, atm, kgf or mmhg."),
                                     QStringLiteral("unit"), QStringLiteral("kpa"));
    p.addOptions({outOpt, rowsOpt, commentsOpt, langOpt, unitOpt});
    if (!p.parse(args)) {
        err << "qel-cli: " << p.errorText() << Qt::endl;
        return ExitUsage;
    }
    if (p.isSet(QStringLiteral("help"))) {
        out << p.helpText();
        return ExitOk;
    }
    Options o;
    o.files = p.positionalArguments().mid(1);
    o.out = p.value(outOpt);
    if (!readLangAndUnit(p.value(langOpt), p.value(unitOpt), o, err))
        return ExitUsage;
    if (o.files.isEmpty() || o.out.isEmpty()) {
        err << "qel-cli: report needs an archive file and --out FILE.pdf" << Qt::endl;
        return ExitUsage;
    }
    const QString ext = QFileInfo(o.out).suffix().toLower();
    if (ext != QLatin1String("pdf")) {
        err << "qel-cli: unsupported report format: ." << ext << Qt::endl;
        return ExitUsage;
    }
    int first = 1;
    int last = -1;
    if (p.isSet(rowsOpt)) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^(\\d+)-(\\d+)$")).match(p.value(rowsOpt));
        first = m.hasMatch() ? m.captured(1).toInt() : 0;
        last = m.hasMatch() ? m.captured(2).toInt() : 0;
        if (first < 1 || last < first) {
            err << "qel-cli: --rows must be A-B with 1 <= A <= B" << Qt::endl;
            return ExitUsage;
        }
    }

    TWorkspace ws;
    setUp(ws, o);
    if (!openFiles(ws, o.files, o, err))
        return ExitFailure;
    TQelBase& dev = *ws.device();
    const int held = int(dev.GetArchCount());
    if (last < 0)
        last = held;
    if (held > 0 && last > held) {
        err << "qel-cli: --rows reach past the last result (" << held << ')' << Qt::endl;
        return ExitFailure;
    }
    const TReportChoice choice =
        chooseReport(held, first, last - first + 1, p.isSet(commentsOpt), o.lang);
    if (choice.kind == TReportKind::None) {
        err << choice.status << Qt::endl;
        return ExitFailure;
    }
    TStringGrid grid;
    dev.UpdateBasicGrid(grid);
    TReportLayout layout = layoutFor(choice.kind);
    if (choice.kind == TReportKind::Single) {
        TRecordingSeries graph;
        dev.UpdateGraph(graph, choice.First - 1);
        frxReportSinglePreview(layout, drawGraphPicture(graph));
    }
    TReportDataSet data(grid, dev.archive(), o.lang);
    data.ReportFirstLine = choice.First;
    data.ReportLinesTotal = choice.Count;
    TReportEngine engine(std::move(layout), data);
    engine.paginate();
    QString error;
    if (!exportPdf(engine, o.out, &error)) {
        err << "qel-cli: " << o.out << ": " << error << Qt::endl;
        return ExitFailure;
    }
    return ExitOk;
}

// One screen of the instrument into a PNG, or into the bitmap file as the buffer decodes.
int cmdScreen(const Options& o, QTextStream& out, QTextStream& err)
{
    TWorkspace ws;
    setUp(ws, o);
    if (!connectPort(ws, o, err))
        return ExitFailure;
    QString failed = runChain(ws, o, false, false, err);
    if (failed.isEmpty()) {
        ws.device()->GetScreenShot();
        const auto got = waitEvent(ws, [&](TOperationType op) {
            return op == otScreenReady || op == otMeasIsGoing || op == otNoAnswer ||
                   (op == otDevDisconnected && ws.device()->GetPortName() != o.port);
        });
        failed = failure(ws, got, otScreenReady, o);
    }
    if (!failed.isEmpty()) {
        err << failed << Qt::endl;
        return ExitFailure;
    }
    TQelBase& dev = *ws.device();
    // Written whole or not at all.
    QSaveFile file(o.out);
    QString error;
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
    } else if (o.out.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive)) {
        const QByteArray bmp = dev.screenBitmap();
        if (file.write(bmp) != bmp.size())
            error = file.errorString();
    } else {
        QImage img;
        dev.UpdateScreenImg(img);
        QImageWriter writer(&file, "png");
        if (!writer.write(img))
            error = writer.errorString();
    }
    if (error.isEmpty() && !file.commit())
        error = file.errorString();
    if (!error.isEmpty()) {
        err << "qel-cli: " << o.out << ": " << error << Qt::endl;
        return ExitFailure;
    }
    out << o.out << Qt::endl;
    return ExitOk;
}

// Prints a catalogue as a table with aligned columns, or as the catalogue file.
void printCatalogue(const TQelBase& dev, bool materials, bool json, QTextStream& out)
{
    if (json) {
        out << (materials ? qelcat::materialsJson(dev.MatCfg) : qelcat::objectsJson(dev.ObjCfg));
        return;
    }
    TStringGrid g;
    if (materials)
        qelcat::fillMaterialsGrid(dev.MatCfg, dev.GetLang(), g);
    else
        qelcat::fillObjectsGrid(dev.ObjCfg, dev.GetLang(), g);
    QList<int> widths(g.colCount(), 0);
    for (int r = 0; r < g.rowCountAll(); ++r)
        for (int c = 0; c < g.colCount(); ++c)
            widths[c] = qMax(widths[c], int(g.cell(c, r).size()));
    for (int r = 0; r < g.rowCountAll(); ++r) {
        QString line = r == 0 ? QStringLiteral("  #") : QStringLiteral("%1").arg(r - 1, 3);
        for (int c = 0; c < g.colCount(); ++c) {
            const QString t = g.cell(c, r);
            // Names to the left, numbers to the right.
            line += QStringLiteral("  ") +
                    (c == 0 ? t.leftJustified(widths[c]) : t.rightJustified(widths[c]));
        }
        while (line.endsWith(u' '))
            line.chop(1);
        out << line << Qt::endl;
    }
}

// materials and objects: read the catalogue; with --set or --reset write it, the catalogue
// as read kept as a backup first, and wait for the acknowledgement; print what the
// instrument holds.
int cmdCatalogue(const Options& o, bool materials, QTextStream& out, QTextStream& err)
{
    QByteArray file;
    if (!o.setFile.isEmpty()) {
        // The file is checked before the instrument is touched.
        QFile f(o.setFile);
        QString why;
        TMatBlock scratchM{};
        TObjBlock scratchO{};
        if (!f.open(QIODevice::ReadOnly)) {
            why = f.errorString();
        } else {
            file = f.readAll();
            const bool ok = materials ? qelcat::materialsFromJson(file, scratchM, &why)
                                      : qelcat::objectsFromJson(file, scratchO, &why);
            if (ok)
                why.clear();
            else if (why.isEmpty())
                why = QStringLiteral("not a catalogue file");
        }
        if (!why.isEmpty()) {
            err << Msg(msgCatalogueNotRead, o.lang) << o.setFile << ": " << why << Qt::endl;
            return ExitFailure;
        }
    }
    TWorkspace ws;
    setUp(ws, o);
    if (!connectPort(ws, o, err))
        return ExitFailure;
    QString failed = runChain(ws, o, false, false, err);
    TQelBase* dev = ws.device();
    auto await = [&](TOperationType wanted) {
        const auto got = waitEvent(ws, [&](TOperationType op) {
            return op == wanted || op == otNoAnswer ||
                   (op == otDevDisconnected && ws.device()->GetPortName() != o.port);
        });
        return failure(ws, got, wanted, o);
    };
    if (failed.isEmpty()) {
        if (materials)
            dev->ReadMaterials();
        else
            dev->ReadObjects();
        failed = await(materials ? otMatRead : otObjRead);
    }
    if (failed.isEmpty() && (o.reset || !file.isEmpty())) {
        const QByteArray asRead =
            materials ? qelcat::materialsJson(dev->MatCfg) : qelcat::objectsJson(dev->ObjCfg);
        if (o.reset) {
            if (materials)
                dev->ResetMaterials();
            else
                dev->ResetObjects();
        } else if (materials) {
            qelcat::materialsFromJson(file, dev->MatCfg, nullptr);
        } else {
            qelcat::objectsFromJson(file, dev->ObjCfg, nullptr);
        }
        QString why;
        if (qelcat::backupCatalogue(
                CatalogueFolder(), dev->devInfo().SerialNumber,
                materials ? QStringLiteral("materials") : QStringLiteral("objects"), asRead, &why)
                .isEmpty())
            err << "qel-cli: no backup of the catalogue: " << why << Qt::endl;
        // Through the grid, whose untouched cells keep their exact values.
        TStringGrid g;
        if (materials) {
            dev->UpdateMaterialsGrid(g);
            dev->ApplyMaterials(g);
        } else {
            dev->UpdateObjectsGrid(g);
            dev->ApplyObjects(g);
        }
        failed = await(materials ? otMatWrite : otObjWrite);
    }
    if (!failed.isEmpty()) {
        err << failed << Qt::endl;
        return ExitFailure;
    }
    printCatalogue(*dev, materials, o.json, out);
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
    "  merge OUT.qel1x IN.qel1x...     merge archive files into OUT without copies\n"
    "  materials --port PATH [--json] [--set FILE.json | --reset]\n"
    "  objects --port PATH [--json] [--set FILE.json | --reset]\n"
    "                                  print a catalogue, or write a file or the factory one\n"
    "  screen --port PATH --out SHOT.png|SHOT.bmp\n"
    "                                  save one screen of the instrument\n"
    "  report FILE.qel1x... --out OUT.pdf [--rows A-B] [--comments]\n"
    "                                  a printed report of the merged files as PDF\n"
    "Common options: --lang en|ru, --unit kpa|atm|kgf|mmhg\n";

} // namespace

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() > 1 && args.at(1) == QLatin1String("report"))
        return cmdReport(args, out, err);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("QEL-1.Connect command line.\n") +
                                QString::fromLatin1(kUsage));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("command"),
                            QStringLiteral("info, clock, download, table, graph, merge, "
                                           "report, materials, objects or screen"));
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
    const QCommandLineOption jsonOpt(QStringLiteral("json"),
                                     QStringLiteral("Print a catalogue as a catalogue file."));
    const QCommandLineOption setOpt(QStringLiteral("set"),
                                    QStringLiteral("Catalogue file to write to the instrument."),
                                    QStringLiteral("FILE.json"));
    const QCommandLineOption resetOpt(QStringLiteral("reset"),
                                      QStringLiteral("Write the factory catalogue."));
    p.addOptions({jsonOpt, setOpt, resetOpt});
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
    if (!readLangAndUnit(p.value(langOpt), p.value(unitOpt), o, err))
        return ExitUsage;
    o.port = p.value(portOpt);
    o.out = p.value(outOpt);
    o.merge = p.values(mergeOpt);
    o.clock = p.isSet(clockOpt);
    o.files = pos.mid(1);
    o.json = p.isSet(jsonOpt);
    o.setFile = p.value(setOpt);
    o.reset = p.isSet(resetOpt);
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
    if (o.command == QLatin1String("merge")) {
        if (o.files.size() < 2) {
            err << "qel-cli: merge needs OUT.qel1x and at least one IN.qel1x" << Qt::endl;
            return ExitUsage;
        }
        return cmdMerge(o, out, err);
    }
    if (o.command == QLatin1String("screen")) {
        const bool png = o.out.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
        const bool bmp = o.out.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive);
        if (o.port.isEmpty() || (!png && !bmp)) {
            err << "qel-cli: screen needs --port PATH and --out SHOT.png or SHOT.bmp" << Qt::endl;
            return ExitUsage;
        }
        return cmdScreen(o, out, err);
    }
    if (o.command == QLatin1String("materials") || o.command == QLatin1String("objects")) {
        if (o.port.isEmpty() || (o.reset && !o.setFile.isEmpty())) {
            err << "qel-cli: " << o.command
                << " needs --port PATH and at most one of --set, --reset" << Qt::endl;
            return ExitUsage;
        }
        return cmdCatalogue(o, o.command == QLatin1String("materials"), out, err);
    }
    err << "qel-cli: unknown command: " << o.command << '\n' << kUsage;
    return ExitUsage;
}

} // namespace qelcli
