#include "CliApp.h"

#include "device/QelBase.h"
#include "i18n/Messages.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <optional>

namespace qelcli {

namespace {

// Bound of every wait for the instrument: the command never waits for ever.
constexpr int kReplyTimeoutMs = 5000;

struct Options
{
    QString command;
    QString port;
    TLang lang = enUS;
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
        err << Msg(msgPortBusy, o.lang) << ": " << o.port << Qt::endl;
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

const char kUsage[] = "Commands:\n"
                      "  info  --port PATH   print the instrument's name\n"
                      "  clock --port PATH   set the instrument's clock from this computer\n";

} // namespace

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("QEL-1.Connect command line.\n") +
                                QString::fromLatin1(kUsage));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("command"), QStringLiteral("info or clock"));
    const QCommandLineOption portOpt(QStringLiteral("port"),
                                     QStringLiteral("Serial port of the instrument."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption langOpt(QStringLiteral("lang"),
                                     QStringLiteral("Language of the texts: en or ru."),
                                     QStringLiteral("en|ru"), QStringLiteral("en"));
    p.addOption(portOpt);
    p.addOption(langOpt);
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

    if (o.command == QLatin1String("info") || o.command == QLatin1String("clock")) {
        if (o.port.isEmpty()) {
            err << "qel-cli: " << o.command << " needs --port PATH" << Qt::endl;
            return ExitUsage;
        }
        return o.command == QLatin1String("info") ? cmdInfo(o, out, err) : cmdClock(o, out, err);
    }
    err << "qel-cli: unknown command: " << o.command << '\n' << kUsage;
    return ExitUsage;
}

} // namespace qelcli
