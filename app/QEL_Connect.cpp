// Program entry: QEL_Connect [FILE.qel1x] [--port PATH]... [--demo]
#include "General.h"
#include "PortSource.h"
#include "Prompter.h"
#include "sim/SimArchive.h"
#include "sim/SimThread.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
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
    // The demo instrument is paced like a fast link, so that a download can be watched.
    TSimThread demo;
    if (p.isSet(demoOpt)) {
        demo.sim().setArchive(makeArchive(60, quint32(QDateTime::currentSecsSinceEpoch())));
        demo.sim().setBaud(460800);
        if (!demo.start()) {
            QMessageBox::critical(nullptr, QStringLiteral("QEL-1.Connect"),
                                  QStringLiteral("The demo instrument could not start."));
            return 1;
        }
        extra.append(demo.slavePath());
    }

    TSystemPortSource ports;
    ports.setExtraPorts(extra);
    TDialogPrompter prompter;
    TMainForm form(&ports, &prompter, p.positionalArguments().value(0));
    form.show();
    return app.exec();
}
