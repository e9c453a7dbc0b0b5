// The small pieces of the main window: the comment text form, the fitting of table columns,
// the pressure graph and the first-start language question.
#include "data/StringGrid.h"
#include "i18n/Messages.h"
#include "windows/ChartSink.h"
#include "windows/CommentText.h"
#include "windows/GridFit.h"
#include "windows/HelpWindow.h"
#include "windows/LangForm.h"
#include "windows/ReportHeader.h"
#include "app/Prompter.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QLineSeries>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QValueAxis>

namespace {

// Gives one picture file and records the errors shown.
class PicturePrompter : public IPrompter
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
    QString pictureFileName(QWidget*) override { return picture; }
    QString picture;
    QStringList errors;
};

// A grid of the given rows, row 0 being the captions.
void fillGrid(TStringGrid& grid, const QList<QStringList>& rows)
{
    const int cols = rows.isEmpty() ? 0 : int(rows.front().size());
    grid.setSize(cols, int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < cols; ++c)
            grid.setCell(c, r, rows[r].value(c));
}

int sevenPerChar(const QString& text)
{
    return 7 * int(text.size());
}

void fill(TChartSink& sink, const QList<QPointF>& points)
{
    sink.clear();
    for (const QPointF& p : points)
        sink.addPoint(p.x(), p.y());
}

void checkAxesCover(TChartSink& sink, const QList<QPointF>& points)
{
    const QValueAxis* x = sink.view()->timeAxis();
    const QValueAxis* y = sink.view()->pressureAxis();
    QVERIFY(x->min() < x->max());
    QVERIFY(y->min() < y->max());
    for (const QPointF& p : points) {
        QVERIFY2(x->min() <= p.x() && p.x() <= x->max(), qPrintable(QString::number(p.x())));
        QVERIFY2(y->min() <= p.y() && p.y() <= y->max(), qPrintable(QString::number(p.y())));
    }
}

void sendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
               QPoint pos)
{
    QMouseEvent event(type, QPointF(pos), target->mapToGlobal(QPointF(pos)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

const QList<QPointF> kThreePoints{{0, 12.5}, {1, 12.5}, {2, 30.25}};

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT
private slots:
    void commentLinesJoinIntoOneString_data();
    void commentLinesJoinIntoOneString();
    void commentStringSplitsIntoLines_data();
    void commentStringSplitsIntoLines();
    void commentRoundTripKeepsEveryNonEmptyLine_data();
    void commentRoundTripKeepsEveryNonEmptyLine();

    void columnWidthsFitTextsAndStretchOneColumn_data();
    void columnWidthsFitTextsAndStretchOneColumn();
    void fitGridColumnsFillsTheViewport();
    void slicedFitEndsWithTheSameWidths();

    void fillReachesSeriesAtEitherClosingCall_data();
    void fillReachesSeriesAtEitherClosingCall();
    void secondFillReplacesPoints();
    void emptyFillLeavesEmptySeriesAndSaneAxes();
    void resetZoomUndoesZoomAndScroll();
    void middleDragScrollsWithoutZooming();
    void rightClickKeepsZoom();
    void grabbedImageShowsTheLine();

    void radioClickChoosesLanguageAndCloses_data();
    void radioClickChoosesLanguageAndCloses();
    void closingWithoutChoiceLeavesRussian();

    void reportHeaderEditsTheLetterhead();
    void missingGuideIsSaidInTheHelpWindow_data();
    void missingGuideIsSaidInTheHelpWindow();
};

void TestWidgets::commentLinesJoinIntoOneString_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("text");

    QTest::newRow("no lines") << QStringList{} << QString();
    QTest::newRow("one empty line") << QStringList{QString()} << QStringLiteral("''");
    QTest::newRow("empty line among others")
        << QStringList{"a", "", "b c"} << QStringLiteral("a\r\r'b c'");
    QTest::newRow("two empty lines") << QStringList{"", ""} << QStringLiteral("\r");
    QTest::newRow("plain words") << QStringList{"Бетон!", "B25"} << QStringLiteral("Бетон!\rB25");
    QTest::newRow("apostrophe doubled") << QStringList{"it's"} << QStringLiteral("'it''s'");
    QTest::newRow("lone apostrophe") << QStringList{"'"} << QStringLiteral("''''");
    QTest::newRow("tab") << QStringList{"a\tb"} << QStringLiteral("'a\tb'");
    QTest::newRow("control U+0001")
        << QStringList{QStringLiteral("x\x01")} << QStringLiteral("'x\x01'");
    QTest::newRow("carriage return") << QStringList{"a\rb", "c"} << QStringLiteral("'a\rb'\rc");
    QTest::newRow("leading space") << QStringList{" a"} << QStringLiteral("' a'");
    QTest::newRow("U+0021 plain") << QStringList{"!x!"} << QStringLiteral("!x!");
}

void TestWidgets::commentLinesJoinIntoOneString()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, text);
    QCOMPARE(CommentLinesToString(lines), text);
}

void TestWidgets::commentStringSplitsIntoLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("separators only") << QStringLiteral(" \r\t\n") << QStringList{};
    QTest::newRow("two apostrophes") << QStringLiteral("''") << QStringList{QString()};
    QTest::newRow("empty line dropped") << QStringLiteral("a\r\r'b c'") << QStringList{"a", "b c"};
    QTest::newRow("separator runs and edges")
        << QStringLiteral(" \t\ra \x01\x02 b\r ") << QStringList{"a", "b"};
    QTest::newRow("space splits unquoted") << QStringLiteral("b c") << QStringList{"b", "c"};
    QTest::newRow("doubled apostrophes") << QStringLiteral("'it''s'''") << QStringList{"it's'"};
    QTest::newRow("unterminated quote")
        << QStringLiteral("x\r'abc def\rg") << QStringList{"x", "abc def\rg"};
    QTest::newRow("quote ends its token") << QStringLiteral("'a b'c") << QStringList{"a b", "c"};
    QTest::newRow("apostrophe inside a word") << QStringLiteral("a'b c") << QStringList{"a'b", "c"};
    QTest::newRow("quoted carriage return") << QStringLiteral("'a\rb'") << QStringList{"a\rb"};
    QTest::newRow("empty quoted among others")
        << QStringLiteral("a\r''\rb") << QStringList{"a", "", "b"};
}

void TestWidgets::commentStringSplitsIntoLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(CommentStringToLines(text), lines);
}

void TestWidgets::commentRoundTripKeepsEveryNonEmptyLine_data()
{
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("one empty line") << QStringList{QString()};
    QTest::newRow("mixed") << QStringList{"it's",
                                          "a b",
                                          "\tx",
                                          "plain",
                                          "'",
                                          "''",
                                          "a\r\nb",
                                          QStringLiteral("\x1f"),
                                          "Проба №3, t=20 °C"};
}

void TestWidgets::commentRoundTripKeepsEveryNonEmptyLine()
{
    QFETCH(QStringList, lines);
    QCOMPARE(CommentStringToLines(CommentLinesToString(lines)), lines);
}

void TestWidgets::columnWidthsFitTextsAndStretchOneColumn_data()
{
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<QList<int>>("widths");

    // 7 px a character plus 15 of padding; the captions count like any cell.
    const QList<QStringList> four{{"ab", "c", "", "defg"}, {"a", "bcd", "x", ""}};
    // 29 + 36 + 22 + 43 = 130
    QTest::newRow("4 columns stretch column 1")
        << four << 200 << QList<int>{29, 36 + 200 - 130 - 5, 22, 43};
    QTest::newRow("3 columns stretch column 1")
        << QList<QStringList>{{"a", "b", "c"}} << 100 << QList<int>{22, 22 + 100 - 66 - 4, 22};
    QTest::newRow("no spare width") << four << 130 << QList<int>{29, 36, 22, 43};
    QTest::newRow("narrower than the texts") << four << 50 << QList<int>{29, 36, 22, 43};
    QTest::newRow("spare less than the grid lines") << four << 134 << QList<int>{29, 36, 22, 43};

    // Eleven single-letter captions (22 each) and a row whose column 4 is 10 characters
    // long (85): 10 * 22 + 85 = 305.
    QList<QStringList> eleven{{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A"},
                              {"", "", "", "", "0123456789", "", "", "", "", "", ""}};
    QList<int> elevenFit(11, 22);
    elevenFit[4] = 85;
    QList<int> elevenStretched = elevenFit;
    elevenStretched[3] += 1000 - 305 - 12;
    QTest::newRow("11 columns stretch column 3") << eleven << 1000 << elevenStretched;
    QTest::newRow("11 columns, no spare width") << eleven << 305 << elevenFit;

    QList<QStringList> five{{"a", "b", "c", "d", "e"}};
    QTest::newRow("5 columns stretch column 3")
        << five << 200 << QList<int>{22, 22, 22, 22 + 200 - 110 - 6, 22};
    QTest::newRow("2 columns keep their widths")
        << QList<QStringList>{{"a", "b"}} << 500 << QList<int>{};
    QTest::newRow("no columns") << QList<QStringList>{} << 500 << QList<int>{};
}

void TestWidgets::columnWidthsFitTextsAndStretchOneColumn()
{
    QFETCH(QList<QStringList>, rows);
    QFETCH(int, clientWidth);
    QFETCH(QList<int>, widths);
    TStringGrid grid;
    fillGrid(grid, rows);
    QCOMPARE(FitColumnWidths(grid, sevenPerChar, clientWidth), widths);
}

void TestWidgets::fitGridColumnsFillsTheViewport()
{
    TStringGrid grid;
    fillGrid(grid, {{"Дата", "Время", "№", "W", "Объект", "Материал", "m", "a", "h", "P", "t"},
                    {"01.02.2024", "10:05", "17", "W3", "Мост", "Бетон", "12,5", "0,080", "—",
                     "101,32", "20,5"}});
    QTableView view;
    view.setModel(&grid);
    view.resize(1400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    FitGridColumns(&view, grid);

    const QFontMetrics metrics(view.font());
    const QList<int> fit = FitColumnWidths(
        grid, [&](const QString& t) { return metrics.horizontalAdvance(t); }, 0);
    QHeaderView* header = view.horizontalHeader();
    QCOMPARE(header->count(), 11);
    int total = 0;
    for (int c = 0; c < 11; ++c) {
        total += header->sectionSize(c);
        if (c != 3)
            QCOMPARE(header->sectionSize(c), fit[c]);
    }
    QVERIFY(header->sectionSize(3) > fit[3]);
    QCOMPARE(total, view.viewport()->width() - 12);
}

void TestWidgets::slicedFitEndsWithTheSameWidths()
{
    // More rows than one slice; the widest text sits in the last slice.
    TStringGrid grid;
    const int rows = TColumnFitter::kRowsPerSlice * 2 + 10;
    grid.setSize(11, rows);
    for (int c = 0; c < 11; ++c)
        grid.setCell(c, 0, QStringLiteral("c%1").arg(c));
    for (int r = 1; r < rows; ++r)
        for (int c = 0; c < 11; ++c)
            grid.setCell(c, r, QString::number(r % 97));
    grid.setCell(5, rows - 1, QStringLiteral("the widest text of all"));
    QTableView view;
    view.setModel(&grid);
    view.resize(600, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    TColumnFitter fitter(&view, grid);
    fitter.start();
    QVERIFY(fitter.busy()); // the window gets its events between the slices
    QVERIFY(QTest::qWaitFor([&] { return !fitter.busy(); }, 5000));
    const QFontMetrics metrics(view.font());
    const QList<int> fit = FitColumnWidths(
        grid, [&](const QString& t) { return metrics.horizontalAdvance(t); },
        view.viewport()->width());
    for (int c = 0; c < 11; ++c)
        QCOMPARE(view.horizontalHeader()->sectionSize(c), fit[c]);

    // A refill during a fit starts it again on the new rows.
    fitter.start();
    grid.beginFill();
    grid.setCell(5, rows - 1, QStringLiteral("x"));
    grid.endFill();
    QVERIFY(QTest::qWaitFor([&] { return !fitter.busy(); }, 5000));
    QVERIFY(view.horizontalHeader()->sectionSize(5) < fit[5]);
}

void TestWidgets::fillReachesSeriesAtEitherClosingCall_data()
{
    QTest::addColumn<bool>("viaZoom");
    QTest::addColumn<bool>("viaTitles");
    QTest::newRow("resetZoom") << true << false;
    QTest::newRow("setAxisTitles") << false << true;
    QTest::newRow("both, as the graph is filled") << true << true;
}

void TestWidgets::fillReachesSeriesAtEitherClosingCall()
{
    QFETCH(bool, viaZoom);
    QFETCH(bool, viaTitles);
    TChartSink sink;
    QLineSeries* series = sink.view()->series();
    QSignalSpy replaced(series, &QXYSeries::pointsReplaced);
    QSignalSpy added(series, &QXYSeries::pointAdded);

    fill(sink, kThreePoints);
    QCOMPARE(sink.points(), kThreePoints);
    if (viaZoom)
        sink.resetZoom();
    if (viaTitles)
        sink.setAxisTitles(QStringLiteral("Pressure, kPa"), QStringLiteral("Time, s"));

    QCOMPARE(series->points(), kThreePoints);
    QCOMPARE(replaced.count(), 1); // one hand-over, not a point at a time
    QCOMPARE(added.count(), 0);
    if (viaTitles) {
        QCOMPARE(sink.leftTitle(), QStringLiteral("Pressure, kPa"));
        QCOMPARE(sink.bottomTitle(), QStringLiteral("Time, s"));
    }
    if (viaZoom)
        checkAxesCover(sink, kThreePoints);
}

void TestWidgets::secondFillReplacesPoints()
{
    TChartSink sink;
    fill(sink, kThreePoints);
    sink.resetZoom();
    const QList<QPointF> second{{0, 700}, {1, 650}};
    fill(sink, second);
    sink.resetZoom();
    sink.setAxisTitles(QStringLiteral("Давление, мм рт. ст."), QStringLiteral("Время, с"));
    QCOMPARE(sink.view()->series()->points(), second);
    QCOMPARE(sink.points(), second);
    checkAxesCover(sink, second);
    QVERIFY(sink.view()->pressureAxis()->min() > 100); // fitted anew, not kept from the first
}

void TestWidgets::emptyFillLeavesEmptySeriesAndSaneAxes()
{
    TChartSink sink;
    fill(sink, kThreePoints);
    sink.resetZoom();
    sink.clear();
    sink.resetZoom();
    QVERIFY(sink.view()->series()->points().isEmpty());
    QVERIFY(sink.points().isEmpty());
    checkAxesCover(sink, {});

    // A single sample: flat and at one instant, still a drawable range.
    const QList<QPointF> one{{0, 42}};
    fill(sink, one);
    sink.resetZoom();
    checkAxesCover(sink, one);
}

void TestWidgets::resetZoomUndoesZoomAndScroll()
{
    TChartSink sink;
    sink.view()->resize(400, 300);
    fill(sink, kThreePoints);
    sink.resetZoom();
    const QValueAxis* x = sink.view()->timeAxis();
    const QValueAxis* y = sink.view()->pressureAxis();
    const qreal x0 = x->min(), x1 = x->max(), y0 = y->min(), y1 = y->max();

    QChart* chart = sink.view()->chart();
    const QRectF plot = chart->plotArea();
    chart->zoomIn(QRectF(plot.center(), plot.size() / 4));
    chart->scroll(30, -20);
    QVERIFY(chart->isZoomed());
    QVERIFY(x->max() - x->min() < x1 - x0);

    fill(sink, kThreePoints);
    sink.resetZoom();
    QVERIFY(!chart->isZoomed());
    QCOMPARE(x->min(), x0);
    QCOMPARE(x->max(), x1);
    QCOMPARE(y->min(), y0);
    QCOMPARE(y->max(), y1);
}

void TestWidgets::middleDragScrollsWithoutZooming()
{
    TChartSink sink;
    TPressChartView* view = sink.view();
    view->resize(400, 300);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    fill(sink, kThreePoints);
    sink.resetZoom();
    const QValueAxis* x = view->timeAxis();
    const QValueAxis* y = view->pressureAxis();
    const qreal xMin = x->min(), xSpan = x->max() - x->min();
    const qreal yMin = y->min(), ySpan = y->max() - y->min();

    QWidget* port = view->viewport();
    const QPoint from = view->chart()->plotArea().center().toPoint();
    const QPoint to = from + QPoint(40, 30);
    sendMouse(port, QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, from);
    sendMouse(port, QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, to);
    sendMouse(port, QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, to);

    // The plot follows the pointer: right shows earlier times, down higher pressures.
    QVERIFY2(x->min() < xMin, qPrintable(QString::number(x->min())));
    QVERIFY2(y->min() > yMin, qPrintable(QString::number(y->min())));
    QVERIFY(qFuzzyCompare(x->max() - x->min(), xSpan));
    QVERIFY(qFuzzyCompare(y->max() - y->min(), ySpan));
}

void TestWidgets::rightClickKeepsZoom()
{
    TChartSink sink;
    TPressChartView* view = sink.view();
    view->resize(400, 300);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    fill(sink, kThreePoints);
    sink.resetZoom();
    QWidget* port = view->viewport();
    const QRectF plot = view->chart()->plotArea();

    // A left drag zooms into the band.
    const QPoint from = (plot.topLeft() + QPointF(20, 20)).toPoint();
    const QPoint to = from + QPoint(100, 80);
    const qreal span = view->timeAxis()->max() - view->timeAxis()->min();
    QTest::mousePress(port, Qt::LeftButton, {}, from);
    QTest::mouseMove(port, to);
    QTest::mouseRelease(port, Qt::LeftButton, {}, to);
    QVERIFY(view->chart()->isZoomed());
    const qreal zoomed = view->timeAxis()->max() - view->timeAxis()->min();
    QVERIFY(zoomed < span);

    // The right button is the graph's menu; it leaves the zoom alone.
    QTest::mouseClick(port, Qt::RightButton, {}, plot.center().toPoint());
    QCOMPARE(view->timeAxis()->max() - view->timeAxis()->min(), zoomed);
}

void TestWidgets::grabbedImageShowsTheLine()
{
    TChartSink sink;
    sink.view()->resize(400, 300);
    fill(sink, {{0, 0}, {10, 100}});
    sink.resetZoom();
    sink.setAxisTitles(QStringLiteral("Pressure, kPa"), QStringLiteral("Time, s"));
    const QImage image = sink.grabImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), sink.view()->size() * sink.view()->devicePixelRatio());

    const QColor line = sink.view()->series()->color();
    int hits = 0;
    for (int yy = 0; yy < image.height(); ++yy)
        for (int xx = 0; xx < image.width(); ++xx) {
            const QColor c = image.pixelColor(xx, yy);
            if (qAbs(c.red() - line.red()) + qAbs(c.green() - line.green()) +
                    qAbs(c.blue() - line.blue()) <
                30)
                ++hits;
        }
    // A diagonal across the plot is well over a hundred pixels of the line's colour.
    QVERIFY2(hits > 100, qPrintable(QString::number(hits)));
    QCOMPARE(image.pixelColor(8, 8), QColor(Qt::white)); // the background
}

void TestWidgets::radioClickChoosesLanguageAndCloses_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("lang");
    QTest::newRow("Русский") << QStringLiteral("sRadioButton1") << 0;
    QTest::newRow("English") << QStringLiteral("sRadioButton2") << 1;
}

void TestWidgets::radioClickChoosesLanguageAndCloses()
{
    QFETCH(QString, button);
    QFETCH(int, lang);
    TLanguageForm form;
    form.Lang = 1 - lang; // the click decides, whatever was there
    auto* chosen = form.findChild<QRadioButton*>(button);
    QVERIFY(chosen);
    const QList<QRadioButton*> radios = form.findChildren<QRadioButton*>();
    QCOMPARE(radios.size(), 2);
    for (const QRadioButton* r : radios)
        QVERIFY(!r->isChecked());

    bool shown = false;
    QTimer::singleShot(0, &form, [&] {
        shown = form.isVisible();
        QTest::mouseClick(chosen, Qt::LeftButton);
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    QVERIFY(shown);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.Lang, lang);
}

void TestWidgets::closingWithoutChoiceLeavesRussian()
{
    TLanguageForm form;
    QTimer::singleShot(0, &form, [&] { form.close(); });
    QCOMPARE(form.exec(), int(QDialog::Rejected));
    QCOMPARE(form.Lang, 0);
}

void TestWidgets::missingGuideIsSaidInTheHelpWindow_data()
{
    QTest::addColumn<int>("lang");
    QTest::newRow("ru") << int(ruRU);
    QTest::newRow("en") << int(enUS);
}

void TestWidgets::missingGuideIsSaidInTheHelpWindow()
{
    QFETCH(int, lang);
    QTemporaryDir empty;
    THelpWindow help;
    help.showGuide(empty.path(), TLang(lang));
    QVERIFY(help.isVisible());
    const QString path = QDir::toNativeSeparators(
        QDir(empty.path()).filePath(THelpWindow::guideFileName(TLang(lang))));
    QCOMPARE(help.browser()->toPlainText(), Msg(msgHelpMissing, TLang(lang)) + path);
}

void TestWidgets::reportHeaderEditsTheLetterhead()
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("logo.png"));
    QImage big(1200, 300, QImage::Format_RGB32);
    big.fill(Qt::darkBlue);
    QVERIFY(big.save(good));
    const QString bad = dir.filePath(QStringLiteral("broken.png"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();

    PicturePrompter prompter;
    TReportHeaderForm form(&prompter);
    TGuiConfig cfg;
    cfg.ReportHeaderLines = {QStringLiteral("Old org")};
    form.load(cfg);
    QCOMPARE(form.lineEdit(0)->text(), QStringLiteral("Old org"));
    QVERIFY(form.logoPng().isEmpty());

    // A picture that cannot be read is said and changes nothing; a good one is kept small.
    prompter.picture = bad;
    form.ButtonLogoClick();
    QCOMPARE(prompter.errors.size(), 1);
    QVERIFY(prompter.errors[0].contains(bad));
    QVERIFY(form.logoPng().isEmpty());
    prompter.picture = good;
    form.ButtonLogoClick();
    QCOMPARE(logoFromPng(form.logoPng()).size(), QSize(kLogoMaxPixels, 150));

    form.lineEdit(0)->setText(QStringLiteral("  ООО «Лаборатория»  "));
    form.lineEdit(1)->clear();
    form.lineEdit(2)->setText(QStringLiteral("Lab 2"));
    form.store(cfg);
    QCOMPARE(cfg.ReportHeaderLines,
             QStringList({QStringLiteral("ООО «Лаборатория»"), QString(), QStringLiteral("Lab 2")}));
    const TLetterhead head = letterheadOf(cfg);
    QVERIFY(!head.isEmpty());
    QCOMPARE(head.logo.size(), QSize(kLogoMaxPixels, 150));

    // Removing the logo and the lines leaves the reports without a letterhead.
    form.ButtonNoLogoClick();
    form.lineEdit(0)->clear();
    form.lineEdit(2)->clear();
    form.store(cfg);
    QVERIFY(cfg.ReportHeaderLines.isEmpty());
    QVERIFY(letterheadOf(cfg).isEmpty());
    QCOMPARE(prompter.errors.size(), 1);
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
