// Speed and memory figures of the reports. Not a test: it prints measurements for
// BENCHMARKS.md. Painting text needs a GUI application; it runs on the offscreen platform.
#include "data/StringGrid.h"
#include "data/Views.h"
#include "reports/ReportChoice.h"
#include "reports/ReportEngine.h"
#include "reports/ReportExport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Peak resident memory so far, from the kernel's count.
qint64 peakResidentBytes()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

void benchPdf(TReportKind kind, const char* what, const QList<TCalcQEL>& results,
              const TStringGrid& grid, const QString& dir)
{
    const int rows = int(results.size());
    const qint64 before = peakResidentBytes();
    QElapsedTimer t;
    t.start();
    TReportDataSet data(grid, results, enUS);
    data.ReportFirstLine = 1;
    data.ReportLinesTotal = rows;
    TReportEngine engine(layoutFor(kind), data);
    engine.paginate();
    const double paginated = double(t.nsecsElapsed()) / 1e9;
    const QString path = dir + QStringLiteral("/report.pdf");
    const bool ok = exportPdf(engine, path);
    const double total = double(t.nsecsElapsed()) / 1e9;
    std::printf("PDF of %d rows, %s: %s, %d pages, %.1f MB, pagination %.3f s, total %.2f s: "
                "%.0f rows/s; peak memory +%.1f MB\n",
                rows, what, ok ? "ok" : "FAILED", engine.pageCount(),
                double(QFile(path).size()) / 1e6, paginated, total, rows / total,
                double(peakResidentBytes() - before) / 1e6);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    constexpr int kRows = 65535;
    QList<TCalcQEL> results(kRows);
    for (int i = 0; i < kRows; ++i) {
        TCalcQEL& c = results[i];
        c.ArchRes.Base.Num = uint16_t(i + 1);
        c.ArchRes.Base.DateTime = {24, int8_t(1 + i % 12), int8_t(1 + i % 28), int8_t(i % 24),
                                   int8_t(i % 60)};
        c.ArchRes.AirCode = uint16_t(10000 + i % 300);
        c.ArchRes.Temperature = 20.5f;
        c.ArchRes.M = 0.5f + float(i % 100) / 100;
        c.ArchRes.H = 1.25f;
        c.ArchRes.W = uint32_t(i % 9);
        if (i % 10 == 0)
            c.UserComment = QStringLiteral("Sample taken near the north wall, second floor.");
    }
    TStringGrid grid;
    FillBasicGrid(grid, results, enUS, puKPa);
    QTemporaryDir dir;
    benchPdf(TReportKind::Table, "table", results, grid, dir.path());
    benchPdf(TReportKind::TableWithComments, "table with comments", results, grid, dir.path());
    return 0;
}
