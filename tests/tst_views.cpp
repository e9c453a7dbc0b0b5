// The results table, the pressure graph and the texts copied from them, filled from
// archives loaded out of small fixture files.
#include "TestSupport.h"
#include "data/Formats.h"
#include "data/StringGrid.h"
#include "data/Views.h"
#include "device/QelBase.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const QString kDash = QStringLiteral("\u2014");

// On an empty device: the results held are exactly those given.
bool load(TQelBase& dev, const QList<TCalcQEL>& results)
{
    return testsupport::loadResults(dev, results) && dev.archive().size() == results.size();
}

void setName(char* dst, qsizetype size, const QByteArray& bytes)
{
    std::memset(dst, 0, size_t(size));
    std::memcpy(dst, bytes.constData(), size_t(qMin(size, bytes.size())));
}

// A: a typical result. B: extreme fields, names filling their whole fields without a zero.
// C: A on another day and minute and at another air pressure, so that rows that share some
// values must still show their own.
TCalcQEL resultA()
{
    TCalcQEL c;
    TArchQEL& r = c.ArchRes;
    r.Base.Num = 12;
    r.Base.AbsIndex = 3;
    r.Base.DateTime = {24, 3, 5, 7, 9};
    setName(r.QelObj.Name, sizeof r.QelObj.Name, qelfmt::encodeName(u"Мост №1"_qs));
    setName(r.QelMat.Name, sizeof r.QelMat.Name, qelfmt::encodeName(u"Бетон B25"_qs));
    r.MeasMode = 1;
    r.SampleFreq = 10;
    r.AirCode = 10132;
    r.Temperature = 21.45f;
    r.M = 0.75f;
    r.H = 1.234f;
    r.W = 8;
    return c;
}

TCalcQEL resultB()
{
    TCalcQEL c;
    TArchQEL& r = c.ArchRes;
    r.Base.Num = 65535;
    r.Base.DateTime = {-1, 12, 31, 23, 59};
    std::memcpy(r.QelObj.Name, "ABCDEFGHIJKLMNO", 15);
    std::memcpy(r.QelMat.Name, "0123456789abcdef", 16);
    r.MeasMode = 2;
    r.AirCode = 65535;
    r.Temperature = -5.0f;
    r.M = 0.5f;
    r.H = 0.0f;
    r.W = 4294967295u;
    return c;
}

TCalcQEL resultC()
{
    TCalcQEL c = resultA();
    c.ArchRes.Base.DateTime.Year = 25;
    c.ArchRes.Base.DateTime.Minute = 10;
    c.ArchRes.AirCode = 10200;
    return c;
}

QStringList gridRow(const TStringGrid& grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid.colCount(); ++c)
        cells << grid.cell(c, row);
    return cells;
}

QList<QStringList> gridCells(const TStringGrid& grid)
{
    QList<QStringList> rows;
    for (int r = 0; r < grid.rowCountAll(); ++r)
        rows << gridRow(grid, r);
    return rows;
}

QStringList captions(TLang lang, const QString& unit)
{
    // Column 9 begins with a Latin P in both languages.
    if (lang == ruRU)
        return {u"Дата"_qs,     u"Время"_qs,
                u"№"_qs,        u"W"_qs,
                u"Объект"_qs,   u"Материал"_qs,
                u"m, с/см³"_qs, u"a, см³/с"_qs,
                u"h, см"_qs,    QString(u'P') + u"атм, "_qs + unit,
                u"t, °C"_qs};
    return {u"Date"_qs,   u"Time"_qs,          u"№"_qs,        u"W"_qs,
            u"Object"_qs, u"Material"_qs,      u"m, s/cm³"_qs, u"a, cm³/s"_qs,
            u"h, cm"_qs,  u"Patm, "_qs + unit, u"t, °C"_qs};
}

TCalcQEL seriesResult(int sampleCount, int freq, int held)
{
    TCalcQEL c = resultA();
    c.ArchRes.SampleCount = uint16_t(sampleCount);
    c.ArchRes.SampleFreq = uint16_t(freq);
    for (int i = 0; i < held; ++i)
        c.Samples << uint16_t(5000 + 13 * i);
    return c;
}

} // namespace

class TestViews : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void captionsFollowLanguageAndUnit_data();
    void captionsFollowLanguageAndUnit();
    void rowsShowEveryColumnOfTheirResult_data();
    void rowsShowEveryColumnOfTheirResult();
    void emptyArchiveLeavesOneBlankRow();
    void unfitValuesShowDashAndBadMIsStoredAsZero_data();
    void unfitValuesShowDashAndBadMIsStoredAsZero();
    void unitChangeChangesOnlyPressureColumn();
    void numbersAreWrittenInTheirFormats();

    void graphPlotsSecondsOfTheHeldSeries_data();
    void graphPlotsSecondsOfTheHeldSeries();
    void graphTitlesFollowLanguageAndUnit_data();
    void graphTitlesFollowLanguageAndUnit();
    void graphOfNoResultTouchesNothing_data();
    void graphOfNoResultTouchesNothing();

    void tableTextHasHeaderRowsAndComments_data();
    void tableTextHasHeaderRowsAndComments();
    void graphTextListsOrdinalsAndValues_data();
    void graphTextListsOrdinalsAndValues();
};

void TestViews::init()
{
    QLocale::setDefault(QLocale::c());
}

void TestViews::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

// ---------------------------------------------------------------- results table

void TestViews::captionsFollowLanguageAndUnit_data()
{
    QTest::addColumn<TLang>("lang");
    QTest::addColumn<EPressureUnits>("unit");
    QTest::addColumn<QString>("unitText");

    QTest::newRow("ru kPa") << ruRU << puKPa << u"кПа"_qs;
    QTest::newRow("ru atm") << ruRU << puATM << u"атм"_qs;
    QTest::newRow("ru kgf") << ruRU << puKgCm2 << u"кгс/см²"_qs;
    QTest::newRow("ru mmHg") << ruRU << puMmRtSt << u"мм рт.ст."_qs;
    QTest::newRow("en kPa") << enUS << puKPa << u"kPa"_qs;
    QTest::newRow("en atm") << enUS << puATM << u"atm"_qs;
    QTest::newRow("en kgf") << enUS << puKgCm2 << u"kgf/cm²"_qs;
    QTest::newRow("en mmHg") << enUS << puMmRtSt << u"mmHg"_qs;
}

void TestViews::captionsFollowLanguageAndUnit()
{
    QFETCH(TLang, lang);
    QFETCH(EPressureUnits, unit);
    QFETCH(QString, unitText);

    for (const bool withResults : {false, true}) {
        TQelBase dev;
        if (withResults)
            QVERIFY(load(dev, {resultA()}));
        dev.SetLang(lang);
        dev.SetDimension(unit);
        TStringGrid grid;
        dev.UpdateBasicGrid(grid);
        QCOMPARE(grid.colCount(), 11);
        QCOMPARE(gridRow(grid, 0), captions(lang, unitText));
    }
}

void TestViews::rowsShowEveryColumnOfTheirResult_data()
{
    QTest::addColumn<TLang>("lang");
    QTest::addColumn<EPressureUnits>("unit");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QList<QStringList>>("rows");

    QTest::newRow("ru, kPa, decimal point")
        << ruRU << puKPa << QLocale::c()
        << QList<QStringList>{
               captions(ruRU, u"кПа"_qs),
               {u"05.03.2024"_qs, u"07:09"_qs, u"12"_qs, u"W8"_qs, u"Мост №1"_qs, u"Бетон B25"_qs,
                u"0.8"_qs, u"1.300"_qs, u"1.23"_qs, u"101.30"_qs, u"21.5"_qs},
               {u"31.12.1999"_qs, u"23:59"_qs, u"65535"_qs, u"W4294967295"_qs,
                u"ABCDEFGHIJKLMNO"_qs, u"0123456789abcde"_qs, u"0.5"_qs, u"2.000"_qs, u"0.00"_qs,
                u"655.30"_qs, u"-5.0"_qs},
               {u"05.03.2025"_qs, u"07:10"_qs, u"12"_qs, u"W8"_qs, u"Мост №1"_qs, u"Бетон B25"_qs,
                u"0.8"_qs, u"1.300"_qs, u"1.23"_qs, u"102.00"_qs, u"21.5"_qs}};
    QTest::newRow("en, mmHg, decimal comma")
        << enUS << puMmRtSt << QLocale(QLocale::Russian, QLocale::Russia)
        << QList<QStringList>{
               captions(enUS, u"mmHg"_qs),
               {u"05.03.2024"_qs, u"07:09"_qs, u"12"_qs, u"W8"_qs, u"Мост №1"_qs, u"Бетон B25"_qs,
                u"0,8"_qs, u"1,300"_qs, u"1,23"_qs, u"760,00"_qs, u"21,5"_qs},
               {u"31.12.1999"_qs, u"23:59"_qs, u"65535"_qs, u"W4294967295"_qs,
                u"ABCDEFGHIJKLMNO"_qs, u"0123456789abcde"_qs, u"0,5"_qs, u"2,000"_qs, u"0,00"_qs,
                u"4916,00"_qs, u"-5,0"_qs},
               {u"05.03.2025"_qs, u"07:10"_qs, u"12"_qs, u"W8"_qs, u"Мост №1"_qs, u"Бетон B25"_qs,
                u"0,8"_qs, u"1,300"_qs, u"1,23"_qs, u"765,10"_qs, u"21,5"_qs}};
}

void TestViews::rowsShowEveryColumnOfTheirResult()
{
    QFETCH(TLang, lang);
    QFETCH(EPressureUnits, unit);
    QFETCH(QLocale, locale);
    QFETCH(QList<QStringList>, rows);

    QLocale::setDefault(locale);
    TQelBase dev;
    QVERIFY(load(dev, {resultA(), resultB(), resultC()}));
    dev.SetLang(lang);
    dev.SetDimension(unit);

    TStringGrid grid;
    grid.setSize(3, 7); // a smaller table of before
    grid.setCell(0, 5, u"old"_qs);
    QSignalSpy resets(&grid, &QAbstractItemModel::modelReset);
    QSignalSpy cellChanges(&grid, &QAbstractItemModel::dataChanged);
    QSignalSpy headerChanges(&grid, &QAbstractItemModel::headerDataChanged);

    dev.UpdateBasicGrid(grid);
    QCOMPARE(gridCells(grid), rows);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(cellChanges.count(), 0);
    QCOMPARE(headerChanges.count(), 0);
}

void TestViews::emptyArchiveLeavesOneBlankRow()
{
    TStringGrid grid;
    TQelBase full;
    QVERIFY(load(full, {resultA(), resultB()}));
    full.UpdateBasicGrid(grid);
    QCOMPARE(grid.rowCountAll(), 3);

    TQelBase empty;
    empty.SetLang(enUS);
    empty.UpdateBasicGrid(grid);
    QCOMPARE(grid.rowCountAll(), 2);
    QCOMPARE(gridCells(grid), (QList<QStringList>{captions(enUS, u"kPa"_qs), QStringList(11)}));
}

void TestViews::unfitValuesShowDashAndBadMIsStoredAsZero_data()
{
    QTest::addColumn<float>("m");
    QTest::addColumn<float>("h");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("shown"); // columns 6, 7 and 8
    QTest::addColumn<float>("storedM");

    const QStringList badM{u"0.0"_qs, kDash, u"1.00"_qs};
    QTest::newRow("m NaN") << kNaN << 1.0f << 1 << badM << 0.0f;
    QTest::newRow("m +inf") << kInf << 1.0f << 1 << badM << 0.0f;
    QTest::newRow("m -inf") << -kInf << 1.0f << 1 << badM << 0.0f;
    QTest::newRow("m zero") << 0.0f << 1.0f << 1 << badM << 0.0f;

    const QStringList noH{u"0.5"_qs, u"2.000"_qs, kDash};
    QTest::newRow("mode 0") << 0.5f << 1.0f << 0 << noH << 0.5f;
    QTest::newRow("h +inf") << 0.5f << kInf << 1 << noH << 0.5f;
    QTest::newRow("h -inf") << 0.5f << -kInf << 3 << noH << 0.5f;
    QTest::newRow("h NaN") << 0.5f << kNaN << 1 << noH << 0.5f;
}

void TestViews::unfitValuesShowDashAndBadMIsStoredAsZero()
{
    QFETCH(float, m);
    QFETCH(float, h);
    QFETCH(int, mode);
    QFETCH(QStringList, shown);
    QFETCH(float, storedM);

    TCalcQEL bad = resultA();
    bad.ArchRes.M = m;
    bad.ArchRes.H = h;
    bad.ArchRes.MeasMode = uint8_t(mode);
    TQelBase dev;
    QVERIFY(load(dev, {resultB(), bad}));
    const QList<TCalcQEL> shared = dev.archive(); // a copy made before the fill

    TStringGrid grid;
    dev.UpdateBasicGrid(grid);
    QCOMPARE(gridRow(grid, 2).mid(6, 3), shown);
    QCOMPARE(std::bit_cast<quint32>(dev.archive()[1].ArchRes.M), std::bit_cast<quint32>(storedM));
    QCOMPARE(dev.archive()[0].ArchRes.M, resultB().ArchRes.M);
    QCOMPARE(std::bit_cast<quint32>(shared[1].ArchRes.M), std::bit_cast<quint32>(m));

    // The stored 0 is what the next fill shows as well.
    dev.UpdateBasicGrid(grid);
    QCOMPARE(gridRow(grid, 2).mid(6, 3), shown);
}

void TestViews::unitChangeChangesOnlyPressureColumn()
{
    TQelBase dev;
    QVERIFY(load(dev, {resultA(), resultB()}));
    QByteArray before;
    for (const TCalcQEL& r : dev.archive())
        before.append(reinterpret_cast<const char*>(&r.ArchRes), sizeof r.ArchRes);

    TStringGrid grid;
    dev.UpdateBasicGrid(grid);
    QList<QStringList> expected = gridCells(grid);
    expected[0][9] = u"Pатм, атм"_qs;
    expected[1][9] = u"1.00"_qs;
    expected[2][9] = u"6.47"_qs;

    dev.SetDimension(puATM);
    dev.UpdateBasicGrid(grid);
    QCOMPARE(gridCells(grid), expected);

    QByteArray after;
    for (const TCalcQEL& r : dev.archive())
        after.append(reinterpret_cast<const char*>(&r.ArchRes), sizeof r.ArchRes);
    QCOMPARE(after, before);
}

// The table writes m, h, Patm and t with the shared formats over the whole range of stored
// values: ties of every shown decimal and their float neighbours, carries into a new digit,
// values that turn scientific, signed zeros, subnormals, non-finite values and a spread of
// arbitrary bit patterns; Patm for every code in every unit.
void TestViews::numbersAreWrittenInTheirFormats()
{
    QList<float> values{0.0f,    -0.0f,   std::numeric_limits<float>::denorm_min(),
                        1e-30f,  -1e-30f, kNaN,
                        kInf,    -kInf,   std::numeric_limits<float>::max(),
                        999.95f, 999.96f, 9999.4f,
                        9999.5f, 9999.6f, 99999.0f,
                        99.995f, 99.996f, -99.996f,
                        9.9995f, 0.004f,  0.005f,
                        0.006f,  -0.05f,  0.05f,
                        1e6f,    -1e6f,   123456.0f};
    for (int k = 0; k <= 20000; ++k) {
        for (const float tie : {float(k / 20.0), float(k / 200.0), float(k / 2000.0)}) {
            values << tie << std::nextafter(tie, 0.0f) << std::nextafter(tie, 1e9f) << -tie;
        }
    }
    uint32_t seed = 12345;
    while (values.size() < kMaxArchive) {
        seed = seed * 1664525u + 1013904223u;
        // Exponents from about 1e-6 to 1e7, both signs.
        const uint32_t bits = (seed & 0x807FFFFFu) | ((0x6Bu + (seed >> 8) % 0x30u) << 23);
        values << std::bit_cast<float>(bits);
    }
    values.resize(kMaxArchive);

    QList<TCalcQEL> results(kMaxArchive, resultA());
    for (int i = 0; i < kMaxArchive; ++i) {
        TArchQEL& r = results[i].ArchRes;
        r.M = values[i];
        r.H = values[(i + 1) % kMaxArchive];
        r.Temperature = values[(i + 2) % kMaxArchive];
        r.AirCode = uint16_t(i + 1);
    }
    TQelBase dev;
    QVERIFY(load(dev, results));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));

    TStringGrid grid;
    QStringList wrong;
    const auto check = [&](int row, int col, const QString& expected) {
        if (grid.cell(col, row) != expected && wrong.size() < 20)
            wrong << QString::asprintf("row %d col %d: ", row, col) + grid.cell(col, row) +
                         u" != "_qs + expected;
    };
    for (const EPressureUnits unit : {puKPa, puATM, puKgCm2, puMmRtSt}) {
        dev.SetDimension(unit);
        dev.UpdateBasicGrid(grid);
        for (int i = 0; i < kMaxArchive; ++i) {
            const TArchQEL& r = dev.archive()[i].ArchRes;
            check(i + 1, 9, qelfmt::fixed(ConvertPressure(unit, r.AirCode), 4, 2));
            if (unit != puKPa)
                continue;
            check(i + 1, 6, qelfmt::fixed(r.M, 4, 1));
            check(i + 1, 7, qelfmt::reciprocalText(r.M));
            check(i + 1, 8, std::isfinite(r.H) ? qelfmt::fixed(r.H, 4, 2) : kDash);
            check(i + 1, 10, qelfmt::fixed(r.Temperature, 3, 1));
        }
    }
    QCOMPARE(wrong, QStringList());
}

// ---------------------------------------------------------------- pressure graph

void TestViews::graphPlotsSecondsOfTheHeldSeries_data()
{
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("freq");
    QTest::addColumn<int>("held");
    QTest::addColumn<EPressureUnits>("unit");
    // The sample shown by each point; point j lies at x = j.
    QTest::addColumn<QList<int>>("sampleOfPoint");

    QList<int> seconds{0};
    for (int i = 0; i < 25; ++i)
        seconds << i * 10;
    seconds << 249;
    QTest::newRow("250 at 10/s") << 250 << 10 << 250 << puKPa << seconds;
    QTest::newRow("250 at 10/s in mmHg") << 250 << 10 << 250 << puMmRtSt << seconds;
    QTest::newRow("rate above count") << 5 << 10 << 5 << puKPa << QList<int>{0, 4};
    QTest::newRow("one sample, rate 2") << 1 << 2 << 1 << puKPa << QList<int>{0};
    QTest::newRow("one sample, rate 1") << 1 << 1 << 1 << puKPa << QList<int>{0, 0};
    QTest::newRow("no samples") << 0 << 10 << 0 << puKPa << QList<int>{};
    // A rate of 0 steps nowhere: the first sample and the last one held.
    QTest::newRow("rate 0") << 5 << 0 << 5 << puKPa << QList<int>{0, 4};
    QTest::newRow("rate 0, one sample") << 1 << 0 << 1 << puKPa << QList<int>{0};
    // An incomplete series is drawn by the same rule over the samples held.
    QTest::newRow("series not yet read") << 250 << 10 << 0 << puKPa << QList<int>{};
    QTest::newRow("series cut short") << 250 << 10 << 25 << puKPa << QList<int>{0, 0, 10, 24};
    QTest::newRow("cut short, rate 0") << 250 << 0 << 3 << puKPa << QList<int>{0, 2};
    // Samples beyond the count are not part of the series.
    QTest::newRow("more held than counted") << 3 << 1 << 5 << puKPa << QList<int>{0, 0, 1, 2, 2};
}

void TestViews::graphPlotsSecondsOfTheHeldSeries()
{
    QFETCH(int, sampleCount);
    QFETCH(int, freq);
    QFETCH(int, held);
    QFETCH(EPressureUnits, unit);
    QFETCH(QList<int>, sampleOfPoint);

    const TCalcQEL result = seriesResult(sampleCount, freq, held);
    TQelBase dev;
    QVERIFY(load(dev, {resultB(), result}));
    dev.SetDimension(unit);

    TRecordingSeries graph;
    graph.addPoint(-1, -1); // left from a previous result
    dev.UpdateGraph(graph, 1);

    QList<QPointF> expected;
    for (int j = 0; j < sampleOfPoint.size(); ++j)
        expected << QPointF(j, double(ConvertPressure(unit, result.Samples[sampleOfPoint[j]])));
    QCOMPARE(graph.points, expected);
    QCOMPARE(graph.zoomResets, 1);
    QVERIFY(!graph.leftTitle.isEmpty());
    QVERIFY(!graph.bottomTitle.isEmpty());
}

void TestViews::graphTitlesFollowLanguageAndUnit_data()
{
    QTest::addColumn<TLang>("lang");
    QTest::addColumn<EPressureUnits>("unit");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("bottom");

    QTest::newRow("ru kPa") << ruRU << puKPa << u"Давление, кПа"_qs << u"Время, с"_qs;
    QTest::newRow("ru kgf") << ruRU << puKgCm2 << u"Давление, кгс/см²"_qs << u"Время, с"_qs;
    QTest::newRow("en mmHg") << enUS << puMmRtSt << u"Pressure, mmHg"_qs << u"Time, s"_qs;
    QTest::newRow("en atm") << enUS << puATM << u"Pressure, atm"_qs << u"Time, s"_qs;
}

void TestViews::graphTitlesFollowLanguageAndUnit()
{
    QFETCH(TLang, lang);
    QFETCH(EPressureUnits, unit);
    QFETCH(QString, left);
    QFETCH(QString, bottom);

    TQelBase dev;
    QVERIFY(load(dev, {seriesResult(0, 10, 0)}));
    dev.SetLang(lang);
    dev.SetDimension(unit);
    TRecordingSeries graph;
    dev.UpdateGraph(graph, 0);
    QCOMPARE(graph.leftTitle, left);
    QCOMPARE(graph.bottomTitle, bottom);
}

void TestViews::graphOfNoResultTouchesNothing_data()
{
    QTest::addColumn<int>("results");
    QTest::addColumn<int>("index");

    QTest::newRow("empty archive") << 0 << 0;
    QTest::newRow("past the last") << 2 << 2;
    QTest::newRow("far past") << 2 << INT_MAX;
    QTest::newRow("negative") << 2 << -1;
    QTest::newRow("most negative") << 2 << INT_MIN;
}

void TestViews::graphOfNoResultTouchesNothing()
{
    QFETCH(int, results);
    QFETCH(int, index);

    TQelBase dev;
    QVERIFY(load(dev, QList<TCalcQEL>(results, seriesResult(20, 2, 20))));
    TRecordingSeries graph;
    dev.UpdateGraph(graph, results - 1); // Russian titles; none when the archive is empty
    const QList<QPointF> points = graph.points;
    const QString left = graph.leftTitle;
    const QString bottom = graph.bottomTitle;
    const int resets = graph.zoomResets;

    dev.SetLang(enUS);
    dev.SetDimension(puMmRtSt);
    dev.UpdateGraph(graph, index);
    QCOMPARE(graph.points, points);
    QCOMPARE(graph.leftTitle, left);
    QCOMPARE(graph.bottomTitle, bottom);
    QCOMPARE(graph.zoomResets, resets);
}

// ---------------------------------------------------------------- copied texts

void TestViews::tableTextHasHeaderRowsAndComments_data()
{
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<int>("count");
    QTest::addColumn<TLang>("lang");
    QTest::addColumn<QString>("expected");

    const QString ruHead = u"A\tB\tКомментарий\t\r\n"_qs;
    const QString enHead = u"A\tB\tComment\t\r\n"_qs;
    const QString row1 = u"a1\tb1\tfirst\r\n"_qs;
    const QString row2 = u"a2\tb2\t\r\n"_qs; // no comment: the line ends with the cell's tab
    const QString row3 = u"a3\tb3\tline one line 'two'\r\n"_qs;
    const QString row4 = u"a4\tb4\t\r\n"_qs;

    QTest::newRow("one row") << 1 << 1 << ruRU << ruHead + row1;
    QTest::newRow("rows 2 to 4") << 2 << 3 << enUS << enHead + row2 + row3 + row4;
    QTest::newRow("whole table") << 1 << 4 << ruRU << ruHead + row1 + row2 + row3 + row4;
    QTest::newRow("count 0") << 1 << 0 << ruRU << ruHead;
    QTest::newRow("negative count") << 2 << -3 << enUS << enHead;
    QTest::newRow("past the end") << 3 << 10 << ruRU << ruHead + row3 + row4;
    QTest::newRow("wholly past the end") << 9 << 2 << ruRU << ruHead;
    QTest::newRow("end overflows") << 2 << INT_MAX << ruRU << ruHead + row2 + row3 + row4;
    QTest::newRow("from the caption row") << 0 << 2 << ruRU << ruHead + row1;
}

void TestViews::tableTextHasHeaderRowsAndComments()
{
    QFETCH(int, firstRow);
    QFETCH(int, count);
    QFETCH(TLang, lang);
    QFETCH(QString, expected);

    QList<TCalcQEL> results(4, resultA());
    results[0].UserComment = u"first"_qs;
    results[2].UserComment = u"line one\rline 'two'"_qs;
    const QList<TCalcQEL> before = results;

    TStringGrid grid;
    grid.setSize(2, 5);
    grid.setCell(0, 0, u"A"_qs);
    grid.setCell(1, 0, u"B"_qs);
    for (int r = 1; r < 5; ++r) {
        grid.setCell(0, r, u"a"_qs + QString::number(r));
        grid.setCell(1, r, u"b"_qs + QString::number(r));
    }

    QCOMPARE(TableRowsText(grid, results, firstRow, count, lang), expected);
    QCOMPARE(results[2].UserComment, before[2].UserComment); // the stored form stays
}

void TestViews::graphTextListsOrdinalsAndValues_data()
{
    QTest::addColumn<QList<QPointF>>("points");
    QTest::addColumn<QChar>("sep");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no points") << QList<QPointF>{} << QChar(u',')
                               << u"Время, с\tДавление, кПа\r\n"_qs;
    const QList<QPointF> points{
        {0, double(101.3f)}, {1, 760.0}, {1, 1.5e-5}, {7, -0.25}, {8, 655.34997558593750}};
    QTest::newRow("decimal point")
        << points << QChar(u'.')
        << u"Время, с\tДавление, кПа\r\n0\t101.300003051758\r\n1\t760\r\n2\t1.5e-05\r\n"
           "3\t-0.25\r\n4\t655.349975585938\r\n"_qs;
    QTest::newRow("decimal comma")
        << points << QChar(u',')
        << u"Время, с\tДавление, кПа\r\n0\t101,300003051758\r\n1\t760\r\n2\t1,5e-05\r\n"
           "3\t-0,25\r\n4\t655,349975585938\r\n"_qs;
}

void TestViews::graphTextListsOrdinalsAndValues()
{
    QFETCH(QList<QPointF>, points);
    QFETCH(QChar, sep);
    QFETCH(QString, expected);

    TRecordingSeries graph;
    graph.setAxisTitles(u"Давление, кПа"_qs, u"Время, с"_qs);
    graph.points = points;
    QCOMPARE(GraphText(graph, sep), expected);
}

QTEST_GUILESS_MAIN(TestViews)
#include "tst_views.moc"
