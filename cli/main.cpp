#include "CliApp.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qel-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int rc = qelcli::run(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return rc;
}
