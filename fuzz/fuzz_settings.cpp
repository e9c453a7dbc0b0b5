// The settings reader: the input is QEL.ini in a folder of its own, read over the defaults;
// the same bytes as text go through the number and placement parsers.
#include "app/Settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <unistd.h>

namespace {

QString gIni;
qint64 gStamp = 0;

void check(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char arg0[] = "fuzz_settings";
    static char* argv[] = {arg0, nullptr};
    new QCoreApplication(argc, argv);
    const QString dir = QDir::tempPath() + QStringLiteral("/qel-fuzz-settings-%1").arg(getpid());
    QDir().mkpath(dir);
    qputenv("QEL_CONFIG_DIR", dir.toLocal8Bit());
    gIni = GetConfigFileName();
    gStamp = QDateTime::currentMSecsSinceEpoch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(gIni);
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        check(f.write(bytes) == bytes.size());
        // A new time for every input: the settings cache would otherwise take a file of the
        // same size written in the same millisecond for the one before.
        f.setFileTime(QDateTime::fromMSecsSinceEpoch(++gStamp), QFileDevice::FileModificationTime);
    }
    TGuiConfig cfg;
    const TGuiConfig defaults;
    LoadConfig(cfg);
    check(cfg.Lang == 0 || cfg.Lang == 1);
    check(cfg.Dimension >= 0 && cfg.Dimension <= 3);
    check(cfg.VertSplitter >= 0 && cfg.HorizSplitter >= 0);
    check(!cfg.Skin.isEmpty());

    const QString text = QString::fromUtf8(bytes);
    const int def = size > 0 ? int8_t(data[0]) : 7;
    const int v = ParseIniInt(text, def);
    // A number it reads is written back as itself.
    check(ParseIniInt(QString::number(v), def) == v);
    check(ParseIniInt(QStringLiteral(" 0x") + QString::number(uint(v), 16), def) ==
          (v >= 0 ? v : def));

    QByteArray placement = defaults.Placement;
    HexOverPlacement(text, placement);
    check(placement.size() <= text.size() / 2);
    QByteArray back;
    HexOverPlacement(PlacementToHex(bytes), back);
    check(back == bytes);
    return 0;
}
