#include "CliApp.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char* argv[])
{
    // Reports paint text, which needs the font database of a GUI application; without a
    // display it runs on the offscreen platform. The other commands stay window-free.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "report") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("qel-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int rc = qelcli::run(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return rc;
}
