// Speed figures of the window's own work, which needs the widget library: the column fit of
// a full archive's table and the report preview's first page. Not a test: it prints measurements
// for BENCHMARKS.md.
#include "data/StringGrid.h"
#include "data/Views.h"
#include "windows/GridFit.h"
#include "windows/ReportPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QTableView>
#include <QTimer>
#include <cstdio>

namespace {

double millis(qint64 ns)
{
    return double(ns) / 1e6;
}

// A full archive's table: 65,535 results of 11 columns below the captions, most texts
// repeating as they do in a real archive.
void fillFullArchive(TStringGrid& grid)
{
    grid.beginFill();
    grid.setSize(11, 65536);
    for (int c = 0; c < 11; ++c)
        grid.setCell(c, 0, QStringLiteral("Caption %1").arg(c));
    for (int r = 1; r < 65536; ++r) {
        grid.setCell(0, r, QStringLiteral("%1.03.2024").arg(r % 28 + 1, 2, 10, QChar(u'0')));
        grid.setCell(1, r, QStringLiteral("10:%1").arg(r % 60, 2, 10, QChar(u'0')));
        grid.setCell(2, r, QString::number(r));
        grid.setCell(3, r, QStringLiteral("W%1").arg(r % 7));
        grid.setCell(4, r, QStringLiteral("Object %1").arg(r % 20));
        grid.setCell(5, r, QStringLiteral("Material %1").arg(r % 20));
        for (int c = 6; c < 11; ++c)
            grid.setCell(c, r, QString::number((r * (c + 3)) % 1000 / 10.0));
    }
    grid.endFill();
}

void benchWholeFit(const TStringGrid& grid)
{
    const QFontMetrics metrics(QApplication::font());
    const auto width = [&metrics](const QString& t) { return metrics.horizontalAdvance(t); };
    qint64 best = -1;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        const QList<int> widths = FitColumnWidths(grid, width, 2000);
        const qint64 ns = t.nsecsElapsed();
        if (widths.size() != 11) {
            std::printf("column fit: FAILED (%d widths)\n", int(widths.size()));
            return;
        }
        best = best < 0 ? ns : qMin(best, ns);
    }
    std::printf("FitColumnWidths of %d rows: %.1f ms (best of 5)\n", grid.rowCountAll() - 1,
                millis(best));
}

void benchSlicedFit(TStringGrid& grid)
{
    QTableView view;
    view.setModel(&grid);
    view.resize(1000, 600);
    view.show();
    TColumnFitter fitter(&view, grid);

    // A timer of its own between the fitter's slices: the longest gap between its ticks is
    // the longest time the window's events wait.
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QEventLoop loop;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = qMax(longest, sinceTick.nsecsElapsed());
        sinceTick.start();
        if (!fitter.busy())
            loop.quit();
    });
    QElapsedTimer total;
    total.start();
    sinceTick.start();
    fitter.start();
    ticker.start();
    loop.exec();
    std::printf("sliced column fit of %d rows (%d per slice): %.1f ms in all, events wait at "
                "most %.1f ms\n",
                grid.rowCountAll() - 1, TColumnFitter::kRowsPerSlice, millis(total.nsecsElapsed()),
                millis(longest));
}

// The results of a full archive, every tenth with a comment, and their table.
QList<TCalcQEL> fullArchiveResults()
{
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
            c.UserComment = QStringLiteral("Sample taken near the north wall, second floor, "
                                           "after the rain; see the photographs of the site.");
    }
    return results;
}

// From the command to the first page on screen: the report made ready (its copy of the
// table, pagination), the window opened and the page in view painted.
void benchPreview(TReportKind kind, const char* what, const TStringGrid& grid,
                  const QList<TCalcQEL>& results)
{
    TReportPreviewForm form(nullptr);
    qint64 best = -1;
    qint64 firstRun = -1;
    int pages = 0;
    double prepareMs = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        TReportChoice c;
        c.kind = kind;
        c.First = 1;
        c.Count = int(results.size());
        auto report = std::make_unique<TPreparedReport>(grid, results, c, enUS);
        const qint64 prepared = t.nsecsElapsed();
        form.Execute(std::move(report));
        // Painting what the window shows, as its first paint event does.
        const QPixmap shown = form.pageView()->viewport()->grab();
        const qint64 ns = t.nsecsElapsed();
        if (shown.isNull() || form.pageView()->paintedPages() < 1) {
            std::printf("preview, %s: FAILED\n", what);
            return;
        }
        if (firstRun < 0)
            firstRun = ns;
        if (best < 0 || ns < best) {
            best = ns;
            prepareMs = millis(prepared);
        }
        pages = form.model()->pageCount();
    }
    std::printf("preview of %d rows, %s: %d pages, first page shown %.0f ms after the command "
                "(report made ready %.0f ms; best of 3, the first run %.0f ms)\n",
                int(results.size()), what, pages, millis(best), prepareMs, millis(firstRun));
}

} // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Measured text widths need fonts, not a screen: run without a display too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TStringGrid grid;
    fillFullArchive(grid);
    benchWholeFit(grid);
    benchSlicedFit(grid);

    QList<TCalcQEL> results = fullArchiveResults();
    TStringGrid table;
    FillBasicGrid(table, results, enUS, puKPa);
    benchPreview(TReportKind::Table, "table", table, results);
    benchPreview(TReportKind::TableWithComments, "table with comments", table, results);
    return 0;
}
