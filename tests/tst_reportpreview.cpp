// The report preview: its model without widgets, and the window on the offscreen platform.
#include "app/Prompter.h"
#include "data/StringGrid.h"
#include "data/Views.h"
#include "reports/ReportPreview.h"
#include "windows/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Table layout: 47 rows on page 1, 51 on each later page.
constexpr int kFirstPageRows = 47;
constexpr int kPageRows = 51;

// `n` results numbered from 1, the table filled from them; `marked` results carry the
// comment "marker".
struct Fixture
{
    explicit Fixture(int n, const QList<int>& marked = {})
    {
        for (int i = 0; i < n; ++i) {
            TCalcQEL c;
            c.ArchRes.Base.Num = uint16_t(i + 1);
            c.ArchRes.Base.DateTime = {24, 3, 5, 7, 9};
            c.ArchRes.AirCode = 10132;
            c.ArchRes.M = 0.75f;
            if (marked.contains(i))
                c.UserComment = QStringLiteral("a marker here");
            results.append(c);
        }
        FillBasicGrid(grid, results, enUS, puKPa);
    }
    std::unique_ptr<TPreparedReport> report(TReportKind kind, int first = 1, int count = -1)
    {
        TReportChoice c;
        c.kind = kind;
        c.First = first;
        c.Count = count < 0 ? int(results.size()) : count;
        return std::make_unique<TPreparedReport>(grid, results, c, enUS);
    }
    QList<TCalcQEL> results;
    TStringGrid grid;
};

class ScriptedPrompter : public IPrompter
{
public:
    bool ask(QWidget*, const QString&, const QString&) override { return false; }
    TSaveChoice askSaveChanges(QWidget*, const QString&, const QString&) override
    {
        return TSaveChoice::Cancel;
    }
    TLang askLanguage(QWidget*) override { return enUS; }
    QStringList openFileNames(QWidget*, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&) override { return {}; }
    void error(QWidget*, const QString&, const QString& text) override { errors.append(text); }
    bool printSetup(QWidget*, QPrinter& printer, int pageCount) override
    {
        pagesOffered = pageCount;
        if (printFile.isEmpty())
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printFile);
        printer.setPrintRange(range);
        if (range == QPrinter::PageRange)
            printer.setFromTo(fromPage, toPage);
        return true;
    }
    std::optional<TExportTarget> exportFileName(QWidget*, const QString& name, TLang) override
    {
        suggested = name;
        return exportTarget;
    }

    QString printFile;
    QPrinter::PrintRange range = QPrinter::AllPages;
    int fromPage = 0;
    int toPage = 0;
    int pagesOffered = 0;
    std::optional<TExportTarget> exportTarget;
    QString suggested;
    QStringList errors;
};

int pdfPages(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return int(QString::fromLatin1(f.readAll()).count(page));
}

void trigger(QWidget& w, const char* name)
{
    auto* a = w.findChild<QAction*>(QString::fromLatin1(name));
    QVERIFY2(a, name);
    a->trigger();
}

// Pixels of the marking colour in what the view shows.
int markedPixels(TReportPageView* view)
{
    const QImage img = view->viewport()->grab().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() > 200 && c.green() > 90 && c.green() < 150 && c.blue() < 40;
        }
    return n;
}

// The page that holds record `rec` of the table layout.
int pageOfRecord(int rec)
{
    return rec < kFirstPageRows ? 0 : 1 + (rec - kFirstPageRows) / kPageRows;
}

} // namespace

class TstReportPreview : public QObject
{
    Q_OBJECT
private slots:
    void zoomModes_data();
    void zoomModes();
    void findGoesOnFromTheLastHitAndWraps();
    void windowShowsThePagesInViewOnly();
    void pageNavigationAndThePageBox();
    void keyboardTurnsPagesFindsAndCloses();
    void findInTheWindowJumpsAndMarks();
    void printToAPdfThroughTheSeam_data();
    void printToAPdfThroughTheSeam();
    void cancelStopsALongPrintOrExport_data();
    void cancelStopsALongPrintOrExport();
    void exportThroughTheWindow();
    void oneWindowTitledAndTranslated();
};

void TstReportPreview::zoomModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QSizeF>("viewport");
    QTest::addColumn<double>("expected");

    // A4 portrait at 96 dpi is 793.7 x 1122.5 pixels at 100 %; 12 pixels stay free around it.
    const double w = 210 / 25.4 * 96;
    const double h = 297 / 25.4 * 96;
    QTest::newRow("whole page, tall view fits the width")
        << int(TZoomMode::WholePage) << QSizeF(600, 2000) << (600 - 24) / w;
    QTest::newRow("whole page, wide view fits the height")
        << int(TZoomMode::WholePage) << QSizeF(2000, 600) << (600 - 24) / h;
    QTest::newRow("page width ignores the height")
        << int(TZoomMode::PageWidth) << QSizeF(1000, 300) << (1000 - 24) / w;
    QTest::newRow("a tiny view stops at the least zoom")
        << int(TZoomMode::WholePage) << QSizeF(30, 30) << TReportPreviewModel::kMinZoom;
}

void TstReportPreview::zoomModes()
{
    QFETCH(int, mode);
    QFETCH(QSizeF, viewport);
    QFETCH(double, expected);
    Fixture f(10);
    auto report = f.report(TReportKind::Table);
    TReportPreviewModel m(report->engine());
    QCOMPARE(m.zoomFactor(viewport, 96), 1.0);
    m.setZoomMode(TZoomMode(mode));
    QVERIFY(qAbs(m.zoomFactor(viewport, 96) - expected) < 1e-9);

    // Steps go on from the factor in force and end at the limits.
    m.zoomIn(viewport, 96);
    QCOMPARE(m.zoomMode(), TZoomMode::Factor);
    QVERIFY(m.zoomFactor(viewport, 96) > expected);
    m.setZoomFactor(1);
    m.zoomIn(viewport, 96);
    QCOMPARE(m.zoomFactor(viewport, 96), 1.25);
    m.zoomOut(viewport, 96);
    m.zoomOut(viewport, 96);
    QCOMPARE(m.zoomFactor(viewport, 96), 0.75);
    m.setZoomFactor(100);
    QCOMPARE(m.zoomFactor(viewport, 96), TReportPreviewModel::kMaxZoom);
    m.zoomIn(viewport, 96);
    QCOMPARE(m.zoomFactor(viewport, 96), TReportPreviewModel::kMaxZoom);
}

void TstReportPreview::findGoesOnFromTheLastHitAndWraps()
{
    // Comments on page 1, page 3 and twice on the last page of the comment layout
    // (31 rows on page 1, 34 later).
    Fixture f(31 + 34 * 4, {5, 31 + 34 + 3, 31 + 34 * 3 + 1, 31 + 34 * 3 + 2});
    auto report = f.report(TReportKind::TableWithComments);
    TReportPreviewModel m(report->engine());
    QCOMPARE(m.pageCount(), 5);
    m.setCurrentPage(1);

    QList<int> pages;
    for (int i = 0; i < 5; ++i) {
        const std::optional<TFindHit> hit = m.findNext(QStringLiteral("MARKER"));
        QVERIFY(hit);
        QCOMPARE(hit->cell.text, u"a marker here"_qs);
        QCOMPARE(m.currentPage(), hit->place.page);
        QCOMPARE(m.marked()->place, hit->place);
        pages << hit->place.page;
    }
    QCOMPARE(pages, (QList<int>{2, 4, 4, 0, 2}));
    // The mark lies in the comment column of its row, right of the eleven table columns.
    const std::optional<TFindHit> hit = m.findNext(QStringLiteral("marker"), TReportPlace{0, -1});
    QVERIFY(hit && hit->place.page == 0);
    QCOMPARE(hit->cell.rect.left(), 10.0 + 195);
    QCOMPARE(hit->cell.rect.width(), 82.0);

    // A single occurrence is found again after a full round.
    const std::optional<TFindHit> title = m.findNext(QStringLiteral("values of air"));
    QVERIFY(title && title->place.page == 0);
    const std::optional<TFindHit> again = m.findNext(QStringLiteral("values of air"));
    QVERIFY(again && again->place == title->place);

    QVERIFY(!m.findNext(QStringLiteral("no such text")));
    QVERIFY(!m.marked());
    QVERIFY(!m.findNext(QString()));
    // A search that is stopped finds nothing.
    int searched = 0;
    QVERIFY(!m.findNext(QStringLiteral("zzz"), [&](int n) {
        searched = n;
        return n < 2;
    }));
    QCOMPARE(searched, 2);
}

void TstReportPreview::windowShowsThePagesInViewOnly()
{
    Fixture f(kFirstPageRows + kPageRows * 1200);
    ScriptedPrompter prompter;
    TReportPreviewForm form(&prompter);
    QVERIFY(form.Execute(f.report(TReportKind::Table)));
    QCOMPARE(form.model()->pageCount(), 1201);
    form.pageView()->viewport()->grab();
    const int painted = form.pageView()->paintedPages();
    QVERIFY2(painted >= 1 && painted <= 3, qPrintable(QString::number(painted)));
    QCOMPARE(form.statusText(), u"Страница 1 из 1201"_qs);
    trigger(form, "ActionLast");
    form.pageView()->viewport()->grab();
    QVERIFY(form.pageView()->paintedPages() - painted <= 3);
}

void TstReportPreview::pageNavigationAndThePageBox()
{
    Fixture f(kFirstPageRows + kPageRows * 4); // five pages
    ScriptedPrompter prompter;
    TReportPreviewForm form(&prompter);
    form.ApplyLanguage(enUS);
    form.Execute(f.report(TReportKind::Table));
    TReportPreviewModel* m = form.model();
    const auto at = [&](int page) {
        return m->currentPage() == page && form.pageBox()->value() == page + 1 &&
               form.pageView()->pageInView() == page &&
               form.statusText() == QStringLiteral("Page %1 of 5").arg(page + 1);
    };
    QVERIFY(at(0));
    trigger(form, "ActionPrior");
    QVERIFY(at(0));
    trigger(form, "ActionNext");
    QVERIFY(at(1));
    trigger(form, "ActionLast");
    QVERIFY(at(4));
    trigger(form, "ActionNext");
    QVERIFY(at(4));
    trigger(form, "ActionFirst");
    QVERIFY(at(0));
    form.pageBox()->setValue(3);
    QVERIFY(at(2));
    QCOMPARE(form.pageBox()->maximum(), 5);

    // Scrolling by hand turns the page box too.
    QScrollBar* bar = form.pageView()->verticalScrollBar();
    bar->setValue(form.pageView()->pageTop(3));
    QVERIFY(at(3));

    // Zoom modes through the window: the page fits the view, or its width fills it.
    trigger(form, "ActionWholePage");
    const QSize vp = form.pageView()->viewport()->size();
    QSize page = form.pageView()->pageSizePx();
    QVERIFY(page.width() <= vp.width() && page.height() <= vp.height());
    QVERIFY(page.width() >= vp.width() - 26 || page.height() >= vp.height() - 26);
    QVERIFY(at(3)); // the page stays in view through a change of zoom
    trigger(form, "ActionPageWidth");
    page = form.pageView()->pageSizePx();
    QVERIFY(qAbs(page.width() - (vp.width() - 24)) <= 1);
    trigger(form, "ActionZoom100");
    QCOMPARE(form.pageView()->zoom(), 1.0);
    trigger(form, "ActionZoomIn");
    QCOMPARE(form.pageView()->zoom(), 1.25);
    trigger(form, "ActionZoomOut");
    trigger(form, "ActionZoomOut");
    QCOMPARE(form.pageView()->zoom(), 0.75);
    QVERIFY(at(3));
}

void TstReportPreview::keyboardTurnsPagesFindsAndCloses()
{
    Fixture f(kFirstPageRows + kPageRows * 4);
    ScriptedPrompter prompter;
    TReportPreviewForm form(&prompter);
    form.Execute(f.report(TReportKind::Table));
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWidget* view = form.pageView();
    QTest::keyClick(view, Qt::Key_PageDown);
    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(form.model()->currentPage(), 2);
    QTest::keyClick(view, Qt::Key_PageUp);
    QCOMPARE(form.model()->currentPage(), 1);
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(form.model()->currentPage(), 4);
    QTest::keyClick(view, Qt::Key_Home);
    QCOMPARE(form.model()->currentPage(), 0);
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(form.pageView()->zoom(), 1.25);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(form.pageView()->zoom(), 1.0);

    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(form.findBox()->hasFocus());
    QTest::keyClicks(form.findBox(), QStringLiteral("Measured"));
    QTest::keyClick(form.findBox(), Qt::Key_Return);
    QVERIFY(form.model()->marked());
    QTest::keyClick(view, Qt::Key_F3);
    QCOMPARE(form.model()->marked()->place.page, 0); // the title only: found again

    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(!form.isVisible());
}

void TstReportPreview::findInTheWindowJumpsAndMarks()
{
    Fixture f(kFirstPageRows + kPageRows * 4);
    ScriptedPrompter prompter;
    TReportPreviewForm form(&prompter);
    form.ApplyLanguage(enUS);
    form.Execute(f.report(TReportKind::Table));
    TReportPageView* view = form.pageView();
    QCOMPARE(markedPixels(view), 0);

    // The number of result 180 (record 179) stands on page 4 and nowhere else.
    form.findBox()->setText(QStringLiteral("180"));
    trigger(form, "ActionFindNext");
    QVERIFY(form.model()->marked());
    QCOMPARE(form.model()->currentPage(), pageOfRecord(179));
    QCOMPARE(form.pageBox()->value(), pageOfRecord(179) + 1);
    QCOMPARE(form.model()->marked()->cell.text, u"180"_qs);
    QVERIFY(markedPixels(view) > 100);

    form.findBox()->setText(QStringLiteral("no such text"));
    trigger(form, "ActionFindNext");
    QVERIFY(!form.model()->marked());
    QCOMPARE(form.statusText(), u"Text \"no such text\" not found"_qs);
    QCOMPARE(markedPixels(view), 0);
    QCOMPARE(form.model()->currentPage(), pageOfRecord(179));
}

void TstReportPreview::printToAPdfThroughTheSeam_data()
{
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("pages");
    QTest::newRow("all pages") << int(QPrinter::AllPages) << 0 << 0 << 5;
    QTest::newRow("pages 2 to 3") << int(QPrinter::PageRange) << 2 << 3 << 2;
    QTest::newRow("past the last page") << int(QPrinter::PageRange) << 4 << 9 << 2;
    QTest::newRow("current page") << int(QPrinter::CurrentPage) << 0 << 0 << 1;
}

void TstReportPreview::printToAPdfThroughTheSeam()
{
    QFETCH(int, range);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, pages);
    Fixture f(kFirstPageRows + kPageRows * 4);
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    prompter.printFile = dir.filePath(QStringLiteral("print.pdf"));
    prompter.range = QPrinter::PrintRange(range);
    prompter.fromPage = from;
    prompter.toPage = to;
    TReportPreviewForm form(&prompter);
    form.ApplyLanguage(enUS);
    form.Execute(f.report(TReportKind::Table));
    trigger(form, "ActionPrint");
    QCOMPARE(prompter.pagesOffered, 5);
    QCOMPARE(pdfPages(prompter.printFile), pages);
    QCOMPARE(form.statusText(), QStringLiteral("Pages printed: %1").arg(pages));
    QVERIFY(prompter.errors.isEmpty());
    QVERIFY(!form.busy() && !form.progressDialog());

    // A cancelled print dialog prints nothing.
    QFile::remove(prompter.printFile);
    prompter.printFile.clear();
    trigger(form, "ActionPrint");
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("print.pdf"))));
}

void TstReportPreview::cancelStopsALongPrintOrExport_data()
{
    QTest::addColumn<bool>("print");
    QTest::newRow("print") << true;
    QTest::newRow("export") << false;
}

void TstReportPreview::cancelStopsALongPrintOrExport()
{
    QFETCH(bool, print);
    Fixture f(kFirstPageRows + kPageRows * 39); // 40 pages
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("long.pdf"));
    ScriptedPrompter prompter;
    prompter.printFile = file;
    prompter.exportTarget = TExportTarget{file, TExportFormat::Pdf};
    TReportPreviewForm form(&prompter);
    form.ApplyLanguage(enUS);
    form.Execute(f.report(TReportKind::Table));
    // Cancel as the progress dialog's button does, once a few pages are done; meanwhile
    // the window turns its pages.
    int steps = 0;
    int lastDone = 0;
    connect(&form, &TReportPreviewForm::workProgress, &form, [&](int done, int) {
        ++steps;
        lastDone = done;
        QVERIFY(form.busy());
        if (done == 3) {
            QVERIFY(form.progressDialog());
            trigger(form, "ActionNext");
            form.progressDialog()->cancel();
        }
    });
    trigger(form, print ? "ActionPrint" : "ActionExport");
    QCOMPARE(lastDone, 3);
    QCOMPARE(steps, 4);
    QCOMPARE(form.model()->currentPage(), 1);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(form.statusText(), print ? u"Printing cancelled"_qs : u"Export cancelled"_qs);
    QVERIFY(prompter.errors.isEmpty());
    QVERIFY(!form.busy() && !form.progressDialog());
    // The window takes the next command.
    disconnect(&form, &TReportPreviewForm::workProgress, nullptr, nullptr);
    trigger(form, print ? "ActionPrint" : "ActionExport");
    QCOMPARE(pdfPages(file), 40);
}

void TstReportPreview::exportThroughTheWindow()
{
    Fixture f(60);
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    TReportPreviewForm form(&prompter);
    form.ApplyLanguage(enUS);
    form.Execute(f.report(TReportKind::Table));

    const QString file = dir.filePath(QStringLiteral("out.pdf"));
    prompter.exportTarget = TExportTarget{file, TExportFormat::Pdf};
    trigger(form, "ActionExport");
    QCOMPARE(prompter.suggested, u"Measured values of air permeability.pdf"_qs);
    QCOMPARE(pdfPages(file), 2);
    QCOMPARE(form.statusText(), u"Report exported: "_qs + QDir::toNativeSeparators(file));

    // A folder that does not exist: an error box, and no file.
    const QString bad = dir.filePath(QStringLiteral("missing/out.pdf"));
    prompter.exportTarget = TExportTarget{bad, TExportFormat::Pdf};
    trigger(form, "ActionExport");
    QCOMPARE(prompter.errors.size(), 1);
    QVERIFY(prompter.errors.first().startsWith(u"The report was not exported: "_qs));
    QVERIFY(!QFile::exists(bad));

    // A name without an extension takes the filter's; an extension names the format.
    QCOMPARE(exportTargetFor(u"/x/report"_qs, TExportFormat::Pdf).path, u"/x/report.pdf"_qs);
    QCOMPARE(int(exportTargetFor(u"/x/report.PDF"_qs, TExportFormat::Csv).format),
             int(TExportFormat::Pdf));
    QCOMPARE(exportSuggestedName(u"a/b: c?"_qs, TExportFormat::Pdf), u"a_b_ c_.pdf"_qs);
}

void TstReportPreview::oneWindowTitledAndTranslated()
{
    Fixture f(60);
    ScriptedPrompter prompter;
    TReportPreviewForm form(&prompter);
    form.Execute(f.report(TReportKind::Table));
    QCOMPARE(form.windowTitle(), u"Measured values of air permeability"_qs);
    auto* print = form.findChild<QAction*>(u"ActionPrint"_qs);
    QCOMPARE(print->text(), u"Печать..."_qs);
    form.ApplyLanguage(enUS);
    QCOMPARE(print->text(), u"Print..."_qs);
    QCOMPARE(form.lang(), enUS);
    form.ApplyLanguage(ruRU);
    QCOMPARE(print->text(), u"Печать..."_qs);

    // A second report takes the place of the first, from its first page.
    form.pageBox()->setValue(2);
    QVERIFY(form.Execute(f.report(TReportKind::TableWithComments)));
    QCOMPARE(form.report()->kind(), TReportKind::TableWithComments);
    QCOMPARE(form.model()->currentPage(), 0);
    QCOMPARE(form.pageBox()->maximum(), form.model()->pageCount());
}

QTEST_MAIN(TstReportPreview)
#include "tst_reportpreview.moc"
