// Program entry: QEL_Connect [FILE.qel1x] [--port PATH]... [--demo]
#include "General.h"
#include "PortSource.h"
#include "Prompter.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QThread>
#include <exception>

namespace {

// An error that escapes a handler is shown, and the program goes on.
class TApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(activeWindow(), applicationDisplayName(),
                                  QString::fromUtf8(e.what()));
        }
        return false;
    }
};

// The demo instrument: the stand-in on a thread of its own, paced like a fast link so
// that the progress of a download can be watched.
class TDemoInstrument
{
public:
    bool start()
    {
        fSim = new TQelSim;
        fSim->setArchive(makeArchive(60, quint32(QDateTime::currentSecsSinceEpoch())));
        fSim->setBaud(460800);
        fSim->moveToThread(&fThread);
        fThread.start();
        bool ok = false;
        QMetaObject::invokeMethod(
            fSim,
            [&] {
                ok = fSim->start();
                fPath = fSim->slavePath();
            },
            Qt::BlockingQueuedConnection);
        return ok;
    }
    ~TDemoInstrument()
    {
        if (fSim)
            QMetaObject::invokeMethod(
                fSim, [this] { delete fSim; }, Qt::BlockingQueuedConnection);
        fThread.quit();
        fThread.wait();
    }
    QString path() const { return fPath; }

private:
    QThread fThread;
    TQelSim* fSim = nullptr;
    QString fPath;
};

} // namespace

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QEL_Connect"));
    QApplication::setApplicationDisplayName(QStringLiteral("QEL-1.Connect"));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("QEL-1.Connect"));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Archive file to open."),
                            QStringLiteral("[FILE.qel1x]"));
    const QCommandLineOption portOpt(
        QStringLiteral("port"),
        QStringLiteral("Serial port without a USB identity to list as an instrument."),
        QStringLiteral("PATH"));
    const QCommandLineOption demoOpt(QStringLiteral("demo"),
                                     QStringLiteral("Start with a built-in demo instrument."));
    p.addOptions({portOpt, demoOpt});
    p.process(app);

    QStringList extra = p.values(portOpt);
    TDemoInstrument demo;
    if (p.isSet(demoOpt)) {
        if (!demo.start()) {
            QMessageBox::critical(nullptr, QStringLiteral("QEL-1.Connect"),
                                  QStringLiteral("The demo instrument could not start."));
            return 1;
        }
        extra.append(demo.path());
    }

    TSystemPortSource ports;
    ports.setExtraPorts(extra);
    TDialogPrompter prompter;
    TMainForm form(&ports, &prompter, p.positionalArguments().value(0));
    form.show();
    return app.exec();
}
