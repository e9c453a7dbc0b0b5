#include "ReportDataSet.h"

#include "data/StringGrid.h"
#include "i18n/Messages.h"

namespace {

// The column number after the prefix; -1 when the rest is not a plain decimal number, so
// that a misspelt field shows as unknown instead of column 0.
int columnOf(const QString& name, int prefixLen)
{
    const QStringView rest = QStringView(name).mid(prefixLen);
    if (rest.isEmpty())
        return -1;
    for (const QChar c : rest)
        if (c < u'0' || c > u'9')
            return -1;
    bool ok = false;
    const int n = rest.toInt(&ok);
    return ok ? n : -1;
}

} // namespace

TReportDataSet::TReportDataSet(const TStringGrid& grid, const QList<TCalcQEL>& results, TLang lang)
    : fGrid(grid), fResults(results), fLang(lang)
{}

void TReportDataSet::frxUlmarDataSetFirst()
{
    RecNo = 0;
    fRangeEndCount = ReportLinesTotal;
}

void TReportDataSet::frxUlmarDataSetCheckEOF(bool& Eof) const
{
    Eof = RecNo >= fRangeEndCount;
}

void TReportDataSet::frxUlmarDataSetGetValue(const QString& VarName, QVariant& Value) const
{
    Value = QStringLiteral("Unknown field");
    if (VarName == QLatin1String("msgReportTitle")) {
        Value = Msg(msgReportTitle, fLang);
        return;
    }
    if (VarName == QLatin1String("msgReportDate")) {
        Value = Msg(msgReportDate, fLang);
        return;
    }
    const bool comment = VarName.contains(QLatin1String("Comment"));
    if (VarName.startsWith(QLatin1String("Title"))) {
        if (comment) {
            Value = Msg(msgComment, fLang);
        } else if (const int col = columnOf(VarName, 5); col >= 0) {
            Value = fGrid.cell(col, 0);
        }
    } else if (VarName.startsWith(QLatin1String("Data"))) {
        if (comment) {
            const qsizetype index = qsizetype(RecNo) + ReportFirstLine - 1;
            Value = index >= 0 && index < fResults.size() ? fResults[index].UserComment : QString();
        } else if (const int col = columnOf(VarName, 4); col >= 0) {
            Value = fGrid.cell(col, RecNo + ReportFirstLine);
        }
    }
}

QString TReportDataSet::value(const QString& VarName) const
{
    QVariant v;
    frxUlmarDataSetGetValue(VarName, v);
    return v.toString();
}
