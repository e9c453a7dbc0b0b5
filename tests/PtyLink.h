// A name of the test's own for a pseudo-terminal. The system hands a closed pty's number to
// the next pty opened, by any program, so a /dev/pts path named after its pty closed may
// already be another suite's instrument. A link in a private directory cannot be taken.
#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class PtyLink
{
public:
    // Points the link at the pty, replacing an earlier target (a stand-in plugged in again).
    bool point(const QString& ptyPath)
    {
        QFile::remove(fPath);
        return fDir.isValid() && QFile::link(ptyPath, fPath);
    }
    // The instrument went: its name goes with it, as the system removes a device's links.
    void remove() { QFile::remove(fPath); }
    QString path() const { return fPath; }

private:
    QTemporaryDir fDir;
    QString fPath = fDir.filePath(QStringLiteral("ttyQEL0"));
};

} // namespace testsupport
