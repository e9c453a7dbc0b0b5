#include "Formats.h"

#include <QByteArrayView>
#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qelfmt {

namespace {

constexpr int kMaxDigits = 18;

// A value as significant decimal digits: value = 0.d1d2d3... * 10^exponent.
// Zero has no digits.
struct Decimal
{
    bool negative = false;
    QByteArray digits;
    int exponent = 0;

    bool isZero() const { return digits.isEmpty(); }
    char digitAt(qsizetype i) const { return i >= 0 && i < digits.size() ? digits[i] : '0'; }
};

void stripTrailingZeros(Decimal& d)
{
    while (!d.digits.isEmpty() && d.digits.back() == '0')
        d.digits.chop(1);
    if (d.digits.isEmpty())
        d.exponent = 0;
}

// The shown digits derive from the value's 18 significant digits, not from its binary
// fraction, so a long double just below a half written with 18 digits still rounds up.
Decimal toDecimal(long double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Le", kMaxDigits - 1, value);
    const char* p = buf;
    Decimal d;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            d.digits.append(*p);
    }
    if (*p == 'e')
        d.exponent = std::atoi(p + 1) + 1;
    stripTrailingZeros(d);
    return d;
}

// Keeps `count` significant digits, halves away from zero. A count of zero or less leaves
// the value's magnitude below the last kept place: it becomes one unit there or zero.
void roundTo(Decimal& d, int count)
{
    if (count < 0) {
        d.digits.clear();
        d.exponent = 0;
        return;
    }
    if (count >= d.digits.size())
        return;
    const bool up = d.digits[count] >= '5';
    d.digits.truncate(count);
    if (up) {
        qsizetype i = count - 1;
        while (i >= 0 && d.digits[i] == '9')
            d.digits[i--] = '0';
        if (i < 0) {
            d.digits.prepend('1');
            ++d.exponent;
        } else {
            ++d.digits[i];
        }
    }
    stripTrailingZeros(d);
}

bool specialText(long double value, QString& text)
{
    if (std::isnan(value)) {
        text = QStringLiteral("NAN");
        return true;
    }
    if (std::isinf(value)) {
        text = value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
        return true;
    }
    return false;
}

// Format('%.2d'): at least two digits after the sign.
QString twoDigits(int v)
{
    const QString digits = QString::number(std::abs(v)).rightJustified(2, u'0');
    return v < 0 ? u'-' + digits : digits;
}

} // namespace

QChar decimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.at(0);
}

QString fixed(long double value, int precision, int decimals, QChar sep)
{
    QString text;
    if (specialText(value, text))
        return text;
    const int prec = std::clamp(precision, 2, kMaxDigits);
    decimals = std::clamp(decimals, 0, kMaxDigits);

    Decimal d = toDecimal(value);
    Decimal significant = d;
    roundTo(significant, prec);
    if (significant.exponent > prec)
        return scientific(value, prec, 2, sep);

    // One rounding from the 18 digits, at whichever of the two limits comes first.
    roundTo(d, std::min(prec, d.exponent + decimals));

    if (d.negative && !d.isZero())
        text += u'-';
    if (d.exponent <= 0)
        text += u'0';
    for (int i = 0; i < d.exponent; ++i)
        text += QLatin1Char(d.digitAt(i));
    if (decimals > 0) {
        text += sep;
        for (int k = 0; k < decimals; ++k)
            text += QLatin1Char(d.digitAt(d.exponent + k));
    }
    return text;
}

QString scientific(long double value, int precision, int expDigits, QChar sep)
{
    QString text;
    if (specialText(value, text))
        return text;
    const int prec = std::clamp(precision, 1, kMaxDigits);

    Decimal d = toDecimal(value);
    roundTo(d, prec);

    if (d.negative && !d.isZero())
        text += u'-';
    text += QLatin1Char(d.digitAt(0));
    if (prec > 1) {
        text += sep;
        for (int i = 1; i < prec; ++i)
            text += QLatin1Char(d.digitAt(i));
    }
    const int exponent = d.isZero() ? 0 : d.exponent - 1;
    text += exponent < 0 ? u"E-" : u"E+";
    text += QString::number(std::abs(exponent)).rightJustified(expDigits, u'0');
    return text;
}

QString dateText(const TQelDateTime& dt)
{
    return twoDigits(dt.Day) + u'.' + twoDigits(dt.Month) + u'.' +
           QString::number(2000 + int(dt.Year));
}

QString timeText(const TQelDateTime& dt)
{
    return twoDigits(dt.Hour) + u':' + twoDigits(dt.Minute);
}

QString reciprocalText(float m, QChar sep)
{
    if (m == 0.0f)
        return QStringLiteral("\u2014");
    return fixed(1.0L / static_cast<long double>(m), 1, 3, sep);
}

QString unitCaption(EPressureUnits unit, TLang lang)
{
    const bool ru = lang == ruRU;
    switch (unit) {
    case puKPa:
        return ru ? QStringLiteral("кПа") : QStringLiteral("kPa");
    case puATM:
        return ru ? QStringLiteral("атм") : QStringLiteral("atm");
    case puKgCm2:
        return ru ? QStringLiteral("кгс/см²") : QStringLiteral("kgf/cm²");
    case puMmRtSt:
        return ru ? QStringLiteral("мм рт.ст.") : QStringLiteral("mmHg");
    }
    return {};
}

QString decodeName(const char* bytes, int maxLen)
{
    if (!bytes || maxLen <= 0)
        return {};
    const QByteArrayView raw(bytes, qsizetype(qstrnlen(bytes, uint(maxLen))));
    QStringDecoder decoder("windows-1251");
    if (!decoder.isValid())
        return QString::fromLatin1(raw);
    return decoder(raw);
}

QByteArray encodeName(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    const QList<uint> codePoints = text.toUcs4();
    if (!QStringEncoder("windows-1251").isValid()) {
        for (const uint c : codePoints)
            out += c < 0x100 ? char(c) : '?';
        return out;
    }
    // The converter writes its own substitute (0x1A) for what the code page lacks, which the
    // instrument would show as garbage. Each character gets a fresh converter because its
    // error flag, once set, survives resetState().
    for (const uint c : codePoints) {
        const char32_t cp = c;
        QStringEncoder single("windows-1251");
        const QByteArray one = single(QString::fromUcs4(&cp, 1));
        out += single.hasError() || one.size() != 1 ? QByteArray(1, '?') : one;
    }
    return out;
}

} // namespace qelfmt
