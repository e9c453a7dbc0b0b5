// Texts of shown values: number formats, date and time, units and 8-bit names.
#pragma once

#include "QelTypes.h"

#include <QByteArray>
#include <QChar>
#include <QString>

namespace qelfmt {

// The locale's decimal separator, as every shown number uses it.
QChar decimalSeparator();

// Fixed P/D: rounded (halves away from zero) to the fewer of max(P, 2) significant digits
// and D decimals, written with exactly D decimals. More integer digits than max(P, 2)
// give scientific notation. NaN gives "NAN", infinities "INF" and "-INF".
QString fixed(long double value, int precision, int decimals, QChar sep = decimalSeparator());

// Scientific P/D: d.ddd (P digits) "E", sign, exponent of at least D digits.
QString scientific(long double value, int precision, int expDigits, QChar sep = decimalSeparator());

// DD.MM.YYYY and HH:MM with fixed separators.
QString dateText(const TQelDateTime& dt);
QString timeText(const TQelDateTime& dt);

// a = 1/M in extended precision, Fixed 1/3; "—" when M is 0.
QString reciprocalText(float m, QChar sep = decimalSeparator());

// Unit captions appended to column and axis titles.
QString unitCaption(EPressureUnits unit, TLang lang);

// 8-bit names (windows-1251): bytes up to the first zero, at most maxLen bytes.
QString decodeName(const char* bytes, int maxLen);
// Encoded name bytes (no terminator); characters the code page lacks become its substitute.
QByteArray encodeName(const QString& text);

} // namespace qelfmt
