// The report engine: the data feed, the choice of layout, pagination, painting and the PDF.
#include "TestSupport.h"
#include "data/StringGrid.h"
#include "data/Views.h"
#include "reports/ReportChoice.h"
#include "reports/ReportDataSet.h"
#include "reports/Letterhead.h"
#include "reports/ReportEngine.h"
#include "reports/ReportExport.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// `n` results, numbered from 1, with a comment naming each; the table filled from them.
struct Fixture
{
    explicit Fixture(int n, TLang lang = enUS)
    {
        for (int i = 0; i < n; ++i) {
            TCalcQEL c;
            c.ArchRes.Base.Num = uint16_t(i + 1);
            c.ArchRes.Base.DateTime = {24, 3, 5, 7, 9};
            c.ArchRes.AirCode = 10132;
            c.ArchRes.M = 0.75f;
            c.UserComment = QStringLiteral("note %1").arg(i + 1);
            results.append(c);
        }
        FillBasicGrid(grid, results, lang, puKPa);
    }
    TReportDataSet dataSet(int first, int count, TLang lang = enUS)
    {
        TReportDataSet d(grid, results, lang);
        d.ReportFirstLine = first;
        d.ReportLinesTotal = count;
        return d;
    }
    QList<TCalcQEL> results;
    TStringGrid grid;
};

constexpr double kDpi = 100;

// A page painted on white at kDpi.
QImage paintedPage(TReportEngine& engine, int index)
{
    const QSizeF mm = engine.layout().paper;
    QImage img(qRound(mm.width() / 25.4 * kDpi), qRound(mm.height() / 25.4 * kDpi),
               QImage::Format_RGB32);
    const int dpm = qRound(kDpi / 25.4 * 1000);
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    img.fill(Qt::white);
    QPainter p(&img);
    engine.paintPage(p, index);
    p.end();
    return img;
}

// Dark pixels inside a rectangle given in mm.
int inkIn(const QImage& img, QRectF mm)
{
    const double k = kDpi / 25.4;
    const QRect r = QRectF(mm.left() * k, mm.top() * k, mm.width() * k, mm.height() * k)
                        .toAlignedRect()
                        .intersected(img.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += qGray(img.pixel(x, y)) < 128;
    return n;
}

} // namespace

class TestReports : public QObject
{
    Q_OBJECT
private slots:
    void dataFeedNameRules_data();
    void dataFeedNameRules();
    void dataFeedEndsAfterTheReportedRows();
    void layoutChoice_data();
    void layoutChoice();
    void pagination_data();
    void pagination();
    void footerAndTitleFollowThePage();
    void longCommentGrowsItsRow();
    void commentTallerThanAPageIsCutToOne();
    void paintedPageHasInkWhereTheTableIs();
    void singleLayoutDrawsTheGraphPicture();
    void pdfHasThePagesAndTheTitle_data();
    void pdfHasThePagesAndTheTitle();
    void pdfIntoAMissingFolderFailsAndWritesNothing();
    void letterheadOnAndOff_data();
    void letterheadOnAndOff();
    void cliReport_data();
    void cliReport();
};

void TestReports::dataFeedNameRules_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    Fixture f(5); // only for the expected cell texts; the test fills its own
    QTest::newRow("title en") << int(enUS) << 1 << 0 << "msgReportTitle"
                              << "Measured values of air permeability";
    QTest::newRow("title ru") << int(ruRU) << 1 << 0 << "msgReportTitle"
                              << u"Измеренные значения воздухопроницаемости"_qs;
    QTest::newRow("date prefix") << int(enUS) << 1 << 0 << "msgReportDate"
                                 << "report created on";
    QTest::newRow("comment header ru")
        << int(ruRU) << 1 << 0 << "TitleComment" << u"Комментарий"_qs;
    QTest::newRow("Title3") << int(enUS) << 1 << 0 << "Title3"
                            << "W";
    QTest::newRow("Title10") << int(enUS) << 1 << 0 << "Title10" << u"t, °C"_qs;
    QTest::newRow("Title11 declared, no column") << int(enUS) << 1 << 0 << "Title11"
                                                 << "";
    QTest::newRow("Data2 from first line 3") << int(enUS) << 3 << 1 << "Data2"
                                             << "4";
    QTest::newRow("DataComment") << int(enUS) << 3 << 1 << "DataComment"
                                 << "note 4";
    QTest::newRow("DataComment past the last") << int(enUS) << 5 << 1 << "DataComment"
                                               << "";
    QTest::newRow("unknown") << int(enUS) << 1 << 0 << "Foo"
                             << "Unknown field";
    QTest::newRow("case matters") << int(enUS) << 1 << 0 << "title3"
                                  << "Unknown field";
    QTest::newRow("no number") << int(enUS) << 1 << 0 << "TitleX"
                               << "Unknown field";
    QTest::newRow("prefix not at the start") << int(enUS) << 1 << 0 << "xData1"
                                             << "Unknown field";
}

void TestReports::dataFeedNameRules()
{
    QFETCH(int, lang);
    QFETCH(int, first);
    QFETCH(int, recNo);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    Fixture f(5, TLang(lang));
    TReportDataSet d = f.dataSet(first, 2, TLang(lang));
    d.frxUlmarDataSetFirst();
    d.RecNo = recNo;
    QVariant v;
    d.frxUlmarDataSetGetValue(name, v);
    QCOMPARE(v.toString(), expected);
}

void TestReports::dataFeedEndsAfterTheReportedRows()
{
    Fixture f(10);
    TReportDataSet d = f.dataSet(3, 5);
    d.frxUlmarDataSetFirst();
    QStringList numbers;
    bool eof = false;
    for (d.frxUlmarDataSetCheckEOF(eof); !eof; d.frxUlmarDataSetCheckEOF(eof)) {
        numbers << d.value(QStringLiteral("Data2"));
        d.next();
    }
    QCOMPARE(numbers, QStringList({"3", "4", "5", "6", "7"}));
}

void TestReports::layoutChoice_data()
{
    QTest::addColumn<int>("results");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<bool>("selectedReport"); // else Print
    QTest::addColumn<bool>("answer");         // to the selection question
    QTest::addColumn<bool>("comments");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("asked");

    const int table = int(TReportKind::Table);
    QTest::newRow("one row, Print: whole table, no question")
        << 10 << 4 << 4 << false << true << false << table << 1 << 10 << false;
    QTest::newRow("one result, Print: single layout")
        << 1 << 1 << 1 << false << true << false << int(TReportKind::Single) << 1 << 1 << false;
    QTest::newRow("rows 3-7, Yes")
        << 10 << 3 << 7 << false << true << false << table << 3 << 5 << true;
    QTest::newRow("rows 3-7, No: all rows")
        << 10 << 3 << 7 << false << false << false << table << 1 << 10 << true;
    QTest::newRow("Selected report, one row")
        << 10 << 4 << 4 << true << true << false << int(TReportKind::Single) << 4 << 1 << false;
    QTest::newRow("Selected report, rows 3-7, comments")
        << 10 << 3 << 7 << true << true << true << int(TReportKind::TableWithComments) << 3 << 5
        << false;
    QTest::newRow("print comments, Print")
        << 10 << 1 << 1 << false << true << true << int(TReportKind::TableWithComments) << 1 << 10
        << false;
    QTest::newRow("one result, comments: still single")
        << 1 << 1 << 1 << false << true << true << int(TReportKind::Single) << 1 << 1 << false;
    QTest::newRow("selection past the results is cut")
        << 10 << 8 << 14 << true << true << false << table << 8 << 3 << false;
    // An empty table still shows one empty row below its header.
    QTest::newRow("no results: nothing to print")
        << 0 << 1 << 1 << false << true << false << int(TReportKind::None) << 0 << 0 << false;
}

void TestReports::layoutChoice()
{
    QFETCH(int, results);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(bool, selectedReport);
    QFETCH(bool, answer);
    QFETCH(bool, comments);
    QFETCH(int, kind);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(bool, asked);

    const int tableRows = std::max(results, 1) + 1;
    bool wasAsked = false;
    const TReportRange range = selectedReport ? selectedRows({top, bottom})
                                              : printRows({top, bottom}, tableRows,
                                                          [&] { return wasAsked = true, answer; });
    QCOMPARE(wasAsked, asked);
    const TReportChoice c = chooseReport(results, range.First, range.Count, comments, enUS);
    QCOMPARE(int(c.kind), kind);
    QCOMPARE(c.First, first);
    QCOMPARE(c.Count, count);
    QCOMPARE(c.status, kind == int(TReportKind::None) ? u"Nothing to print"_qs : QString());
}

void TestReports::pagination_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("perPage");

    // Portrait: 277 mm less title 19, header 15 (its cells are taller than the band) and
    // footer 6 leave 47 rows of 5 mm on page 1, 256 mm or 51 rows on the others.
    const int table = int(TReportKind::Table);
    QTest::newRow("table, one page full") << table << 47 << QList<int>{47};
    QTest::newRow("table, one over") << table << 48 << QList<int>{47, 1};
    QTest::newRow("table, three pages") << table << 47 + 51 + 1 << QList<int>{47, 51, 1};
    // Landscape: 195 mm less 19, 15 and 6 leave 31 rows; 174 mm or 34 rows later.
    const int comment = int(TReportKind::TableWithComments);
    QTest::newRow("comments, two pages") << comment << 31 + 34 << QList<int>{31, 34};
    QTest::newRow("comments, three pages") << comment << 31 + 34 + 2 << QList<int>{31, 34, 2};
    QTest::newRow("single") << int(TReportKind::Single) << 1 << QList<int>{1};
}

void TestReports::pagination()
{
    QFETCH(int, kind);
    QFETCH(int, rows);
    QFETCH(QList<int>, perPage);
    Fixture f(rows);
    TReportDataSet d = f.dataSet(1, rows);
    TReportEngine e(layoutFor(TReportKind(kind)), d);
    e.paginate();
    QList<int> got;
    int next = 0;
    for (int i = 0; i < e.pageCount(); ++i) {
        QCOMPARE(e.page(i).firstRec, next);
        next += e.page(i).recCount;
        got << e.page(i).recCount;
        QCOMPARE(e.page(i).detail, kind == int(TReportKind::Single) && i == e.pageCount() - 1);
    }
    QCOMPARE(got, perPage);
}

void TestReports::footerAndTitleFollowThePage()
{
    Fixture f(99);
    TReportDataSet d = f.dataSet(1, 99);
    TReportEngine e(frxReportOS(), d, QDateTime(QDate(2026, 3, 5), QTime(7, 9, 30)));
    e.paginate();
    QCOMPARE(e.pageCount(), 3);
    const QString footer = e.layout().band(TBandKind::PageFooter)->objects.first().text;
    QCOMPARE(e.expand(footer, 0), u"1 / 3"_qs);
    QCOMPARE(e.expand(footer, 2), u"3 / 3"_qs);
    const QString date = e.layout().band(TBandKind::ReportTitle)->objects.at(1).text;
    QCOMPARE(e.expand(date, 0), u"( report created on 05.03.2026, 07:09:30)"_qs);

    // The title is printed on page 1 only: the header's top frame line lies under the
    // title band there (10 + 19 mm) and at the top margin on the next page.
    const QImage p1 = paintedPage(e, 0);
    const QImage p2 = paintedPage(e, 1);
    const QRectF titleText(60, 10, 90, 5);
    QVERIFY(inkIn(p1, titleText) > 0);
    QVERIFY(inkIn(p2, QRectF(12, 9.8, 180, 0.5)) > 150); // header's top line
    QCOMPARE(inkIn(p1, QRectF(12, 9.8, 180, 0.5)), 0);
    QVERIFY(inkIn(p1, QRectF(12, 28.8, 180, 0.5)) > 150);
}

void TestReports::longCommentGrowsItsRow()
{
    Fixture f(40);
    f.results[2].UserComment = QStringLiteral("word ").repeated(120); // many lines in 82 mm
    TReportDataSet d = f.dataSet(1, 40);
    TReportEngine e(frxReportOS_comment(), d);
    const double tall = e.rowHeight(2);
    QVERIFY2(tall > 20, qPrintable(QString::number(tall)));
    QCOMPARE(e.rowHeight(1), 5.0);
    e.paginate();
    // The room of page 1 (155 mm) holds the tall row and as many 5 mm rows as fit beside it.
    const int expected = 1 + int((155 - tall) / 5);
    QCOMPARE(e.page(0).recCount, expected);

    // The whole row grows: the frame of column 0 reaches down to the comment's bottom.
    const QImage img = paintedPage(e, 0);
    const double rowTop = 5 + 19 + 15 + 2 * 5;
    QVERIFY(inkIn(img, QRectF(9.8, rowTop + 1, 0.5, tall - 2)) > int((tall - 2) / 25.4 * kDpi) - 2);
}

void TestReports::commentTallerThanAPageIsCutToOne()
{
    Fixture f(3);
    f.results[1].UserComment = QStringLiteral("word ").repeated(20000);
    TReportDataSet d = f.dataSet(1, 3);
    TReportEngine e(frxReportOS_comment(), d);
    e.paginate();
    QCOMPARE(e.rowHeight(1), 195.0 - 15 - 6);
    QCOMPARE(e.pageCount(), 3);
    QCOMPARE(e.page(1).firstRec, 1);
    QCOMPARE(e.page(1).recCount, 1);
}

void TestReports::paintedPageHasInkWhereTheTableIs()
{
    Fixture f(10);
    TReportDataSet d = f.dataSet(1, 10);
    TReportEngine e(frxReportOS(), d);
    e.paginate();
    const QImage img = paintedPage(e, 0);
    const double tableTop = 10 + 19;
    const double tableBottom = tableTop + 15 + 10 * 5;
    QVERIFY(inkIn(img, QRectF(10, tableTop, 195, tableBottom - tableTop)) > 2000);
    // Nothing in the margins beside the table, nor between its end and the footer.
    QCOMPARE(inkIn(img, QRectF(0, tableTop, 9.5, 200)), 0);
    QCOMPARE(inkIn(img, QRectF(205.5, 0, 4.5, 297)), 0);
    QCOMPARE(inkIn(img, QRectF(10, tableBottom + 1, 195, 280 - tableBottom)), 0);
    QVERIFY(inkIn(img, QRectF(10, 281, 195, 6)) > 0); // "1 / 1"
}

void TestReports::singleLayoutDrawsTheGraphPicture()
{
    Fixture f(3);
    f.results[1].UserComment = QStringLiteral("graph comment");
    TReportDataSet d = f.dataSet(2, 1);
    TReportLayout layout = frxReportSingle();
    QImage graph(400, 300, QImage::Format_RGB32);
    graph.fill(Qt::blue);
    frxReportSinglePreview(layout, graph);
    TReportEngine e(layout, d);
    e.paginate();
    QCOMPARE(e.pageCount(), 1);
    QCOMPARE(e.expand(QStringLiteral("[BasicGrid.\"DataComment\"]"), 0), u"graph comment"_qs);
    const QImage img = paintedPage(e, 0);
    // The picture box starts 2 mm under the row (10 + 19 + 15 + 5); 4:3 fits 102 x 85 as
    // 102 x 76.5, centred on the 195 mm band.
    const double top = 10 + 19 + 15 + 5 + 2;
    const QPoint centre(qRound((10 + 97.5) / 25.4 * kDpi), qRound((top + 38) / 25.4 * kDpi));
    QCOMPARE(img.pixelColor(centre), QColor(Qt::blue));
    QCOMPARE(img.pixelColor(QPoint(qRound(40 / 25.4 * kDpi), centre.y())), QColor(Qt::white));
    QVERIFY(inkIn(img, QRectF(10, top + 96, 82, 5)) > 0); // the comment under it
}

void TestReports::pdfHasThePagesAndTheTitle_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("lang");
    QTest::addColumn<int>("pages");
    QTest::addColumn<bool>("landscape");
    QTest::newRow("table en") << int(TReportKind::Table) << 99 << int(enUS) << 3 << false;
    QTest::newRow("comments ru") << int(TReportKind::TableWithComments) << 40 << int(ruRU) << 2
                                 << true;
    QTest::newRow("single") << int(TReportKind::Single) << 1 << int(enUS) << 1 << false;
}

void TestReports::pdfHasThePagesAndTheTitle()
{
    QFETCH(int, kind);
    QFETCH(int, rows);
    QFETCH(int, lang);
    QFETCH(int, pages);
    QFETCH(bool, landscape);
    Fixture f(rows, TLang(lang));
    TReportDataSet d = f.dataSet(1, rows, TLang(lang));
    TReportEngine e(layoutFor(TReportKind(kind)), d);
    e.paginate();
    QCOMPARE(e.pageCount(), pages);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    QString error;
    QVERIFY2(exportPdf(e, path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF-"));
    QCOMPARE(int(pdf.count("/Type /Page\n")), pages);
    QVERIFY(pdf.contains("/Count " + QByteArray::number(pages)));
    // A4 in points, in the layout's orientation.
    const QRegularExpressionMatch box =
        QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"))
            .match(QString::fromLatin1(pdf));
    QVERIFY(box.hasMatch());
    const QSizeF points(box.captured(1).toDouble(), box.captured(2).toDouble());
    QCOMPARE(points, landscape ? QSizeF(842, 595) : QSizeF(595, 842));
    // The document title, as the PDF keeps it: UTF-16 big-endian after a byte-order mark.
    const QString title = e.title();
    QByteArray utf16("\xFE\xFF");
    for (const QChar c : title)
        utf16 += char(c.unicode() >> 8), utf16 += char(c.unicode() & 0xFF);
    QVERIFY(pdf.contains(utf16));
}

void TestReports::pdfIntoAMissingFolderFailsAndWritesNothing()
{
    Fixture f(3);
    TReportDataSet d = f.dataSet(1, 3);
    TReportEngine e(frxReportOS(), d);
    e.paginate();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/report.pdf"));
    QString error;
    QVERIFY(!exportPdf(e, path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void TestReports::letterheadOnAndOff_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("logo");
    QTest::addColumn<double>("shift"); // mm the title moves down
    QTest::addColumn<int>("added");    // objects the title band gains

    QTest::newRow("none") << QStringList() << false << 0.0 << 0;
    QTest::newRow("blank lines are none")
        << QStringList{u"  "_qs, QString()} << false << 0.0 << 0;
    // Three 5 mm lines and a 4 mm gap; a 15 mm logo beside two lines sets the height.
    QTest::newRow("three lines") << QStringList{u"ООО Лаборатория"_qs, u"[Page] Address"_qs,
                                                u"Lab 3"_qs, u"dropped"_qs}
                                 << false << 19.0 << 3;
    QTest::newRow("logo and two lines")
        << QStringList{u"Org"_qs, u"[Page] Address"_qs} << true << 19.0 << 3;
    QTest::newRow("logo only") << QStringList() << true << 19.0 << 1;
}

void TestReports::letterheadOnAndOff()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, logo);
    QFETCH(double, shift);
    QFETCH(int, added);
    TLetterhead head{lines, {}};
    if (logo) {
        head.logo = QImage(200, 100, QImage::Format_RGB32);
        head.logo.fill(Qt::black);
    }
    QCOMPARE(letterheadHeight(head), shift);
    // Round trip of the logo as the settings file keeps it.
    QCOMPARE(logoFromPng(logoToPng(head.logo)).size(), head.logo.size());

    for (TReportKind kind : {TReportKind::Table, TReportKind::TableWithComments,
                             TReportKind::Single}) {
        const TReportLayout plain = layoutFor(kind);
        TReportLayout l = plain;
        applyLetterhead(l, head);
        const TReportBand& before = *plain.band(TBandKind::ReportTitle);
        const TReportBand& after = *l.band(TBandKind::ReportTitle);
        QCOMPARE(after.height, before.height + shift);
        QCOMPARE(l.findObject(u"Title"_qs)->top, before.objects[0].top + shift);
        QCOMPARE(after.objects.size(), before.objects.size() + added);
        // Nothing but the title band changes.
        for (int b = 0; b < l.bands.size(); ++b)
            if (l.bands[b].kind != TBandKind::ReportTitle)
                QCOMPARE(l.bands[b].objects.size(), plain.bands[b].objects.size());
    }

    // Printed: the lines as typed (no field filled in), ink at the top, and the first page
    // holds fewer rows by the height taken.
    Fixture f(200);
    TReportDataSet d = f.dataSet(1, 200);
    TReportLayout l = frxReportOS();
    applyLetterhead(l, head);
    TReportEngine e(l, d);
    e.paginate();
    QCOMPARE(e.page(0).recCount, 47 - int(std::ceil(shift / 5)));
    QCOMPARE(e.page(1).recCount, 51);
    const QImage img = paintedPage(e, 0);
    const int topInk = inkIn(img, QRectF(10, 10, 195, std::max(shift - 4, 1.0)));
    QCOMPARE(topInk > 0, shift > 0);
    // Brackets in a typed line are not fields.
    if (const TReportObject* line2 = l.findObject(u"LetterheadLine2"_qs)) {
        QVERIFY(line2->literal);
        QCOMPARE(line2->text, u"[Page] Address"_qs);
    }
}

void TestReports::cliReport_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("outName");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("pages"); // 0: no file
    QTest::addColumn<QString>("error");

    // 200 rows: 47 + 3 * 51 portrait; 31 + 5 * 34 covers them in landscape.
    QTest::newRow("all rows en") << QStringList{} << "r.pdf" << 0 << 4 << "";
    QTest::newRow("all rows ru, comments, atm")
        << QStringList{"--lang", "ru", "--comments", "--unit", "atm"} << "r.PDF" << 0 << 6 << "";
    QTest::newRow("rows 3-7") << QStringList{"--rows", "3-7"} << "r.pdf" << 0 << 1 << "";
    QTest::newRow("one row: single with graph")
        << QStringList{"--rows", "5-5"} << "r.pdf" << 0 << 1 << "";
    QTest::newRow("html not yet") << QStringList{} << "r.html" << 2 << 0
                                  << "qel-cli: unsupported report format: .html";
    QTest::newRow("no extension") << QStringList{} << "report" << 2 << 0
                                  << "qel-cli: unsupported report format: .";
    QTest::newRow("rows reversed") << QStringList{"--rows", "7-3"} << "r.pdf" << 2 << 0
                                   << "qel-cli: --rows must be A-B with 1 <= A <= B";
    QTest::newRow("rows past the results") << QStringList{"--rows", "150-201"} << "r.pdf" << 1 << 0
                                           << "qel-cli: --rows reach past the last result (200)";
}

void TestReports::cliReport()
{
    QFETCH(QStringList, options);
    QFETCH(QString, outName);
    QFETCH(int, exitCode);
    QFETCH(int, pages);
    QFETCH(QString, error);

    Fixture f(200);
    for (TCalcQEL& r : f.results) {
        r.Samples = {100, 90, 80, 70};
        r.ArchRes.SampleCount = 4;
        r.ArchRes.SampleFreq = 1;
    }
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("in.qel1x"));
    QFile in(input);
    QVERIFY(in.open(QIODevice::WriteOnly));
    in.write(testsupport::archiveFileBytes(f.results));
    in.close();
    const QString out = dir.filePath(outName);

    QProcess p;
    // Without a runtime folder the GUI side of Qt warns on stderr; a CI shell has none.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QEL_CLI), QStringList{"report", input, "--out", out} + options);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QString stderrText = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), exitCode);
    QCOMPARE(stderrText.trimmed(), error);
    QCOMPARE(QFile::exists(out), pages > 0);
    if (pages > 0) {
        QFile pdf(out);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(int(pdf.readAll().count("/Type /Page\n")), pages);
    }
}

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
