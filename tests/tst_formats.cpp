#include "data/Formats.h"
#include "data/QelTypes.h"

#include <QLocale>
#include <QTest>

#include <limits>

using namespace qelfmt;

class TestFormats : public QObject
{
    Q_OBJECT
private slots:
    void fixedRoundsAndPads_data();
    void fixedRoundsAndPads();
    void scientificRoundsAndPads_data();
    void scientificRoundsAndPads();
    void nonFiniteValuesAreNamed_data();
    void nonFiniteValuesAreNamed();
    void separatorFollowsArgumentAndLocale();
    void pressureShownInEachUnit_data();
    void pressureShownInEachUnit();
    void reciprocalOfM_data();
    void reciprocalOfM();
    void dateAndTimeFields_data();
    void dateAndTimeFields();
    void decodeNameStopsAtZeroOrLimit_data();
    void decodeNameStopsAtZeroOrLimit();
    void encodeNameUsesCodePage_data();
    void encodeNameUsesCodePage();
    void nameRoundTrip();
};

void TestFormats::fixedRoundsAndPads_data()
{
    QTest::addColumn<long double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("expected");

    QTest::newRow("decimals bound the digits") << 0.0813L << 1 << 3 << "0.081";
    QTest::newRow("precision bounds the digits, zeros appended")
        << 1.0L / 0.75L << 1 << 3 << "1.300";
    QTest::newRow("precision below two counts as two, carry") << 0.96L << 1 << 1 << "1.0";
    QTest::newRow("integer zeros kept") << 120.4L << 3 << 2 << "120.00";
    QTest::newRow("half away from zero") << 0.75L << 4 << 1 << "0.8";
    QTest::newRow("negative half away from zero") << -0.75L << 4 << 1 << "-0.8";
    QTest::newRow("float just above half") << (long double)21.45f << 3 << 1 << "21.5";
    QTest::newRow("float just below half") << (long double)1.15f << 3 << 1 << "1.1";
    QTest::newRow("18 digits decide a long double half") << 9.995L << 4 << 2 << "10.00";
    QTest::newRow("double below half stays below") << (long double)9.995 << 4 << 2 << "9.99";
    QTest::newRow("one rounding, not two") << 0.12345L << 4 << 3 << "0.123";
    QTest::newRow("rounds up to one unit") << 0.0006L << 4 << 3 << "0.001";
    QTest::newRow("negative rounds up to one unit") << -0.0006L << 4 << 3 << "-0.001";
    QTest::newRow("rounds down to zero") << 0.0004L << 4 << 3 << "0.000";
    QTest::newRow("negative rounding to zero has no sign") << -0.0004L << 4 << 3 << "0.000";
    QTest::newRow("below the last place entirely") << 0.00006L << 4 << 3 << "0.000";
    QTest::newRow("zero") << 0.0L << 4 << 1 << "0.0";
    QTest::newRow("negative zero") << -0.0L << 4 << 2 << "0.00";
    QTest::newRow("negative") << (long double)-5.0f << 3 << 1 << "-5.0";
    QTest::newRow("no decimals, no separator") << 2.5L << 4 << 0 << "3";
    QTest::newRow("integer digits up to precision") << 9999.4L << 4 << 1 << "9999.0";
    QTest::newRow("more integer digits than precision") << 12345.0L << 4 << 1 << "1.235E+04";
    QTest::newRow("carry past precision") << 9999.7L << 4 << 1 << "1.000E+04";
}

void TestFormats::fixedRoundsAndPads()
{
    QFETCH(long double, value);
    QFETCH(int, precision);
    QFETCH(int, decimals);
    QFETCH(QString, expected);
    QCOMPARE(fixed(value, precision, decimals, u'.'), expected);
}

void TestFormats::scientificRoundsAndPads_data()
{
    QTest::addColumn<long double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("expDigits");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one") << 1.0L << 4 << 2 << "1.000E+00";
    QTest::newRow("zero") << 0.0L << 4 << 2 << "0.000E+00";
    QTest::newRow("rounded") << 1.23456L << 4 << 2 << "1.235E+00";
    QTest::newRow("negative exponent, 18-digit half") << -0.00012345L << 4 << 2 << "-1.235E-04";
    QTest::newRow("carry raises exponent") << 9.9996L << 4 << 2 << "1.000E+01";
    QTest::newRow("exponent padded") << 12345.0L << 4 << 3 << "1.235E+004";
    QTest::newRow("exponent wider than minimum") << 1e123L << 3 << 2 << "1.00E+123";
}

void TestFormats::scientificRoundsAndPads()
{
    QFETCH(long double, value);
    QFETCH(int, precision);
    QFETCH(int, expDigits);
    QFETCH(QString, expected);
    QCOMPARE(scientific(value, precision, expDigits, u'.'), expected);
}

void TestFormats::nonFiniteValuesAreNamed_data()
{
    QTest::addColumn<long double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nan") << std::numeric_limits<long double>::quiet_NaN() << "NAN";
    QTest::newRow("+inf") << std::numeric_limits<long double>::infinity() << "INF";
    QTest::newRow("-inf") << -std::numeric_limits<long double>::infinity() << "-INF";
}

void TestFormats::nonFiniteValuesAreNamed()
{
    QFETCH(long double, value);
    QFETCH(QString, expected);
    QCOMPARE(fixed(value, 4, 2, u'.'), expected);
    QCOMPARE(scientific(value, 4, 2, u'.'), expected);
}

void TestFormats::separatorFollowsArgumentAndLocale()
{
    QCOMPARE(fixed(0.0813L, 1, 3, u','), u"0,081");
    QCOMPARE(scientific(1.0L, 4, 2, u','), u"1,000E+00");

    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString german = fixed(1.5L, 4, 2);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString english = fixed(1.5L, 4, 2);
    QLocale::setDefault(saved);
    QCOMPARE(german, u"1,50");
    QCOMPARE(english, u"1.50");
}

void TestFormats::pressureShownInEachUnit_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("expected");

    QTest::newRow("max kPa") << 65535 << int(puKPa) << "655.30";
    QTest::newRow("max atm") << 65535 << int(puATM) << "6.47";
    QTest::newRow("max kgf/cm2") << 65535 << int(puKgCm2) << "6.68";
    QTest::newRow("max mmHg") << 65535 << int(puMmRtSt) << "4916.00";
    QTest::newRow("normal kPa") << 10132 << int(puKPa) << "101.30";
    QTest::newRow("normal atm") << 10132 << int(puATM) << "1.00";
    QTest::newRow("normal kgf/cm2") << 10132 << int(puKgCm2) << "1.03";
    QTest::newRow("normal mmHg") << 10132 << int(puMmRtSt) << "760.00";
    QTest::newRow("zero kPa") << 0 << int(puKPa) << "0.00";
    QTest::newRow("zero atm") << 0 << int(puATM) << "0.00";
    QTest::newRow("zero kgf/cm2") << 0 << int(puKgCm2) << "0.00";
    QTest::newRow("zero mmHg") << 0 << int(puMmRtSt) << "0.00";
}

void TestFormats::pressureShownInEachUnit()
{
    QFETCH(int, code);
    QFETCH(int, unit);
    QFETCH(QString, expected);
    const float p = ConvertPressure(EPressureUnits(unit), uint16_t(code));
    QCOMPARE(fixed(p, 4, 2, u'.'), expected);
}

void TestFormats::reciprocalOfM_data()
{
    QTest::addColumn<float>("m");
    QTest::addColumn<QString>("expected");

    QTest::newRow("small a") << 12.3f << "0.081";
    QTest::newRow("precision bound") << 0.75f << "1.300";
    QTest::newRow("exact") << 0.5f << "2.000";
    QTest::newRow("negative") << -0.75f << "-1.300";
    QTest::newRow("zero") << 0.0f << "\u2014";
    QTest::newRow("negative zero") << -0.0f << "\u2014";
}

void TestFormats::reciprocalOfM()
{
    QFETCH(float, m);
    QFETCH(QString, expected);
    QCOMPARE(reciprocalText(m, u'.'), expected);
}

void TestFormats::dateAndTimeFields_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");

    QTest::newRow("single digits padded") << 24 << 3 << 5 << 7 << 9 << "05.03.2024"
                                          << "07:09";
    QTest::newRow("two digits as is") << 24 << 12 << 31 << 23 << 59 << "31.12.2024"
                                      << "23:59";
    QTest::newRow("year byte 0xFF") << -1 << 1 << 1 << 0 << 0 << "01.01.1999"
                                    << "00:00";
    QTest::newRow("negative fields keep sign") << 24 << -5 << -5 << -5 << -12 << "-05.-05.2024"
                                               << "-05:-12";
    QTest::newRow("lowest year byte") << -128 << 1 << 1 << 0 << 0 << "01.01.1872"
                                      << "00:00";
}

void TestFormats::dateAndTimeFields()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(QString, date);
    QFETCH(QString, time);
    const TQelDateTime dt{int8_t(year), int8_t(month), int8_t(day), int8_t(hour), int8_t(minute)};
    QCOMPARE(dateText(dt), date);
    QCOMPARE(timeText(dt), time);
}

void TestFormats::decodeNameStopsAtZeroOrLimit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxLen");
    QTest::addColumn<QString>("expected");

    QTest::newRow("cyrillic up to zero")
        << QByteArray("\xC1\xE5\xF2\xEE\xED\0\xC1\xC1", 8) << 16 << QStringLiteral("Бетон");
    QTest::newRow("full length without zero")
        << QByteArray("\xCE\xE1\xFA\xE5\xEA\xF2 \xB9 12345678X") << 15
        << QStringLiteral("Объект № 123456");
    QTest::newRow("empty") << QByteArray("\0\xC1", 2) << 15 << QString();
}

void TestFormats::decodeNameStopsAtZeroOrLimit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxLen);
    QFETCH(QString, expected);
    QCOMPARE(decodeName(bytes.constData(), maxLen), expected);
}

void TestFormats::encodeNameUsesCodePage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("cyrillic") << QStringLiteral("Бетон") << QByteArray("\xC1\xE5\xF2\xEE\xED");
    QTest::newRow("outside latin-1") << QStringLiteral("№ €") << QByteArray("\xB9 \x88");
    QTest::newRow("missing characters")
        << QStringLiteral("a\u4E2D\U0001F600b") << QByteArray("a??b");
}

void TestFormats::encodeNameUsesCodePage()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(encodeName(text), expected);
}

void TestFormats::nameRoundTrip()
{
    const QString text = QStringLiteral("Ёё Бетон М300 №7");
    const QByteArray bytes = encodeName(text);
    QCOMPARE(bytes.size(), text.size());
    QCOMPARE(decodeName(bytes.constData(), int(bytes.size())), text);
}

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
