// The archive file loader: the input is the file. Some inputs are loaded with results held
// already; a file that loads is shown in the table and graph, saved and loaded again, and
// must come back with the same identity, records, samples and comments.
#include "data/ArchiveFile.h"
#include "data/StringGrid.h"
#include "data/Views.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

QString gInput;
QString gSaved;

void check(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char arg0[] = "fuzz_archive_file";
    static char* argv[] = {arg0, nullptr};
    new QCoreApplication(argc, argv);
    const QString dir = QDir::tempPath() + QStringLiteral("/qel-fuzz-archive-%1").arg(getpid());
    QDir().mkpath(dir);
    gInput = dir + QStringLiteral("/in.qel1x");
    gSaved = dir + QStringLiteral("/saved.qel1x");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile f(gInput);
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        check(f.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    // Held results count against the limit: none, a few, and all but two.
    static const qsizetype kHeld[] = {0, 3, kMaxArchive - 2};
    const qsizetype held = kHeld[size % 3];
    const TLang lang = (size & 4) ? enUS : ruRU;
    const auto unit = EPressureUnits((size >> 3) % 4);

    TQelInfo info{};
    QList<TCalcQEL> results;
    QString error;
    if (!LoadArchiveFile(gInput, held, lang, info, results, error)) {
        check(!error.isEmpty());
        return 0;
    }
    check(held + results.size() <= kMaxArchive);

    TStringGrid grid;
    FillBasicGrid(grid, results, lang, unit);
    check(grid.rowCountAll() == qMax<qsizetype>(2, results.size() + 1));
    for (const TCalcQEL& r : results) {
        TRecordingSeries graph;
        FillGraph(graph, r, lang, unit);
    }

    SaveArchiveFile(gSaved, info, results, lang);
    TQelInfo info2{};
    QList<TCalcQEL> back;
    check(LoadArchiveFile(gSaved, 0, lang, info2, back, error));
    check(std::memcmp(&info, &info2, sizeof info) == 0);
    check(back.size() == results.size());
    for (qsizetype i = 0; i < results.size(); ++i) {
        const TCalcQEL& a = results[i];
        const TCalcQEL& b = back[i];
        check(std::memcmp(&a.ArchRes, &b.ArchRes, sizeof a.ArchRes) == 0);
        check(b.Samples ==
              a.Samples.first(qMin<qsizetype>(a.Samples.size(), a.ArchRes.SampleCount)));
        check(b.UserComment == a.UserComment);
    }
    return 0;
}
