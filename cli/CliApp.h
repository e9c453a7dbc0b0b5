// The command-line front: talks to an instrument or reads archive files without a window.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace qelcli {

enum ExitCode : int
{
    ExitOk = 0,
    ExitFailure = 1,
    ExitUsage = 2
};

// Runs one command line (args[0] is the program). Must run inside a QCoreApplication:
// replies are handled by its event loop while a command waits.
int run(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace qelcli
